// The shortcut launch on the simulated machine: the record's key name, the two kinds of
// check entries, the one question and its three answers, the launch values and the
// system's error text, and a whole /W run that turns into a repair and launches at the end.
#include "run/shortcut_launch.h"

#include <cstring>
#include <string>
#include <vector>

#include "run/program.h"
#include "run/run_reset.h"
#include "run/startup.h"
#include "support/sim_run_fixture.h"

namespace {

constexpr char kLog[] = "C:\\APP\\INSTALL.LOG";
constexpr char kRecord[] =
    "HKLM\\Software\\Tarn Solutions\\Tarn Installation System\\Repair\\C:/APP/INSTALL.LOG";
constexpr char kApp[] = "C:\\APP\\APP.EXE";

std::string Dword() { return std::string("\x01\0\0\0", 4); }

class ShortcutLaunchTest : public SimRunTest {
 protected:
  void SetUp() override {
    SimRunTest::SetUp();
    machine.settings.modulePath = "C:\\APP\\UNTARN32.EXE";
    machine.settings.tempDirectory = "C:\\TEMP\\";
    machine.settings.windowsDirectory = "C:\\WINDOWS";
    machine.MakeDirectories("C:\\TEMP");
    machine.MakeDirectories("C:\\WINDOWS");
    machine.WriteFile("C:\\APP\\UNTARN32.EXE", "MZ uninstaller");
    machine.WriteFile(kApp, "MZ app");
    machine.RegSetRaw("HKLM\\Software\\Dep", "Present", kRegSz, "1");
    gRun.launchShortcut = 1;
  }
  void TearDown() override {
    ResetRunWideState();
    SimRunTest::TearDown();
  }
  void SetIcon(const std::string& record, int number, const char* path, const char* arguments,
               const char* directory, const char* show) {
    std::string key = record + "\\Icons\\" + std::to_string(number);
    machine.RegSetRaw(key, "Path", kRegSz, path);
    if (arguments != nullptr) machine.RegSetRaw(key, "Arguments", kRegSz, arguments);
    if (directory != nullptr) machine.RegSetRaw(key, "WorkingDir", kRegSz, directory);
    if (show != nullptr) machine.RegSetRaw(key, "ShowWindow", kRegSz, show);
  }
  void SetRecord(const std::vector<std::pair<std::string, uint32_t>>& entries) {
    SetIcon(kRecord, 1, kApp, "-fast", "C:\\APP", "3");
    for (const auto& entry : entries) {
      machine.RegSetRaw(kRecord, entry.first, entry.second,
                        entry.second == kRegDword ? Dword() : "");
    }
  }
  std::vector<SimProcessStart> Launches() {
    std::vector<SimProcessStart> found;
    for (const SimProcessStart& start : machine.processes) {
      if (start.method == SimProcessStart::kShellExecute) found.push_back(start);
    }
    return found;
  }
  // The number of values of an HKLM key, -1 when it does not open.
  int Values(const char* key) {
    RegHandle open = 0;
    if (Sys().RegOpen(RegistryRoot(2), key + strlen("HKLM\\"), kKeyRead, &open) != 0) return -1;
    int count = 0;
    char buffer[1024];
    for (;;) {
      uint32_t size = sizeof buffer;
      uint32_t type = 0;
      if (Sys().RegEnumValueAt(open, static_cast<uint32_t>(count), buffer, &size, &type) != 0)
        break;
      ++count;
    }
    Sys().RegClose(open);
    return count;
  }
};

TEST_F(ShortcutLaunchTest, RecordNameFromTheLongPath) {
  char name[kRepairRecordNameSize];
  ASSERT_EQ(BuildRepairRecordName("C:\\Program Files\\My App\\INSTALL.LOG", name, sizeof name), 0);
  EXPECT_STREQ(name,
               "Software\\Tarn Solutions\\Tarn Installation System\\Repair\\"
               "C:/Program Files/My App/INSTALL.LOG");

  // 56 characters of prefix leave 203 for the path within the 259 of a key name; a longer
  // path is cut there, as the installation had to cut it.
  std::string fits = "C:\\" + std::string(200, 'A');
  ASSERT_EQ(BuildRepairRecordName(fits.c_str(), name, sizeof name), 0);
  EXPECT_EQ(strlen(name), 259u);
  std::string over = fits + "BCD";
  ASSERT_EQ(BuildRepairRecordName(over.c_str(), name, sizeof name), 0);
  EXPECT_EQ(std::string(name), std::string(kRepairRecordPrefix) + "C:/" + std::string(200, 'A'));
  EXPECT_EQ(BuildRepairRecordName(over.c_str(), name, 259), 1);
  EXPECT_STREQ(name, "");

  // A trail byte equal to the backslash is part of a character, not a separator.
  UseCodePage(932);
  ASSERT_EQ(BuildRepairRecordName("C:\\\x83\x5C\\LOG", name, sizeof name), 0);
  EXPECT_STREQ(name + 56, "C:/\x83\x5C/LOG");
}

TEST_F(ShortcutLaunchTest, UndamagedStartsAtOnceWithTheRecordedValues) {
  SetRecord({{"2\\Software\\Dep\\\\Present", kRegSz}, {kApp, kRegDword}});
  EXPECT_EQ(CheckAndLaunch(kLog), kShortcutEnd);
  EXPECT_TRUE(ui.transcript.empty());
  auto launches = Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].commandLine, kApp);
  EXPECT_EQ(launches[0].parameters, "-fast");
  EXPECT_EQ(launches[0].currentDir, "C:\\APP");
  EXPECT_EQ(launches[0].showState, 3);
  EXPECT_FALSE(gRun.automatic);
  EXPECT_EQ(machine.OpenRegistryHandles(), 0u);
}

// Empty or missing values: no parameters and no directory at all; the show state as atoi
// reads it.
TEST_F(ShortcutLaunchTest, EmptyValuesPassNothing) {
  SetIcon(kRecord, 2, kApp, "", nullptr, "  7 max");
  gRun.launchShortcut = 2;
  CheckAndLaunch(kLog);
  auto launches = Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_FALSE(launches[0].hasParameters);
  EXPECT_FALSE(launches[0].hasDirectory);
  EXPECT_EQ(launches[0].showState, 7);
}

TEST_F(ShortcutLaunchTest, TildePathFindsTheRecordOfTheLongPath) {
  machine.WriteFile("C:\\Program Files\\My App\\INSTALL.LOG", "log");
  std::string record =
      "HKLM\\Software\\Tarn Solutions\\Tarn Installation System\\Repair\\"
      "C:/Program Files/My App/INSTALL.LOG";
  SetIcon(record, 1, kApp, nullptr, nullptr, "1");
  CheckAndLaunch("C:\\PROGRA~1\\MYAPP~1\\INSTALL.LOG");
  EXPECT_EQ(Launches().size(), 1u);
}

// A log path too long for a key name: the installation cut the record's name at 259
// characters, and the launch finds it under that name. A cut name with no record behaves as
// any missing record.
TEST_F(ShortcutLaunchTest, OverlongNameIsCutAsTheInstallationCutIt) {
  std::string path = "C:\\" + std::string(199, 'A') + "\\L";
  EXPECT_EQ(CheckAndLaunch(path.c_str()), kShortcutEnd);
  EXPECT_TRUE(Launches().empty());
  std::string cut = std::string(kRecord, 5 + 56) + "C:/" + std::string(199, 'A') + "/";
  cut.resize(5 + 259);  // "HKLM\\" and the 259 characters of a key name
  SetIcon(cut, 1, kApp, nullptr, nullptr, "1");
  EXPECT_EQ(CheckAndLaunch(path.c_str()), kShortcutEnd);
  EXPECT_EQ(Launches().size(), 1u);
  EXPECT_TRUE(ui.transcript.empty());
}

TEST_F(ShortcutLaunchTest, NoRecordOrNoIconStartsNothing) {
  EXPECT_EQ(CheckAndLaunch(kLog), kShortcutEnd);
  EXPECT_TRUE(Launches().empty());
  SetIcon(kRecord, 1, kApp, nullptr, nullptr, "1");
  gRun.launchShortcut = 4;  // the record has no "Icons\4"
  EXPECT_EQ(CheckAndLaunch(kLog), kShortcutEnd);
  EXPECT_TRUE(Launches().empty());
  EXPECT_TRUE(ui.transcript.empty());
  EXPECT_EQ(machine.OpenRegistryHandles(), 0u);
}

struct EntryCase {
  const char* name;
  uint32_t type;
  bool damaged;
};

// One entry per case: the check each kind of entry makes.
TEST_F(ShortcutLaunchTest, EachEntryKindChecksWhatItNames) {
  machine.RegSetRaw("HKCU\\Software\\UserDep", "V", kRegSz, "1");
  const EntryCase cases[] = {
      {"2\\Software\\Dep\\\\Present", kRegSz, false},
      {"2\\Software\\Dep\\\\Missing", kRegSz, true},
      {"2\\Software\\Dep\\\\", kRegSz, false},  // empty value name: the key alone
      {"2\\Software\\Gone\\\\", kRegSz, true},
      {"2Software\\Dep\\\\Present", kRegSz, false},  // the backslash after the root is optional
      {"1\\Software\\UserDep\\\\V", kRegSz, false},
      {"0\\Software\\Dep\\\\Present", kRegSz, true},  // another root
      {"5\\Software\\Dep\\\\", kRegSz, true},         // no such root
      {"-1\\Software\\Dep\\\\", kRegSz, true},
      {"2\\Software\\Gone\\Missing", kRegSz, false},  // without the pair nothing is checked
      {kApp, kRegDword, false},
      {"C:\\APP\\GONE.DLL", kRegDword, true},
      {"C:\\APP\\GONE.DLL", kRegBinary, false},  // other kinds check nothing
  };
  size_t launched = 0;
  for (const EntryCase& c : cases) {
    machine.RegRemoveTree(kRecord);
    ui.transcript.clear();
    ui.AnswerMessage(kIdNo);
    SetRecord({{c.name, c.type}});
    CheckAndLaunch(kLog);
    EXPECT_EQ(!ui.transcript.empty(), c.damaged) << c.name;
    EXPECT_EQ(Launches().size(), ++launched) << c.name;  // No starts it either way
  }
}

TEST_F(ShortcutLaunchTest, SeveralMissingEntriesAskOnceAndNoLaunchesAsItIs) {
  // A name too long for the enumeration comes first; it must not hide what follows.
  std::string longName = "2\\Software\\" + std::string(600, 'K') + "\\\\";
  SetRecord({{longName, kRegSz},
             {"2\\Software\\Dep\\\\Missing", kRegSz},
             {"C:\\APP\\GONE.DLL", kRegDword},
             {"C:\\APP\\GONE2.DLL", kRegDword}});
  ui.AnswerMessage(kIdNo);
  EXPECT_EQ(CheckAndLaunch(kLog), kShortcutEnd);
  ASSERT_EQ(ui.transcript.size(), 1u);
  EXPECT_EQ(ui.transcript[0].caption, "Perform Repair");
  EXPECT_EQ(ui.transcript[0].text.rfind("This application is damaged and should be repaired.", 0),
            0u);
  EXPECT_EQ(ui.transcript[0].buttons, kMbYesNoCancel);
  EXPECT_EQ(Launches().size(), 1u);
  EXPECT_EQ(Values(kRecord), 4);  // No keeps the checks
  EXPECT_EQ(machine.OpenRegistryHandles(), 0u);
}

TEST_F(ShortcutLaunchTest, CancelDropsEveryCheckAndTheNextLaunchAsksNothing) {
  std::string longName = "2\\Software\\" + std::string(600, 'K') + "\\\\";
  SetRecord({{"C:\\APP\\GONE.DLL", kRegDword},
             {longName, kRegSz},
             {"2\\Software\\Dep\\\\Missing", kRegSz},
             {"", kRegSz}});
  ui.AnswerMessage(kIdCancel);
  EXPECT_EQ(CheckAndLaunch(kLog), kShortcutEnd);
  EXPECT_EQ(Launches().size(), 1u);
  EXPECT_EQ(Values(kRecord), 0);
  EXPECT_EQ(machine.RegString(std::string(kRecord) + "\\Icons\\1", "Path"), kApp);

  EXPECT_EQ(CheckAndLaunch(kLog), kShortcutEnd);
  EXPECT_EQ(ui.transcript.size(), 1u);
  EXPECT_EQ(Launches().size(), 2u);
  EXPECT_EQ(machine.OpenRegistryHandles(), 0u);
}

TEST_F(ShortcutLaunchTest, YesKeepsTheRecordOpenAndLaunchesAfterTheRepair) {
  SetRecord({{"C:\\APP\\GONE.DLL", kRegDword}});
  ui.AnswerMessage(kIdYes);
  EXPECT_EQ(CheckAndLaunch(kLog), kShortcutRepair);
  EXPECT_TRUE(gRun.automatic);
  EXPECT_TRUE(gRun.startAtFinish);
  EXPECT_TRUE(Launches().empty());
  EXPECT_EQ(machine.OpenRegistryHandles(), 1u);
  LaunchAfterRepair();
  EXPECT_EQ(Launches().size(), 1u);
  EXPECT_EQ(machine.OpenRegistryHandles(), 0u);
  LaunchAfterRepair();  // once only
  EXPECT_EQ(Launches().size(), 1u);
}

TEST_F(ShortcutLaunchTest, TargetThatCannotStartShowsTheSystemText) {
  SetIcon(kRecord, 1, "C:\\APP\\MOVED.EXE", nullptr, nullptr, "1");
  EXPECT_EQ(CheckAndLaunch(kLog), kShortcutEnd);
  ASSERT_EQ(ui.transcript.size(), 1u);
  EXPECT_EQ(ui.transcript[0].text, "The system cannot find the file specified.\r\n");
  EXPECT_EQ(ui.transcript[0].caption, "C:\\APP\\MOVED.EXE");
  EXPECT_EQ(ui.transcript[0].buttons, kMbOk);
}

// The whole /W run: Yes turns it into an automatic repair of the log, which uninstalls
// nothing, shows the repair's final page and starts the application at its very end.
TEST_F(ShortcutLaunchTest, YesRunsTheRepairFlowAndLaunchesAtTheEnd) {
  machine.WriteFile(kLog,
                    "***  Installation Started\r\n"
                    "Title: Sample\r\n"
                    "Made Dir: C:\\APP\r\n"
                    "File Copy: C:\\APP\\APP.EXE\r\n"
                    "RegDB Key: Software\\Dep\r\n");
  SetRecord({{"C:\\APP\\GONE.DLL", kRegDword}});
  ui.AnswerMessage(kIdYes);
  RunProgram("/W1 C:\\APP\\INSTALL.LOG");
  EXPECT_EQ(gRun.uninstallMode, kModeRepair);
  EXPECT_EQ(gRun.wizardPage, 11);
  EXPECT_TRUE(machine.FileExists(kApp));
  EXPECT_TRUE(machine.FileExists(kLog));
  EXPECT_TRUE(machine.RegKeyExists("HKLM\\Software\\Dep"));
  EXPECT_TRUE(machine.RegKeyExists(kRecord));
  auto launches = Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].commandLine, kApp);
  EXPECT_EQ(machine.OpenRegistryHandles(), 0u);
  EXPECT_EQ(ui.transcript.size(), 1u);
}

}  // namespace
