// Shell link descriptions and re-creation, and whole repairs: a log loaded by the program's
// own loader, the machine damaged, the repair driver run with a scripted installation
// program that extracts what its /X= list names.
#include "repair/repair_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "log/log_loader.h"
#include "repair/file_repair.h"
#include "repair/shell_link.h"
#include "repair_fixture.h"
#include "resource.h"
#include "support/fault_platform.h"

namespace {

TEST(ShellLinkSpec, FieldsNumbersAndOverLongFields) {
  ShellLinkSpec spec;
  ASSERT_EQ(ReadShellLinkSpec("C:\\App\\A.EXE | C:\\App |  C:\\App\\I.ICO | 2 | 9 | 1603 | /go x ",
                              &spec),
            0);
  EXPECT_STREQ(spec.target, "C:\\App\\A.EXE");
  EXPECT_STREQ(spec.workingDirectory, "C:\\App");
  EXPECT_STREQ(spec.iconPath, "C:\\App\\I.ICO");
  EXPECT_EQ(spec.iconIndex, 2);
  EXPECT_EQ(spec.showCommand, 1);  // 9: the lowest three bits
  EXPECT_EQ(spec.hotKey, 1603);    // 0x643: Ctrl+Shift+C
  EXPECT_STREQ(spec.arguments, "/go x");

  // Only two fields; a hot key whose virtual key (low byte) is 0 is no hot key.
  ASSERT_EQ(ReadShellLinkSpec("C:\\A.EXE|C:\\", &spec), 0);
  EXPECT_STREQ(spec.workingDirectory, "C:\\");
  EXPECT_STREQ(spec.iconPath, "");
  EXPECT_EQ(spec.showCommand, 0);
  EXPECT_STREQ(spec.arguments, "");
  ASSERT_EQ(ReadShellLinkSpec("a|b|c|x|-1|1536|", &spec), 0);
  EXPECT_EQ(spec.hotKey, 0);
  EXPECT_EQ(spec.iconIndex, 0);
  EXPECT_EQ(spec.showCommand, 7);

  // 519 characters fit; 520 do not, in any field, and the link is refused.
  std::string fits(kLinkFieldSize - 1, 'a');
  EXPECT_EQ(ReadShellLinkSpec((fits + "|b").c_str(), &spec), 0);
  EXPECT_EQ(strlen(spec.target), kLinkFieldSize - 1);
  std::string over(kLinkFieldSize, 'a');
  EXPECT_EQ(ReadShellLinkSpec((over + "|b").c_str(), &spec), 1);
  EXPECT_EQ(ReadShellLinkSpec(("a|b|c|1|1|0|" + over).c_str(), &spec), 1);
  EXPECT_EQ(ReadShellLinkSpec(nullptr, &spec), 0);
}

class RepairDriverTest : public RepairTest {};

TEST_F(RepairDriverTest, LinksAreWrittenAfterTheirFolders) {
  RecreateShellLink("C:\\Menu\\Sub\\Deeper\\App.lnk",
                    "C:\\App\\A.EXE | C:\\App | | 0 | 3 | 0 | -x");
  EXPECT_TRUE(machine.DirectoryExists("C:\\Menu\\Sub\\Deeper"));
  ASSERT_EQ(machine.links.size(), 1u);
  EXPECT_STREQ(machine.links[0].linkPath, "C:\\Menu\\Sub\\Deeper\\App.lnk");
  EXPECT_STREQ(machine.links[0].target, "C:\\App\\A.EXE");
  EXPECT_STREQ(machine.links[0].arguments, "-x");
  EXPECT_EQ(machine.links[0].showCommand, 3);

  std::string over(kLinkFieldSize, 'a');
  EXPECT_NE(RecreateShellLink("C:\\Menu2\\App.lnk", (over + "|x").c_str()), 0);
  EXPECT_FALSE(machine.DirectoryExists("C:\\Menu2"));
  EXPECT_EQ(machine.links.size(), 1u);
}

// A value the first installation created and the second changed is written once, with the
// second's data: whichever write fails, it never holds the first installation's data.
TEST_F(RepairDriverTest, AValueLoggedTwiceIsWrittenOnceWithItsLastData) {
  Put("C:\\App\\INSTALL.LOG",
      "***  Installation Started\r\nTitle: Sample\r\n"
      "RegDB Key: Software\\Sample\r\nRegDB Val: 1.0\r\nRegDB Name: Version\r\nRegDB Root: 2\r\n"
      "RegDB Key: Software\\Sample\r\nRegDB Val: yes\r\nRegDB Name: Other\r\nRegDB Root: 2\r\n"
      "***  Installation Started\r\n"
      "RegDB Key: software\\sample\r\nRegDB Val: 1.1\r\nRegDB Name: VERSION\r\nRegDB Root: 2\r\n"
      "RegDB Old: 1.0\r\n");
  for (uint64_t failing = 0; failing <= 3; ++failing) {
    SCOPED_TRACE(failing);
    ResetRunWideState();
    machine.RegRemoveRaw("HKLM\\Software\\Sample", "Other");
    machine.RegSetRaw("HKLM\\Software\\Sample", "Version", kRegSz, RegStringBytes("1.1"));
    FaultPlatform fault(machine);
    if (failing > 0) fault.FailOperation(FaultOp::RegSet, failing);
    fault.RecordTrace(true);
    InstallPlatform(&fault);
    ASSERT_EQ(LogLoader("C:\\App\\INSTALL.LOG", gRun.appDirectory.data()), 0);
    RepairDriver();
    InstallPlatform(&machine);
    EXPECT_EQ(machine.RegString("HKLM\\Software\\Sample", "Version"), "1.1");
    if (failing == 0) {
      EXPECT_EQ(std::count(fault.trace().begin(), fault.trace().end(), FaultOp::RegSet), 2);
      EXPECT_EQ(machine.RegString("HKLM\\Software\\Sample", "Other"), "yes");
    }
  }
}

// A whole repair on the simulated machine.
class WholeRepairTest : public RepairTest {
 protected:
  static constexpr const char* kLogPath = "C:\\App\\INSTALL.LOG";
  static constexpr const char* kSetup = "C:\\Media\\SETUP.EXE";

  void SetUp() override {
    RepairTest::SetUp();
    machine.MakeDirectories("C:\\TEMP");
    Put(kSetup, "setup program", FileTimeFromUtc(2003, 3, 1, 9, 0, 0));
    ui.wizardPresent = true;
    gRun.appTitle.Set("Sample");
    Put("C:\\App\\A.EXE", "program A");
    Put("C:\\App\\B.DAT", "data B");
    Put("C:\\App\\C.TXT", "text C");
    Put("C:\\App\\SERVER.EXE", "server");
    std::string log =
        "***  Installation Started 03/15/2003 10:20  ***\r\n"
        "Title: Sample\r\n"
        "Source: C:\\Media\\SETUP.EXE | 03-01-2003 | 09:00:00 | 13\r\n"
        "File Copy: C:\\App\\A.EXE |" +
        StampFor("program A") +
        "\r\n"
        "File Copy: C:\\App\\B.DAT |" +
        StampFor("data B") +
        "\r\n"
        "File Copy: C:\\App\\C.TXT |" +
        StampFor("text C") +
        "\r\n"
        "File Copy: C:\\App\\SERVER.EXE |" +
        StampFor("server") +
        "\r\n"
        "Self-Register: C:\\App\\SERVER.EXE\r\n"
        "File Copy: C:\\App\\GONE.DLL |" +
        StampFor("gone") +
        "\r\n"
        "Shell Link: C:\\Menu\\Sample\\Sample.lnk |" +
        StampFor("link") +
        "\r\n"
        "Link Info: C:\\App\\A.EXE | C:\\App | C:\\App\\A.EXE | 0 | 1 | 0 | \r\n"
        "RegDB Key: Software\\Sample\r\n"
        "RegDB Val: 4096\r\n"
        "RegDB Name: Count\r\n"
        "RegDB Type: 3\r\n"
        "RegDB Root: 2\r\n";
    Put(kLogPath, log);
    ASSERT_EQ(LogLoader(kLogPath, gRun.appDirectory.data()), 0);
    ASSERT_TRUE(gRun.repairAvailable);
  }

  // The installation program: writes every file its list names, as installed.
  void ScriptInstallationProgram() {
    machine.SetProgramHook(kSetup, [this](SimMachine& m, const std::string& commandLine) {
      std::string list = m.FileContents(commandLine.substr(commandLine.find("/X=") + 3));
      listsRead.push_back(list);
      const std::pair<const char*, const char*> originals[] = {{"C:\\App\\A.EXE", "program A"},
                                                               {"C:\\App\\B.DAT", "data B"},
                                                               {"C:\\App\\GONE.DLL", "gone"},
                                                               {"C:\\App\\SERVER.EXE", "server"}};
      for (const auto& original : originals) {
        if (list.find(std::string(original.first) + "|") != std::string::npos) {
          m.WriteFile(original.first, original.second, When());
        }
      }
    });
  }

  std::vector<std::string> listsRead;
};

TEST_F(WholeRepairTest, DamagedInstallationIsPutBack) {
  // The damage: A edited, B newer, GONE never there, the server, the value and the link
  // gone.
  Put("C:\\App\\A.EXE", "program a");
  machine.RemoveFile("C:\\App\\SERVER.EXE");
  Put("C:\\App\\B.DAT", "data B, changed later", When(60));
  ScriptInstallationProgram();
  ui.AnswerShared(IDC_ANSWER_YES);

  RepairDriver();

  EXPECT_EQ(machine.FileContents("C:\\App\\A.EXE"), "program A");
  EXPECT_EQ(machine.FileContents("C:\\App\\B.DAT"), "data B");
  EXPECT_EQ(machine.FileContents("C:\\App\\GONE.DLL"), "gone");
  EXPECT_EQ(machine.FileContents("C:\\App\\C.TXT"), "text C");
  ASSERT_EQ(listsRead.size(), 1u);
  // Private files last to first, then the missing ones.
  EXPECT_EQ(listsRead[0].find("C:\\App\\SERVER.EXE|"), 0u) << listsRead[0];
  EXPECT_LT(listsRead[0].find("C:\\App\\B.DAT|"), listsRead[0].find("C:\\App\\A.EXE|"));
  EXPECT_LT(listsRead[0].find("C:\\App\\A.EXE|"), listsRead[0].find("C:\\App\\GONE.DLL|"));
  EXPECT_EQ(listsRead[0].find("C.TXT"), std::string::npos);

  uint32_t type = 0;
  std::string data;
  ASSERT_TRUE(machine.RegValue("HKLM\\Software\\Sample", "Count", &type, &data));
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(data, std::string("\x00\x10\x00\x00", 4));
  ASSERT_EQ(machine.links.size(), 1u);
  EXPECT_STREQ(machine.links[0].linkPath, "C:\\Menu\\Sample\\Sample.lnk");
  EXPECT_STREQ(machine.links[0].target, "C:\\App\\A.EXE");

  // The deleted server is extracted first and registered afterwards.
  EXPECT_EQ(machine.FileContents("C:\\App\\SERVER.EXE"), "server");
  std::vector<std::string> started;
  for (const SimProcessStart& start : machine.processes) started.push_back(start.commandLine);
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[0].rfind("\"C:\\Media\\SETUP.EXE\" /X=", 0), 0u) << started[0];
  EXPECT_EQ(started[1], "\"C:\\App\\SERVER.EXE\" /REGSERVER");
  EXPECT_EQ(ui.transcript.size(), 1u);  // the newer B only
  EXPECT_EQ(ui.unscriptedQuestions, 0);
  EXPECT_TRUE(gRun.repairMode);
  EXPECT_EQ(gRun.progressTotal, 5);  // four private files and a key
  EXPECT_EQ(gRun.progressPosition, 6);
  ASSERT_FALSE(ui.actionLines.empty());
  EXPECT_EQ(ui.actionLines.back().rfind("\r\n\r\nChecking:\r\n", 0), 0u);
  EXPECT_EQ(machine.FindFirst("C:\\TEMP\\*.TMP", nullptr), kNoSearch);
}

TEST_F(WholeRepairTest, ProgramThatExtractsNothingAndCancelledRegistry) {
  machine.RemoveFile("C:\\App\\A.EXE");
  // The installation program ends at once: nothing extracted, the list still goes.
  machine.SetProgramHook(kSetup, [](SimMachine&, const std::string&) {});
  gRun.cancelled = true;  // Cancel stops the values and registrations, not the files
  gRun.silent = true;
  RepairDriver();
  EXPECT_FALSE(machine.FileExists("C:\\App\\A.EXE"));
  EXPECT_FALSE(machine.RegKeyExists("HKLM\\Software\\Sample"));
  ASSERT_EQ(machine.processes.size(), 1u);
  EXPECT_EQ(machine.processes[0].commandLine.rfind("\"C:\\Media\\SETUP.EXE\" /X=C:\\TEMP\\KTC", 0),
            0u);
  EXPECT_EQ(machine.links.size(), 1u);
  FindEntry entry;
  EXPECT_EQ(machine.FindFirst("C:\\TEMP\\*.TMP", &entry), kNoSearch);
}

TEST_F(WholeRepairTest, NothingChangedRunsNoProgram) {
  Put("C:\\App\\GONE.DLL", "gone");
  RepairDriver();
  EXPECT_FALSE(gRun.repairQueued);
  for (const SimProcessStart& start : machine.processes) {
    EXPECT_EQ(start.commandLine.find("SETUP"), std::string::npos) << start.commandLine;
  }
}

}  // namespace
