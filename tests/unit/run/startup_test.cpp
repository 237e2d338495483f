// Start-up scenarios on the simulated machine: where the log comes from, the temporary
// copy and its restart-time deletion on both platform kinds, the windows, the texts, the
// Program Files directory and the three ways the start-up ends.
#include "run/startup.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "run/run_reset.h"
#include "run/temp_copy.h"
#include "support/sim_run_fixture.h"

namespace {

constexpr char kProgram[] = "C:\\Program Files\\My App\\UNTARN32.EXE";
constexpr char kSettings[] = "C:\\Program Files\\My App\\UNTARN32.INI";
constexpr char kLogBeside[] = "C:\\Program Files\\My App\\INSTALL.LOG";
constexpr char kShortLogBeside[] = "C:\\PROGRA~1\\MYAPP~1\\INSTALL.LOG";
constexpr char kTempCopy[] = "C:\\TEMP\\KTM1A2B.EXE";
constexpr char kWininit[] = "C:\\WINDOWS\\WININIT.INI";
constexpr char kCurrentVersion[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr char kSessionManager[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

class StartupTest : public SimRunTest {
 protected:
  void SetUp() override {
    SimRunTest::SetUp();
    machine.settings.modulePath = kProgram;
    machine.settings.tempDirectory = "C:\\TEMP\\";
    machine.settings.windowsDirectory = "C:\\WINDOWS";
    machine.WriteFile(kProgram, "MZ program bytes");
    machine.MakeDirectories("C:\\TEMP");
    machine.MakeDirectories("C:\\WINDOWS");
  }
  void UseOtherPlatform() {
    machine.settings.ntFamily = false;
    machine.settings.major = 4;
    machine.settings.minor = 0;
  }
  const SimWindow* WindowOf(WindowHandle handle) {
    auto found = ui.windows.find(handle);
    return found == ui.windows.end() ? nullptr : &found->second;
  }
  // The copies in the folders of dir.
  std::vector<std::string> Copies(const std::string& dir = "C:\\TEMP\\") {
    std::vector<std::string> copies;
    FindEntry entry;
    SearchHandle search = machine.FindFirst((dir + "*").c_str(), &entry);
    if (search == kNoSearch) return copies;
    do {
      std::string copy = dir + entry.name + "\\KTM1A2B.EXE";
      if ((entry.attributes & kAttrDirectory) != 0 && machine.FileExists(copy)) {
        copies.push_back(copy);
      }
    } while (machine.FindNext(search, &entry) == 0);
    machine.FindEnd(search);
    return copies;
  }
  bool HasSubfolder(const std::string& dir) {
    FindEntry entry;
    SearchHandle search = machine.FindFirst((dir + "*").c_str(), &entry);
    bool found = false;
    if (search == kNoSearch) return false;
    do {
      found = found || ((entry.attributes & kAttrDirectory) != 0 && entry.name[0] != '.');
    } while (machine.FindNext(search, &entry) == 0);
    machine.FindEnd(search);
    return found;
  }
  int OpenLogQuestions() {
    int count = 0;
    for (const SimQuestion& q : ui.transcript) count += q.kind == SimQuestion::kOpenLog;
    return count;
  }
};

TEST_F(StartupTest, EmptyLineTakesTheLogBesideTheProgram) {
  machine.WriteFile(kLogBeside, "log");
  EXPECT_EQ(RunStartup(""), kStartupRunFlow);
  EXPECT_STREQ(gRun.logPath.c_str(), kShortLogBeside);
  EXPECT_FALSE(gRun.hasCommandTitle);
  EXPECT_EQ(OpenLogQuestions(), 0);
  EXPECT_STREQ(gRun.modulePath.c_str(), kProgram);
  EXPECT_STREQ(gRun.settingsFile.c_str(), kSettings);
}

TEST_F(StartupTest, EmptyLineWithoutLogAsksForOne) {
  machine.WriteFile("C:\\ELSEWHERE\\INSTALL.LOG", "log");
  ui.AnswerOpenLog("C:\\ELSEWHERE\\INSTALL.LOG");
  EXPECT_EQ(RunStartup(""), kStartupRunFlow);
  ASSERT_EQ(OpenLogQuestions(), 1);
  EXPECT_EQ(ui.transcript[0].text, "Installation Logs");
  EXPECT_STREQ(gRun.logPath.c_str(), "C:\\ELSEWHERE\\INSTALL.LOG");
}

TEST_F(StartupTest, CancelledFileDialogLeavesNoLog) {
  ui.CancelOpenLog();
  EXPECT_EQ(RunStartup(""), kStartupRunFlow);
  EXPECT_EQ(OpenLogQuestions(), 1);
  EXPECT_TRUE(gRun.logPath.Empty());
}

// The file dialog replaces the initializing window.
TEST_F(StartupTest, FileDialogDestroysTheInitializingWindow) {
  ui.progressWindowEnabled = true;
  ui.CancelOpenLog();
  RunStartup("");
  EXPECT_EQ(gRun.progressWindow, 0u);
  bool destroyedProgress = false;
  for (const auto& entry : ui.windows) {
    if (entry.second.kind == SimWindow::kProgress) destroyedProgress = entry.second.destroyed;
  }
  EXPECT_TRUE(destroyedProgress);
}

TEST_F(StartupTest, TemporaryCopyUnlessTheLineStartsWithZ) {
  struct Case {
    const char* line;
    bool copied;
  };
  const Case kCases[] = {
      {"C:\\APP\\INSTALL.LOG", true},     {"/Z C:\\APP\\INSTALL.LOG", false},
      {"/z C:\\A C:\\B\\", false},        {"/A /Z C:\\APP\\INSTALL.LOG", true},
      {" /Z C:\\APP\\INSTALL.LOG", true},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> before = Copies();
    ResetRunWideState();
    ui.CancelOpenLog();
    RunStartup(c.line);
    SCOPED_TRACE(c.line);
    std::vector<std::string> after = Copies();
    EXPECT_EQ(after.size(), before.size() + (c.copied ? 1 : 0));
    EXPECT_EQ(gRun.inPlaceRun, !c.copied);
    if (c.copied) {
      std::string copy = gRun.tempCopyPath.c_str();
      EXPECT_EQ(std::count(after.begin(), after.end(), copy), 1);
      EXPECT_EQ(std::count(before.begin(), before.end(), copy), 0);
      EXPECT_EQ(machine.FileContents(gRun.tempCopyPath.c_str()), "MZ program bytes");
    } else {
      EXPECT_STREQ(gRun.tempCopyPath.c_str(), "");
    }
  }
}

// The copy lies in a folder the run made under a name drawn at random, never at a fixed
// place that another program of the user could fill first: what lies at the old fixed
// name, or at the name drawn, is left alone and never run.
TEST_F(StartupTest, EachRunMakesAFolderOfItsOwn) {
  machine.WriteFile(kTempCopy, "planted");
  uint64_t seed = machine.randomState;
  RunStartup("C:\\APP\\INSTALL.LOG");
  std::string first = gRun.tempCopyPath.c_str();
  ASSERT_EQ(first.size(), strlen("C:\\TEMP\\ABCDEFGH.TMP\\KTM1A2B.EXE")) << first;
  EXPECT_EQ(first.compare(20, 12, "\\KTM1A2B.EXE"), 0) << first;

  // The same draw again finds that folder taken (here by someone else's file, and then by a
  // folder holding a planted copy) and goes on to a new one.
  std::string folder = first.substr(0, 20);
  for (bool plantFolder : {false, true}) {
    machine.RemoveFile(first.c_str());
    machine.RemoveEmptyDirectory(folder.c_str());
    if (plantFolder) {
      machine.WriteFile(first, "planted");
    } else {
      machine.WriteFile(folder, "not a folder");
    }
    machine.randomState = seed;
    ResetRunWideState();
    RunStartup("C:\\APP\\INSTALL.LOG");
    std::string again = gRun.tempCopyPath.c_str();
    EXPECT_NE(again.substr(0, 20), folder);
    EXPECT_EQ(machine.FileContents(again), "MZ program bytes");
    EXPECT_EQ(machine.FileContents(plantFolder ? first : folder),
              plantFolder ? "planted" : "not a folder");
    if (!plantFolder) machine.RemoveFile(folder.c_str());
  }
  EXPECT_EQ(machine.FileContents(kTempCopy), "planted");

  // A temporary directory that cannot be written to: no copy, and the run goes on.
  ResetRunWideState();
  machine.settings.tempDirectory = "C:\\NO SUCH TEMP\\";
  EXPECT_EQ(RunStartup("C:\\APP\\INSTALL.LOG"), kStartupRunFlow);
  EXPECT_STREQ(gRun.tempCopyPath.c_str(), "");
}

TEST_F(StartupTest, CopyAndItsFolderDeletedAtRestart) {
  RunStartup("C:\\APP\\INSTALL.LOG");
  EXPECT_EQ(gRun.platformKind, kPlatformNt);
  std::string copy = gRun.tempCopyPath.c_str();
  std::string folder = copy.substr(0, copy.rfind('\\'));
  // Two pairs: the copy, then its folder, each with an empty target (delete).
  uint32_t type = 0;
  std::string pending;
  ASSERT_TRUE(machine.RegValue(kSessionManager, "PendingFileRenameOperations", &type, &pending));
  EXPECT_EQ(type, kRegMultiSz);
  EXPECT_EQ(pending,
            "\\??\\" + copy + std::string(2, '\0') + "\\??\\" + folder + std::string(3, '\0'));
  EXPECT_FALSE(machine.FileExists(kWininit));
  machine.SimulateRestart();
  EXPECT_FALSE(machine.FileExists(copy));
  EXPECT_FALSE(machine.DirectoryExists(folder));
  EXPECT_TRUE(machine.FileExists(kProgram));

  // WININIT.INI deletes files only: the copy goes, its empty folder stays.
  UseOtherPlatform();
  ResetRunWideState();
  RunStartup("C:\\APP\\INSTALL.LOG");
  EXPECT_EQ(gRun.platformKind, kPlatformOther);
  copy = gRun.tempCopyPath.c_str();
  EXPECT_EQ(machine.FileContents(kWininit), "[rename]\r\nNUL=" + copy + "\r\n");
  machine.SimulateRestart();
  EXPECT_FALSE(machine.FileExists(copy));
}

TEST_F(StartupTest, WininitEntriesAreAppended) {
  UseOtherPlatform();
  gRun.platformKind = kPlatformOther;
  struct Case {
    const char* before;
    const char* after;
  };
  const Case kCases[] = {
      {"[rename]\r\nNUL=C:\\OLD.TMP\r\n", "[rename]\r\nNUL=C:\\OLD.TMP\r\nNUL=C:\\X\\Y.EXE\r\n"},
      // Another section last: the entry gets a [rename] header of its own, or the system
      // would never read it.
      {"[rename]\r\n[other]\r\nA=B\r\n",
       "[rename]\r\n[other]\r\nA=B\r\n[rename]\r\nNUL=C:\\X\\Y.EXE\r\n"},
      // A last line without its line break is ended first, not glued to the entry.
      {"[rename]\r\nNUL=C:\\OLD.TMP", "[rename]\r\nNUL=C:\\OLD.TMP\r\nNUL=C:\\X\\Y.EXE\r\n"},
      {"[Rename]\r\nA=B", "[Rename]\r\nA=B\r\nNUL=C:\\X\\Y.EXE\r\n"},
      {"", "[rename]\r\nNUL=C:\\X\\Y.EXE\r\n"},
  };
  for (const Case& c : kCases) {
    machine.WriteFile(kWininit, c.before);
    ScheduleTempCopyDeletion("C:\\X\\Y.EXE");
    EXPECT_EQ(machine.FileContents(kWininit), c.after) << c.before;
  }
  // The path is written as given, not converted to its short form.
  machine.RemoveFile(kWininit);
  ScheduleTempCopyDeletion("C:\\Program Files\\My App\\UNTARN32.EXE");
  EXPECT_EQ(machine.FileContents(kWininit),
            "[rename]\r\nNUL=C:\\Program Files\\My App\\UNTARN32.EXE\r\n");
  // Neither opened nor created: nothing happens.
  machine.RemoveFile(kWininit);
  machine.settings.windowsDirectory = "C:\\NO SUCH DIR";
  ScheduleTempCopyDeletion("C:\\X\\Y.EXE");
  EXPECT_FALSE(machine.FileExists("C:\\NO SUCH DIR\\WININIT.INI"));
}

// A temporary directory so long that the copy's path would be cut makes no copy at all,
// and leaves no folder behind; a path of exactly 255 characters is still whole.
TEST_F(StartupTest, NoCopyWhenItsNameWouldBeCut) {
  struct Case {
    size_t dirLength;  // characters of the directory's own name
    bool copied;
  };
  const Case kCases[] = {{227, true}, {228, false}, {243, false}};
  for (const Case& c : kCases) {
    ResetRunWideState();
    std::string dir = "C:\\" + std::string(c.dirLength, 'T') + "\\";
    machine.MakeDirectories(dir);
    machine.settings.tempDirectory = dir;
    RunStartup("C:\\APP\\INSTALL.LOG");
    std::string copy = gRun.tempCopyPath.c_str();
    EXPECT_EQ(copy.size(), c.copied ? 255u : 0u) << c.dirLength;
    EXPECT_EQ(Copies(dir).size(), c.copied ? 1u : 0u) << c.dirLength;
    if (!c.copied) {
      EXPECT_FALSE(HasSubfolder(dir)) << c.dirLength;
    }
    EXPECT_FALSE(gRun.inPlaceRun);
  }
}

TEST_F(StartupTest, PlatformProbe) {
  struct Case {
    bool nt;
    uint32_t major;
    int kind;
    bool newShell;
  };
  const Case kCases[] = {
      {true, 4, kPlatformNt, true},     {true, 3, kPlatformNt, false},
      {false, 4, kPlatformOther, true}, {false, 3, kPlatformOther, false},
      {true, 10, kPlatformNt, true},
  };
  for (const Case& c : kCases) {
    ResetRunWideState();
    machine.settings.ntFamily = c.nt;
    machine.settings.major = c.major;
    RunStartup("/Z C:\\APP\\INSTALL.LOG");
    EXPECT_EQ(gRun.platformKind, c.kind);
    EXPECT_EQ(gRun.newShell, c.newShell);
  }
}

TEST_F(StartupTest, ProgramFilesDirectory) {
  struct Case {
    const char* value;  // null: no value
    const char* expected;
  };
  const Case kCases[] = {
      {"C:\\Program Files\\", "C:\\Program Files"},
      {"C:\\Program Files", "C:\\Program Files"},
      {"D:\\", "D:"},
      {"", ""},
      {nullptr, ""},
  };
  for (const Case& c : kCases) {
    ResetRunWideState();
    machine.RegRemoveRaw(kCurrentVersion, "ProgramFilesDir");
    if (c.value != nullptr) {
      machine.RegSetRaw(kCurrentVersion, "ProgramFilesDir", kRegSz, std::string(c.value) + '\0');
    }
    RunStartup("/Z C:\\APP\\INSTALL.LOG");
    EXPECT_STREQ(gRun.programFilesDir.c_str(), c.expected) << (c.value ? c.value : "(none)");
  }
  // A value stored without its terminator is still read as text.
  ResetRunWideState();
  machine.RegSetRaw(kCurrentVersion, "ProgramFilesDir", kRegSz, "E:\\Apps\\");
  RunStartup("/Z C:\\APP\\INSTALL.LOG");
  EXPECT_STREQ(gRun.programFilesDir.c_str(), "E:\\Apps");
}

TEST_F(StartupTest, BareLogNameTakesTheCurrentDirectory) {
  struct Case {
    const char* currentDir;
    const char* line;
    const char* expected;
  };
  const Case kCases[] = {
      {"C:\\APP", "/Z INSTALL.LOG", "C:\\APP\\INSTALL.LOG"},
      {"C:\\", "/Z INSTALL.LOG", "C:\\INSTALL.LOG"},
      {"C:\\APP", "/Z SUB\\INSTALL.LOG", "SUB\\INSTALL.LOG"},
      {"C:\\APP", "/Z INSTALL.LOG My Title", "C:\\APP\\INSTALL.LOG"},
  };
  machine.MakeDirectories("C:\\APP");
  for (const Case& c : kCases) {
    ResetRunWideState();
    machine.SetCurrentDir(c.currentDir);
    RunStartup(c.line);
    EXPECT_STREQ(gRun.logPath.c_str(), c.expected) << c.line;
  }
}

TEST_F(StartupTest, DisplaySettingsAndWindows) {
  machine.WriteFile(kSettings,
                    "[Settings]\r\nStart Red=10\r\nStart Green=20\r\nStart Blue=30\r\n"
                    "End Red=40\r\nEnd Green=50\r\nEnd Blue=60\r\nNo Background=0\r\n");
  ui.progressWindowEnabled = true;
  EXPECT_EQ(RunStartup("/Z C:\\APP\\INSTALL.LOG Title Text"), kStartupRunFlow);
  EXPECT_EQ(gRun.startRed, 10);
  EXPECT_EQ(gRun.startGreen, 20);
  EXPECT_EQ(gRun.startBlue, 30);
  EXPECT_EQ(gRun.endRed, 40);
  EXPECT_EQ(gRun.endGreen, 50);
  EXPECT_EQ(gRun.endBlue, 60);
  EXPECT_EQ(gRun.noBackground, 0);
  EXPECT_TRUE(machine.fileErrorBoxesSuppressed);
  const SimWindow* main = WindowOf(gRun.mainWindow);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->caption, "Title Text");
  EXPECT_TRUE(main->visible);
  EXPECT_NE(gRun.progressWindow, 0u);
}

TEST_F(StartupTest, DefaultsHideTheMainWindow) {
  EXPECT_EQ(RunStartup("/Z C:\\APP\\INSTALL.LOG"), kStartupRunFlow);
  EXPECT_EQ(gRun.startBlue, 255);
  EXPECT_EQ(gRun.noBackground, 1);
  const SimWindow* main = WindowOf(gRun.mainWindow);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->caption, " ");
  EXPECT_FALSE(main->visible);
}

// Silent, clean-up and shortcut runs show neither the main window nor the initializing one.
TEST_F(StartupTest, QuietRunsShowNoWindows) {
  machine.WriteFile(kSettings, "[Settings]\r\nNo Background=0\r\n");
  ui.progressWindowEnabled = true;
  const char* kLines[] = {"/S /Z C:\\APP\\INSTALL.LOG", "/z C:\\A C:\\B\\"};
  for (const char* line : kLines) {
    ResetRunWideState();
    RunStartup(line);
    const SimWindow* main = WindowOf(gRun.mainWindow);
    ASSERT_NE(main, nullptr) << line;
    EXPECT_FALSE(main->visible) << line;
    EXPECT_EQ(gRun.progressWindow, 0u) << line;
  }
  ResetRunWideState();
  gRun.automatic = true;  // what the shortcut launcher sets before coming back
  gRun.launchShortcut = 2;
  gRun.settingsFile.Set(kSettings);
  EXPECT_EQ(ContinueStartup(), kStartupRunFlow);
  EXPECT_FALSE(WindowOf(gRun.mainWindow)->visible);
  EXPECT_EQ(gRun.progressWindow, 0u);
}

TEST_F(StartupTest, WindowFailureEndsAtOnce) {
  ui.mainClassRegisters = false;
  EXPECT_EQ(RunStartup("/Z C:\\APP\\INSTALL.LOG"), kStartupEnd);
  EXPECT_EQ(gRun.shellLibrary, 0u);
  EXPECT_EQ(OpenLogQuestions(), 0);
}

TEST_F(StartupTest, CleanupAndShortcutRunsBranchOff) {
  EXPECT_EQ(RunStartup("/z1 C:\\OLD\\UNTARN32.EXE C:\\APP\\"), kStartupCleanupRun);
  EXPECT_STREQ(gRun.cleanupArguments.c_str(), "C:\\OLD\\UNTARN32.EXE C:\\APP\\");
  EXPECT_TRUE(gRun.rebootNeeded);
  EXPECT_TRUE(gRun.inPlaceRun);

  // A clean-up switch with nothing after it is an ordinary run that asks for the log.
  ResetRunWideState();
  ui.CancelOpenLog();
  EXPECT_EQ(RunStartup("/z"), kStartupRunFlow);
  EXPECT_EQ(OpenLogQuestions(), 1);

  ResetRunWideState();
  size_t windowsBefore = ui.windows.size();
  EXPECT_EQ(RunStartup("/W3 C:\\APP\\INSTALL.LOG"), kStartupShortcutLaunch);
  EXPECT_EQ(gRun.launchShortcut, 3);
  EXPECT_EQ(ui.windows.size(), windowsBefore);
}

TEST_F(StartupTest, RestartTexts) {
  RunStartup("/Z C:\\APP\\INSTALL.LOG");
  EXPECT_STREQ(gRun.rebootCaption.c_str(), "Uninstall");
  EXPECT_EQ(std::string(gRun.rebootText.c_str()).substr(0, 40),
            "This uninstall must reboot your computer");
}

TEST_F(StartupTest, TextsComeFromTheSettingsFile) {
  machine.WriteFile(kSettings, "[Language]\r\nMsg25=Remove|Program\r\nMsg1=Logs~only\r\n");
  ui.CancelOpenLog();
  RunStartup("");
  EXPECT_STREQ(gRun.rebootCaption.c_str(), "Remove\r\nProgram");
  ASSERT_EQ(OpenLogQuestions(), 1);
  EXPECT_EQ(ui.transcript[0].text, "Logs only");
}

TEST_F(StartupTest, ShellLibraryIsKept) {
  RunStartup("/Z C:\\APP\\INSTALL.LOG");
  EXPECT_NE(gRun.shellLibrary, 0u);
  EXPECT_TRUE(gRun.hasShellNotify);
}

}  // namespace
