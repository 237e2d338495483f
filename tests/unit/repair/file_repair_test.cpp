// The queue into list files, the newer-file question and the source run with its prompt.
#include "repair/file_repair.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "repair/shell_link.h"
#include "repair_fixture.h"
#include "resource.h"
#include "ui/progress_geometry.h"

namespace {

constexpr const char* kSetup = "C:\\Media\\SETUP.EXE";
constexpr const char* kSetupContents = "setup program";  // 13 bytes
constexpr const char* kSetupAttributes = "03-01-2003 | 09:00:00 | 13";

class FileRepairTest : public RepairTest {
 protected:
  void SetUp() override {
    RepairTest::SetUp();
    gRun.repairMode = true;
    machine.MakeDirectories("C:\\TEMP");
    Put(kSetup, kSetupContents, FileTimeFromUtc(2003, 3, 1, 9, 0, 0));
  }
  // Opens sections 1..count, each with the given source (none for an empty text).
  void Sections(std::initializer_list<std::string> sources) {
    for (const std::string& source : sources) {
      OpenSection();
      if (!source.empty()) SetSectionSource(source.c_str());
    }
    PrepareRepairLists();
  }
  static std::string Source(const char* path = kSetup) {
    return std::string(path) + " | " + kSetupAttributes;
  }
  std::string ListOf(int section) { return gRun.repairListFiles[section].c_str(); }
  int TempFiles() {
    int count = 0;
    FindEntry entry;
    SearchHandle search = machine.FindFirst("C:\\TEMP\\*", &entry);
    if (search == kNoSearch) return 0;
    do {
      if ((entry.attributes & kAttrDirectory) == 0) ++count;
    } while (machine.FindNext(search, &entry) == 0);
    machine.FindEnd(search);
    return count;
  }
};

TEST_F(FileRepairTest, ListLinesByteForByteAndSharedLists) {
  Sections(
      {Source(), "c:\\media\\setup.exe | " + std::string(kSetupAttributes), "", "C:\\Other.exe"});
  const std::string stamp = " 03-15-2003 | 10:20:30 | 2.1 | 1234 | 0a1bf00d";
  // Missing: queued without any comparison, the rest of the stamp exactly as logged.
  EXPECT_EQ(CheckAndQueueFile("C:\\App\\A.DLL", stamp.c_str(), 1), StampVerdict::kMissing);
  ASSERT_FALSE(ListOf(1).empty());
  EXPECT_EQ(ListOf(1).rfind("C:\\TEMP\\KTC", 0), 0u) << ListOf(1);
  // One byte longer with the same date and time: queued without a question.
  Put("C:\\App\\B.DAT", "abc");
  EXPECT_EQ(CheckAndQueueFile("C:\\App\\B.DAT", StampFor("ab").c_str(), 2),
            StampVerdict::kSizeDiffers);
  // Section 2's source differs from section 1's only in case: the same list.
  EXPECT_EQ(ListOf(2), ListOf(1));
  EXPECT_EQ(machine.FileContents(ListOf(1)),
            "C:\\App\\A.DLL|11887|21135| 1234 | 0a1bf00d\r\n"
            "C:\\App\\B.DAT|11887|21135| 2 | " +
                StampFor("ab").substr(StampFor("ab").rfind('|') + 2) + "\r\n");
  EXPECT_TRUE(gRun.repairQueued);

  // No source, or a source without attributes: no list nobody would read.
  EXPECT_EQ(CheckAndQueueFile("C:\\App\\C.DLL", stamp.c_str(), 3), StampVerdict::kMissing);
  EXPECT_EQ(CheckAndQueueFile("C:\\App\\D.DLL", stamp.c_str(), 4), StampVerdict::kMissing);
  EXPECT_TRUE(ListOf(3).empty());
  EXPECT_TRUE(ListOf(4).empty());
  // A missing file whose stamp does not read is listed with what the stamp still says.
  CheckAndQueueFile("C:\\App\\odd", " 03-15-2003 | 10:20:30 | x | 12 | zz", 1);
  EXPECT_NE(machine.FileContents(ListOf(1)).find("C:\\App\\odd|11887|21135| 12 | zz\r\n"),
            std::string::npos);
  // A short stamp leaves even a missing file alone; an unchanged file stays out.
  Put("C:\\App\\E.DAT", "same");
  CheckAndQueueFile("C:\\App\\gone", " 03-15-2003 | 10:2", 1);
  CheckAndQueueFile("C:\\App\\E.DAT", StampFor("same").c_str(), 1);
  EXPECT_EQ(TempFiles(), 1);
  EXPECT_EQ(machine.FileContents(ListOf(1)).find("gone"), std::string::npos);
  EXPECT_EQ(machine.FileContents(ListOf(1)).find("E.DAT"), std::string::npos);
  EXPECT_EQ(ui.transcript.size(), 0u);
}

// The "/X=" switch carries no quotation marks, so a list must lie where its path has no
// blank: the temporary folder, its short form, or the Windows directory's TEMP folder. With
// none of them, nothing is started with a cut path: the user is told, and the run fails.
TEST_F(FileRepairTest, ListFilesOnlyWhereTheirPathHasNoBlank) {
  struct Case {
    const char* temp;
    bool shortNames;
    bool windowsTemp;      // C:\WINDOWS\TEMP exists
    const char* listHead;  // where the list goes; null: nowhere
  } cases[] = {
      {"C:\\Temp Files\\", true, false, "C:\\TEMPFI~1\\KTC"},
      {"C:\\Temp Files 2\\", false, true, "C:\\WINDOWS\\TEMP\\KTC"},
      {"C:\\Temp Files 3\\", false, false, nullptr},
      {"C:\\NOWHERE\\", true, false, nullptr},  // a temporary folder that is not there
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.temp) + (c.shortNames ? " short names" : " no short names"));
    ResetRunWideState();
    machine.processes.clear();
    ui.transcript.clear();
    gRun.repairMode = true;
    machine.settings.shortNames = c.shortNames;
    machine.settings.tempDirectory = c.temp;
    if (std::string(c.temp) != "C:\\NOWHERE\\") machine.MakeDirectories(c.temp);
    if (c.windowsTemp) machine.MakeDirectories("C:\\WINDOWS\\TEMP");
    Sections({Source()});
    CheckAndQueueFile("C:\\App\\A.DLL", StampFor("x").c_str(), 1);
    EXPECT_EQ(ListOf(1).rfind(c.listHead != nullptr ? c.listHead : "", 0), 0u) << ListOf(1);
    EXPECT_EQ(ListOf(1).empty(), c.listHead == nullptr);
    EXPECT_EQ(gRun.repairListFailed, c.listHead == nullptr);
    RunInstallationPrograms();
    ReportUnrepairedFiles();
    if (c.listHead != nullptr) {
      ASSERT_EQ(machine.processes.size(), 1u);
      EXPECT_EQ(
          machine.processes[0].commandLine.find(' ', machine.processes[0].commandLine.find("/X=")),
          std::string::npos);
      EXPECT_TRUE(ui.transcript.empty());
    } else {
      EXPECT_TRUE(machine.processes.empty());
      ASSERT_EQ(ui.transcript.size(), 1u);
      EXPECT_EQ(ui.transcript[0].caption, "Perform Repair");
      EXPECT_NE(ui.transcript[0].text.find("TEMP"), std::string::npos);
    }
    EXPECT_FALSE(machine.DirectoryExists("C:\\NOWHERE"));
    machine.RemoveEmptyDirectory("C:\\WINDOWS\\TEMP");
  }
  // A silent run says nothing, and still does not count as a success.
  gRun.silent = true;
  ui.transcript.clear();
  ReportUnrepairedFiles();
  EXPECT_TRUE(ui.transcript.empty());
  EXPECT_TRUE(gRun.repairListFailed);
}

TEST_F(FileRepairTest, NewerFileQuestionAndItsAnswers) {
  Sections({Source()});
  const std::string stamp = StampFor("old");
  for (const char* name : {"1", "2", "3", "4", "5", "6"}) {
    Put(std::string("C:\\App\\") + name, "newer contents", When(2));
  }
  ui.AnswerShared(IDC_ANSWER_NO);
  ui.AnswerShared(IDC_ANSWER_YES);
  ui.AnswerShared(IDC_ANSWER_YES_TO_ALL);
  // Asked over the repair's progress display, whose animation stops while it is open.
  ui.wizardPresent = true;
  ui.animationTimerMs = kAnimationPeriodMs;
  gRun.progressMode = true;
  CheckAndQueueFile("C:\\App\\1", stamp.c_str(), 1);
  CheckAndQueueFile("C:\\App\\2", stamp.c_str(), 1);
  CheckAndQueueFile("C:\\App\\3", stamp.c_str(), 1);
  CheckAndQueueFile("C:\\App\\4", stamp.c_str(), 1);  // Yes to All: not asked
  ASSERT_EQ(ui.transcript.size(), 3u);
  EXPECT_EQ(ui.transcript[0].caption, "Repair Newer File?");
  EXPECT_EQ(ui.transcript[0].animationTimerMs, 0);
  EXPECT_EQ(ui.animationTimerMs, kAnimationPeriodMs);
  EXPECT_NE(ui.transcript[0].text.find("The file 'C:\\App\\1' is newer"), std::string::npos);
  EXPECT_NE(ui.transcript[0].text.find("          03-15-2003  10:20:30 \n"), std::string::npos)
      << ui.transcript[0].text;
  EXPECT_NE(ui.transcript[0].text.find("           03-15-2003  10:20:32 \n"), std::string::npos);
  std::string list = machine.FileContents(ListOf(1));
  EXPECT_EQ(list.find("C:\\App\\1|"), std::string::npos);
  EXPECT_NE(list.find("C:\\App\\2|"), std::string::npos);
  EXPECT_NE(list.find("C:\\App\\3|"), std::string::npos);
  EXPECT_NE(list.find("C:\\App\\4|"), std::string::npos);

  // No to All holds for the rest of the run; so does a silent run's No.
  gRun.repairYesToAll = false;
  ui.AnswerShared(IDC_ANSWER_NO_TO_ALL);
  CheckAndQueueFile("C:\\App\\5", stamp.c_str(), 1);
  CheckAndQueueFile("C:\\App\\6", stamp.c_str(), 1);
  EXPECT_EQ(ui.transcript.size(), 4u);
  gRun.repairNoToAll = false;
  gRun.silent = true;
  CheckAndQueueFile("C:\\App\\6", stamp.c_str(), 1);
  EXPECT_EQ(ui.transcript.size(), 4u);
  list = machine.FileContents(ListOf(1));
  EXPECT_EQ(list.find("C:\\App\\5|"), std::string::npos);
  EXPECT_EQ(list.find("C:\\App\\6|"), std::string::npos);
  EXPECT_EQ(ui.unscriptedQuestions, 0);
}

// In code page 932 the second byte of ポ (0x83 0x7C) is the bar's byte: the source and the
// link description split at the bar that is a character of its own.
TEST_F(FileRepairTest, BarsInsideDoubleByteCharactersDoNotSplit) {
  machine.settings.ansiCodePage = 932;
  LoadTextRules();
  char path[256];
  const char* attributes = nullptr;
  ASSERT_TRUE(
      SplitRepairSource("C:\\\x83\x7C\\SETUP.EXE | 01-02-2003", path, sizeof path, &attributes));
  EXPECT_STREQ(path, "C:\\\x83\x7C\\SETUP.EXE");
  EXPECT_STREQ(attributes, "01-02-2003");
  ShellLinkSpec spec;
  ASSERT_EQ(ReadShellLinkSpec("C:\\\x83\x7C\\A.EXE | C:\\\x83\x7C | | 0 | 1 | 0 | /x", &spec), 0);
  EXPECT_STREQ(spec.target, "C:\\\x83\x7C\\A.EXE");
  EXPECT_STREQ(spec.workingDirectory, "C:\\\x83\x7C");
  EXPECT_STREQ(spec.arguments, "/x");
  // A request cut at its buffer's end keeps whole characters: room for three more bytes
  // after the head holds one ポ, not one and a half.
  const std::string head =
      "Enter the full pathname to the installation file with the following attributes:\r\n\r\n";
  std::vector<char> request(head.size() + 4);
  FormatPromptRequest("\x83\x7C\x83\x7C", request.data(), request.size());
  EXPECT_EQ(std::string(request.data()), head + "\x83\x7C");
  machine.settings.ansiCodePage = 1252;
  LoadTextRules();
}

TEST_F(FileRepairTest, SourceSplitAndProgramStamp) {
  char path[256];
  const char* attributes = nullptr;
  ASSERT_TRUE(
      SplitRepairSource("C:\\A B\\SETUP.EXE |   01-02-2003 | x", path, sizeof path, &attributes));
  EXPECT_STREQ(path, "C:\\A B\\SETUP.EXE");
  EXPECT_STREQ(attributes, "01-02-2003 | x");
  ASSERT_TRUE(SplitRepairSource("C:\\SETUP.EXE", path, sizeof path, &attributes));
  EXPECT_STREQ(attributes, "");
  std::string longPath = "C:\\" + std::string(1000, 'a') + " | " + kSetupAttributes;
  EXPECT_FALSE(SplitRepairSource(longPath.c_str(), path, sizeof path, &attributes));
  EXPECT_STREQ(path, "");
  EXPECT_STREQ(attributes, kSetupAttributes);

  char stamp[64];
  ASSERT_TRUE(FormatProgramStamp(kSetup, stamp, sizeof stamp));
  EXPECT_STREQ(stamp, kSetupAttributes);
  Put("C:\\Media\\LATE.EXE", "x", FileTimeFromUtc(2060, 12, 31, 23, 59, 58));
  ASSERT_TRUE(FormatProgramStamp("C:\\Media\\LATE.EXE", stamp, sizeof stamp));
  EXPECT_STREQ(stamp, "12-31-2060 | 23:59:58 | 1");  // not 1960
  EXPECT_FALSE(FormatProgramStamp("C:\\Media\\NONE.EXE", stamp, sizeof stamp));

  char request[1024];
  FormatPromptRequest("03-01-2003 / 09:00:00 / 13", request, sizeof request);
  EXPECT_STREQ(request,
               "Enter the full pathname to the installation file with the following "
               "attributes:\r\n\r\n03-01-2003 / 09:00:00 / 13\r\n\r\nSource Pathname:");
}

TEST_F(FileRepairTest, SourceRunNewestFirstWithPromptsUntilAMatch) {
  std::string second = "C:\\Media2\\SETUP2.EXE | 03-02-2003 | 09:00:00 | 4";
  Sections({Source(), Source("C:\\Gone\\SETUP.EXE"), second});
  Put("C:\\Media2\\SETUP2.EXE", "abcd", FileTimeFromUtc(2003, 3, 2, 9, 0, 0));
  Put("C:\\Media\\WRONG.EXE", "other", FileTimeFromUtc(2003, 3, 1, 9, 0, 0));
  for (int section : {1, 2, 3}) {
    CheckAndQueueFile(("C:\\App\\F" + std::to_string(section)).c_str(), StampFor("x").c_str(),
                      section);
  }
  ASSERT_NE(ListOf(1), ListOf(2));
  std::string list3 = ListOf(3);
  std::string list2 = ListOf(2);
  std::string list1 = ListOf(1);
  std::vector<std::string> listsSeen;
  auto hook = [&](SimMachine& m, const std::string& commandLine) {
    std::string list = commandLine.substr(commandLine.find("/X=") + 3);
    listsSeen.push_back(m.FileContents(list));
  };
  machine.SetProgramHook("C:\\Media2\\SETUP2.EXE", hook);
  machine.SetProgramHook(kSetup, hook);

  // Section 2's program is gone: a wrong file, then nothing, then the right one.
  ui.AnswerInstallationPath("C:\\Media\\WRONG.EXE");
  ui.AnswerInstallationPath("C:\\Media\\NOPE.EXE");
  ui.AnswerInstallationPath(kSetup);
  RunInstallationPrograms();

  ASSERT_EQ(machine.processes.size(), 3u);
  EXPECT_EQ(machine.processes[0].commandLine, "\"C:\\Media2\\SETUP2.EXE\" /X=" + list3);
  EXPECT_EQ(machine.processes[1].commandLine, std::string("\"") + kSetup + "\" /X=" + list2);
  EXPECT_EQ(machine.processes[2].commandLine, std::string("\"") + kSetup + "\" /X=" + list1);
  EXPECT_TRUE(machine.processes[0].wait);
  ASSERT_EQ(listsSeen.size(), 3u);
  EXPECT_EQ(listsSeen[0].rfind("C:\\App\\F3|", 0), 0u);
  EXPECT_EQ(listsSeen[1].rfind("C:\\App\\F2|", 0), 0u);
  ASSERT_EQ(ui.transcript.size(), 3u);
  EXPECT_EQ(ui.transcript[0].text,
            "Enter the full pathname to the installation file with the following "
            "attributes:\r\n\r\n03-01-2003 / 09:00:00 / 13\r\n\r\nSource Pathname:");
  EXPECT_EQ(ui.transcript[0].caption, "C:\\Gone\\SETUP.EXE");
  EXPECT_EQ(ui.transcript[1].caption, "C:\\Media\\WRONG.EXE");
  EXPECT_EQ(TempFiles(), 0);
}

// The program's record was written in another season: it is found without a prompt when
// its time is one shift off and its size is as logged, and asked for otherwise.
TEST_F(FileRepairTest, ProgramOfTheOtherSeasonIsFound) {
  machine.settings.daylightShiftMinutes = 60;
  Put("C:\\Media\\SUMMER.EXE", kSetupContents, FileTimeFromUtc(2003, 3, 1, 8, 0, 0));
  Put("C:\\Media\\LONGER.EXE", "setup program!", FileTimeFromUtc(2003, 3, 1, 8, 0, 0));
  Put("C:\\Media\\EARLY.EXE", kSetupContents, FileTimeFromUtc(2003, 3, 1, 7, 59, 58));
  EXPECT_TRUE(IsLoggedProgram(kSetup, kSetupAttributes));
  EXPECT_TRUE(IsLoggedProgram("C:\\Media\\SUMMER.EXE", kSetupAttributes));
  EXPECT_FALSE(IsLoggedProgram("C:\\Media\\LONGER.EXE", kSetupAttributes));
  EXPECT_FALSE(IsLoggedProgram("C:\\Media\\EARLY.EXE", kSetupAttributes));
  EXPECT_FALSE(IsLoggedProgram("C:\\Media\\SUMMER.EXE", "03-01-2003 | 09:00:00 | 013"));
  machine.settings.daylightShiftMinutes = 0;
  EXPECT_FALSE(IsLoggedProgram("C:\\Media\\SUMMER.EXE", kSetupAttributes));

  // A whole source run: the list goes to the program without a question.
  machine.settings.daylightShiftMinutes = 60;
  Sections({"C:\\Media\\SUMMER.EXE | " + std::string(kSetupAttributes)});
  CheckAndQueueFile("C:\\App\\F", StampFor("x").c_str(), 1);
  RunInstallationPrograms();
  ASSERT_EQ(machine.processes.size(), 1u);
  EXPECT_EQ(ui.transcript.size(), 0u);
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(FileRepairTest, CancelledPromptDeletesTheListsNotRun) {
  Sections({Source(), Source("C:\\Gone\\SETUP.EXE"), Source()});
  for (int section : {1, 2, 3}) {
    CheckAndQueueFile(("C:\\App\\F" + std::to_string(section)).c_str(), StampFor("x").c_str(),
                      section);
  }
  // Sections 1 and 3 share a list, run once when section 3 comes; section 2 is cancelled.
  ASSERT_EQ(ListOf(1), ListOf(3));
  EXPECT_EQ(TempFiles(), 2);
  std::string shared = ListOf(3);
  ui.CancelInstallationPath();
  RunInstallationPrograms();
  ASSERT_EQ(machine.processes.size(), 1u);
  EXPECT_EQ(machine.processes[0].commandLine, std::string("\"") + kSetup + "\" /X=" + shared);
  EXPECT_EQ(TempFiles(), 0);
  EXPECT_EQ(ui.unscriptedQuestions, 0);
}

TEST_F(FileRepairTest, ProgramThatCannotStartStillLosesItsList) {
  Sections({Source()});
  CheckAndQueueFile("C:\\App\\F", StampFor("x").c_str(), 1);
  RunInstallationPrograms();  // no hook: the machine has no such program to start
  EXPECT_EQ(machine.processes.size(), 1u);
  EXPECT_EQ(TempFiles(), 0);
}

}  // namespace
