// Silent uninstalls of an application whose files are partly counted as shared under
// SharedDLLs: a counted file keeps its count less one (at zero the value goes and a silent
// run keeps the file), every other file goes; whatever the case of the names in the key,
// with names outside ASCII, and with a key holding more names than the log has files.
#include <string>
#include <utility>
#include <vector>

#include "scenario_fixture.h"

namespace {

const char kShared[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// The files of C:\APP\LIB; the last three are counted nowhere.
const char* const kFiles[] = {"C:\\APP\\LIB\\SHARED.DLL", "C:\\APP\\LIB\\LAST.DLL",
                              "C:\\APP\\LIB\\CAF\xC9.DLL", "C:\\APP\\LIB\\PLAIN1.DLL",
                              "C:\\APP\\LIB\\PLAIN2.DLL", "C:\\APP\\LIB\\PLAIN3.DLL"};

const char kImage[] = R"({
  "platform": {"kind": "nt", "windowsDirectory": "C:\\WINDOWS", "tempDirectory": "C:\\TEMP\\",
               "modulePath": "C:\\WINDOWS\\UNTARN32.EXE", "currentDirectory": "C:\\"},
  "directories": ["C:\\TEMP", "C:\\APP\\LIB"]
})";

using Counts = std::vector<std::pair<std::string, uint32_t>>;

std::string Dword(uint32_t value) {
  return std::string{static_cast<char>(value), static_cast<char>(value >> 8),
                     static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
}

class SharedCountsScenario : public ScenarioTest {
 protected:
  void RunWith(const Counts& counts, const char* commandLine = "/S C:\\APP\\INSTALL.LOG") {
    LoadImage(kImage);
    std::string log = "***  Installation Started\r\nTitle: Counted\r\nMade Dir: C:\\APP\r\n"
                      "Made Dir: C:\\APP\\LIB\r\n";
    for (const char* f : kFiles) {
      ASSERT_EQ(machine->WriteFile(f, "MZ"), 0) << f;
      log += std::string("File Copy: ") + f + "\r\n";
    }
    for (const auto& c : counts)
      ASSERT_EQ(machine->RegSetRaw(kShared, c.first, kRegDword, Dword(c.second)), 0) << c.first;
    machine->WriteFile("C:\\APP\\INSTALL.LOG", log);
    Run(commandLine);
  }
  // The count, -1 when the value is gone.
  int64_t Count(const char* name) {
    uint32_t type = 0;
    std::string data;
    if (!machine->RegValue(kShared, name, &type, &data) || data.size() != 4) return -1;
    return static_cast<uint8_t>(data[0]) | (static_cast<uint8_t>(data[1]) << 8);
  }
  void ExpectUncountedFilesGone() {
    for (int i = 3; i < 6; ++i) EXPECT_FALSE(machine->FileExists(kFiles[i])) << kFiles[i];
  }
};

// A key of a few ASCII names, in another case than the log: the names are read once and the
// files that are not among them are not asked about. The file named outside ASCII is not
// counted and goes like the others.
TEST_F(SharedCountsScenario, CountedFilesAreFoundWhateverTheCaseOfTheirNames) {
  RunWith({{"c:\\app\\lib\\shared.dll", 3}, {"C:\\App\\Lib\\Last.dll", 1}});

  EXPECT_TRUE(sim->transcript.empty()) << "a silent run asks nothing";
  EXPECT_TRUE(machine->FileExists(kFiles[0]));
  EXPECT_EQ(Count("C:\\APP\\LIB\\SHARED.DLL"), 2);
  // Nobody is left: the value goes, and a silent run keeps the file.
  EXPECT_EQ(Count("C:\\APP\\LIB\\LAST.DLL"), -1);
  EXPECT_TRUE(machine->FileExists(kFiles[1]));
  EXPECT_FALSE(machine->FileExists(kFiles[2]));
  ExpectUncountedFilesGone();
}

// Shown in the wizard (/A), the question comes while the progress display is up: its
// animation is stopped for as long as the question is open, runs at its period again after
// each answer, and the wizard has the keyboard focus back.
TEST_F(SharedCountsScenario, TheQuestionPausesTheWizardsAnimation) {
  ui->script.present = true;
  sim->AnswerShared(1005);  // Yes: LAST.DLL
  sim->AnswerShared(1006);  // No: SHARED.DLL
  RunWith({{"C:\\APP\\LIB\\SHARED.DLL", 1}, {"C:\\APP\\LIB\\LAST.DLL", 1}},
          "/A C:\\APP\\INSTALL.LOG");

  ASSERT_EQ(sim->transcript.size(), 2u);
  for (const SimQuestion& question : sim->transcript) {
    EXPECT_EQ(question.caption, "Remove Shared Component");
    EXPECT_EQ(question.animationTimerMs, 0) << question.text;
  }
  EXPECT_EQ(sim->animationTimerMs, kAnimationPeriodMs);
  EXPECT_EQ(sim->focusWindow, WindowHandle{0x7000});
  EXPECT_FALSE(machine->FileExists(kFiles[1]));
  EXPECT_TRUE(machine->FileExists(kFiles[0]));
  ExpectUncountedFilesGone();
}

// A key with a name outside ASCII, or with more names than the log has files, is asked
// about file by file: the counts are still found, and nothing else is taken for counted.
TEST_F(SharedCountsScenario, CrowdedOrForeignKeysGiveTheSameOutcome) {
  Counts foreign = {{"C:\\OTHER\\\xC9T\xC9.DLL", 4},
                    {"c:\\app\\lib\\shared.dll", 3},
                    {"C:\\APP\\LIB\\caf\xC9.dll", 2}};
  Counts crowded;
  for (int i = 0; i < 12; ++i) crowded.push_back({"C:\\OTHER\\LIB" + std::to_string(i) + ".DLL", 1});
  crowded.push_back({"c:\\app\\lib\\shared.dll", 3});
  struct Case {
    const Counts& counts;
    bool countsCafe;  // the file named outside ASCII is counted (in another case)
  } cases[] = {{foreign, true}, {crowded, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.counts.front().first);
    TearDown();
    SetUp();
    RunWith(c.counts);
    EXPECT_TRUE(machine->FileExists(kFiles[0]));
    EXPECT_EQ(Count("C:\\APP\\LIB\\SHARED.DLL"), 2);
    EXPECT_FALSE(machine->FileExists(kFiles[1]));
    EXPECT_EQ(machine->FileExists(kFiles[2]), c.countsCafe);
    ExpectUncountedFilesGone();
    EXPECT_EQ(Count(c.counts.front().first.c_str()), c.counts.front().second);
  }
}

}  // namespace
