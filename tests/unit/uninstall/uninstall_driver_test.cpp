// UninstallDriver: the order of the passes, their section and selection gates in both
// methods, rollback with one and with several sections, cancel at each stage, the
// sub-system's Abort, the action line forms, the program command split, the per-user
// clean-up and the repair record, and in-use files on both platform kinds.
#include "uninstall/uninstall_driver.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/path_helpers.h"
#include "driver_fixture.h"
#include "ui/progress_display.h"
#include "uninstall/pass_gates.h"
#include "uninstall/shared_dlls.h"

namespace {

const char kRepairKey[] =
    "HKLM\\Software\\Tarn Solutions\\Tarn Installation System\\Repair\\C:/APP/INSTALL.LOG";

bool ServiceGone(SimMachine* machine, const char* upperName) {
  auto it = machine->services.find(upperName);
  return it == machine->services.end() || it->second.markedForDelete;
}

class UninstallDriverTest : public DriverTest {
 protected:
  // One record of every kind, all logged in section 1.
  void AddOneOfEach() {
    machine->WriteFile("C:\\APP\\CLEAN.EXE", "MZ");
    AddProgram("C:\\APP\\CLEAN.EXE /quiet", "Clean-up");
    AddService("SampleSvc");
    AddIniFile("C:\\WINDOWS\\SAMPLE.INI");
    machine->WriteFile("C:\\WINDOWS\\WIN.INI", "[Sample]\r\nMode=new\r\n");
    AddIniEdit("C:\\WINDOWS\\WIN.INI", "Sample", "Mode", "old", "old");
    AddPrivate("C:\\APP\\MAIN.EXE");
    FileItem* system = AddFile(gStore.SystemFiles, "C:\\WINDOWS\\SYSTEM32\\SAMPLE.DLL");
    system->selected = 1;
    AddDirectory("C:\\APP\\DATA\\", 1, 1);
    machine->RegSetRaw("HKLM\\Software\\Sample", "Color", kRegSz, RegStringBytes("blue"));
    AddRegEdit("Software\\Sample", "Color", "red", "red");
    AddRegKey("Software\\Sample\\Created", "Value");
    AddRegTree("Software\\SampleTree");
    machine->groups.push_back(
        {"Sample", "C:\\WINDOWS\\SAMPLE.GRP", {{"Main", "C:\\APP\\MAIN.EXE"}}});
    AddIcon("Sample", "Main", "C:\\APP\\MAIN.EXE");
  }
};

TEST_F(UninstallDriverTest, PassesRunInTheirFixedOrder) {
  AddOneOfEach();
  UninstallDriver(kLog);
  FinishUninstall(kLog);
  const std::vector<std::string> expected = {"Executing External Program:",
                                             "Deleting Service:",
                                             "Removing INI File:",
                                             "Editing INI File:",
                                             "Removing File:",
                                             "Removing System File:",
                                             "Removing Directory:",
                                             "Editing Registration Database Key:",
                                             "Removing Registration Database Key:",
                                             "Removing Registration Database Key Sub-Tree:",
                                             "Removing Icon:"};
  EXPECT_EQ(expected, ActionLabels());
  EXPECT_TRUE(gRun.progressMode);
  EXPECT_EQ(10, gRun.progressTotal);
  EXPECT_EQ(10, gRun.progressPosition);

  // What each pass did to the machine->
  EXPECT_EQ(1, Starts(SimProcessStart::kCreateProcess));
  EXPECT_TRUE(ServiceGone(machine, "SAMPLESVC"));
  EXPECT_FALSE(machine->FileExists("C:\\WINDOWS\\SAMPLE.INI"));
  char mode[16] = {};
  machine->ReadIniString("Sample", "Mode", "", mode, sizeof mode, "C:\\WINDOWS\\WIN.INI");
  EXPECT_STREQ("old", mode);
  EXPECT_FALSE(machine->FileExists("C:\\APP\\MAIN.EXE"));
  EXPECT_FALSE(machine->FileExists("C:\\WINDOWS\\SYSTEM32\\SAMPLE.DLL"));
  EXPECT_FALSE(machine->DirectoryExists("C:\\APP\\DATA"));
  EXPECT_EQ("red", machine->RegString("HKLM\\Software\\Sample", "Color"));
  EXPECT_FALSE(machine->RegKeyExists("HKLM\\Software\\Sample\\Created"));
  EXPECT_FALSE(machine->RegKeyExists("HKLM\\Software\\SampleTree"));
  EXPECT_FALSE(machine->FileExists(kLog));
  // The service manager is given time after a deletion.
  EXPECT_NE(ui->pumpWaits.end(), std::find(ui->pumpWaits.begin(), ui->pumpWaits.end(), 3500));
}

TEST_F(UninstallDriverTest, EmptyStoreStillEndsTheApplication) {
  machine->RegSetRaw(kRepairKey, "Source", kRegSz, RegStringBytes("x"));
  UninstallDriver(kLog);
  FinishUninstall(kLog);
  EXPECT_EQ(1, gRun.progressTotal);
  EXPECT_EQ(0, gRun.progressPosition);
  EXPECT_FALSE(machine->FileExists(kLog));
  EXPECT_FALSE(machine->RegKeyExists(kRepairKey));
  // The progress heading was entered with the title, the action line cleared.
  EXPECT_TRUE(gRun.progressMode);
}

// Custom: only selected records, rollback dropped, the log and the repair record stay.
TEST_F(UninstallDriverTest, CustomTouchesOnlySelectedRecordsAndKeepsTheLog) {
  gRun.uninstallMode = kModeCustom;
  gRun.rollbackChosen = true;
  gStore.sectionCount = 2;
  machine->RegSetRaw(kRepairKey, "Source", kRegSz, RegStringBytes("x"));
  FileItem* chosen = AddPrivate("C:\\APP\\A.EXE", 1);
  chosen->selected = 1;
  AddPrivate("C:\\APP\\B.EXE", 1);
  RegKeyItem* key = AddRegKey("Software\\Sample\\K1", "v", 1);
  key->selected = 1;
  AddRegKey("Software\\Sample\\K2", "v", 2);
  DirItem* dir = AddDirectory("C:\\APP\\DOCS\\", 1, 0);
  dir->selected = 1;
  machine->WriteFile("C:\\APP\\DOCS\\README.TXT", "x");

  UninstallDriver(kLog);

  FinishUninstall(kLog);

  EXPECT_FALSE(gRun.rollbackChosen);
  EXPECT_EQ(1, MinimumSection());
  EXPECT_FALSE(machine->FileExists("C:\\APP\\A.EXE"));
  EXPECT_TRUE(machine->FileExists("C:\\APP\\B.EXE"));
  EXPECT_FALSE(machine->RegKeyExists("HKLM\\Software\\Sample\\K1"));
  EXPECT_TRUE(machine->RegKeyExists("HKLM\\Software\\Sample\\K2"));
  // A selected directory goes with its contents in Custom mode.
  EXPECT_FALSE(machine->DirectoryExists("C:\\APP\\DOCS"));
  EXPECT_EQ(std::vector<std::string>{"C:\\APP\\DOCS"}, ActionItems("Removing Directory:"));
  EXPECT_TRUE(machine->FileExists(kLog));
  EXPECT_TRUE(machine->RegKeyExists(kRepairKey));
}

// Directories: contents go only in Custom or for a "File Tree: " directory; the trailing
// backslash is dropped in the item itself.
TEST_F(UninstallDriverTest, DirectoriesKeepFilesUnlessLoggedAsTree) {
  DirItem* plain = AddDirectory("C:\\APP\\PLAIN\\", 1, 0);
  AddDirectory("C:\\APP\\TREE\\", 1, 1);
  AddDirectory("C:\\APP\\EMPTY\\", 1, 0);
  machine->WriteFile("C:\\APP\\PLAIN\\KEEP.TXT", "x");
  machine->WriteFile("C:\\APP\\TREE\\SUB\\GO.TXT", "x");
  UninstallDriver(kLog);
  FinishUninstall(kLog);
  EXPECT_STREQ("C:\\APP\\PLAIN", plain->path.c_str());
  EXPECT_TRUE(machine->FileExists("C:\\APP\\PLAIN\\KEEP.TXT"));
  EXPECT_FALSE(machine->DirectoryExists("C:\\APP\\TREE"));
  EXPECT_FALSE(machine->DirectoryExists("C:\\APP\\EMPTY"));
  EXPECT_EQ((std::vector<std::string>{"C:\\APP\\PLAIN", "C:\\APP\\EMPTY"}),
            ActionItems("Removing Empty Directories:"));
  EXPECT_EQ(std::vector<std::string>{"C:\\APP\\TREE"}, ActionItems("Removing Directory:"));
}

// A removed file's folder that is a link stays, with its target: only real folders of the
// application go when emptied.
TEST_F(UninstallDriverTest, EmptiedFolderThatIsALinkStays) {
  machine->MakeDirectories("C:\\REAL");
  machine->MakeDirectories("C:\\APP");
  ASSERT_EQ(machine->MakeJunction("C:\\APP\\DATA", "C:\\REAL"), 0);
  AddPrivate("C:\\APP\\DATA\\X.DAT");
  AddPrivate("C:\\APP\\SUB\\Y.DAT");
  UninstallDriver(kLog);
  FinishUninstall(kLog);
  EXPECT_FALSE(machine->FileExists("C:\\REAL\\X.DAT"));
  EXPECT_TRUE(machine->DirectoryExists("C:\\APP\\DATA"));
  EXPECT_TRUE(machine->DirectoryExists("C:\\REAL"));
  EXPECT_FALSE(machine->DirectoryExists("C:\\APP\\SUB"));
}

// Between two lines the display shows, the driver builds no line, yet the work and the bar
// go on.
TEST_F(UninstallDriverTest, LinesTheDisplayWouldNotShowAreNotBuilt) {
  AddPrivate("C:\\APP\\A.EXE");
  AddPrivate("C:\\APP\\B.EXE");
  // The clock stands still just after a line was shown.
  machine->tickStep = 0;
  ShowAction("\r\nshown a moment ago");
  ui->actionLines.clear();
  UninstallDriver(kLog);
  FinishUninstall(kLog);
  EXPECT_TRUE(ActionLabels().empty());
  EXPECT_FALSE(machine->FileExists("C:\\APP\\A.EXE"));
  EXPECT_FALSE(machine->FileExists("C:\\APP\\B.EXE"));
  EXPECT_EQ(gRun.progressPosition, 2);
  EXPECT_GE(ui->progressBarInvalidations, 2);
}

// Rollback of the only section: everything of that section, backups put back, the log
// deleted, per-user clean-up and repair record handled as for a whole uninstall.
TEST_F(UninstallDriverTest, RollbackOfTheOnlySection) {
  gRun.rollbackChosen = true;
  gStore.sectionCount = 1;
  gStore.lastSectionOffset = 0;
  machine->RegSetRaw(kRepairKey, "Source", kRegSz, RegStringBytes("x"));
  FileItem* replaced = AddPrivate("C:\\APP\\CORE.DLL", 1);
  replaced->removeByDefault = 0;
  replaced->backupPath.Set("C:\\APP\\BACKUP\\CORE.DLL");
  machine->WriteFile("C:\\APP\\BACKUP\\CORE.DLL", "old core");
  AddBackupItem(gStore.DeletedFiles, "C:\\APP\\GONE.TXT", "C:\\APP\\BACKUP\\GONE.TXT", 1);
  machine->WriteFile("C:\\APP\\BACKUP\\GONE.TXT", "deleted text");
  AddBackupItem(gStore.EditedFiles, "C:\\AUTOEXEC.BAT", "C:\\APP\\BACKUP\\AUTOEXEC.BAT", 1);
  machine->WriteFile("C:\\AUTOEXEC.BAT", "edited");
  machine->WriteFile("C:\\APP\\BACKUP\\AUTOEXEC.BAT", "original");

  UninstallDriver(kLog);

  FinishUninstall(kLog);

  EXPECT_EQ("old core", machine->FileContents("C:\\APP\\CORE.DLL"));
  EXPECT_EQ("deleted text", machine->FileContents("C:\\APP\\GONE.TXT"));
  EXPECT_EQ("original", machine->FileContents("C:\\AUTOEXEC.BAT"));
  EXPECT_FALSE(machine->FileExists(kLog));
  EXPECT_FALSE(machine->RegKeyExists(kRepairKey));
}

// Rollback with three sections: only section 3 is undone, the log is cut back to the
// start of its last section, and the repair record stays for the remaining installation.
TEST_F(UninstallDriverTest, RollbackOfTheLastOfSeveralSections) {
  const std::string log =
      "*** Installation Started\r\nFile Copy: C:\\APP\\A.EXE\r\n"
      "*** Installation Started\r\nFile Copy: C:\\APP\\B.EXE\r\n";
  const std::string last = "*** Installation Started\r\nFile Copy: C:\\APP\\C.EXE\r\n";
  machine->WriteFile(kLog, log + last);
  gRun.rollbackChosen = true;
  gStore.sectionCount = 3;
  gStore.lastSectionOffset = static_cast<int32_t>(log.size());
  machine->RegSetRaw(kRepairKey, "Source", kRegSz, RegStringBytes("x"));
  AddPrivate("C:\\APP\\A.EXE", 1);
  AddPrivate("C:\\APP\\B.EXE", 2);
  AddPrivate("C:\\APP\\C.EXE", 3);
  FileItem* upgraded = AddPrivate("C:\\APP\\CORE.DLL", 3);
  upgraded->removeByDefault = 0;
  upgraded->backupPath.Set("C:\\APP\\BACKUP\\CORE.DLL");
  machine->WriteFile("C:\\APP\\BACKUP\\CORE.DLL", "core of section 2");
  AddBackupItem(gStore.DeletedFiles, "C:\\APP\\OLD1.TXT", "C:\\APP\\BACKUP\\OLD1.TXT", 2);
  machine->WriteFile("C:\\APP\\BACKUP\\OLD1.TXT", "x");
  AddRegKey("Software\\Sample\\S2", "v", 2);
  AddRegKey("Software\\Sample\\S3", "v", 3);
  machine->RegSetRaw("HKLM\\Software\\Sample", "Color", kRegSz, RegStringBytes("green"));
  AddRegEdit("Software\\Sample", "Color", "red", "blue", 3);
  machine->WriteFile("C:\\WINDOWS\\WIN.INI", "[Sample]\r\nMode=three\r\n");
  AddIniEdit("C:\\WINDOWS\\WIN.INI", "Sample", "Mode", "one", "two", 3);
  AddIcon("Sample", "Old", "C:\\APP\\A.EXE", 1);

  UninstallDriver(kLog);

  FinishUninstall(kLog);

  EXPECT_EQ(3, MinimumSection());
  EXPECT_TRUE(machine->FileExists("C:\\APP\\A.EXE"));
  EXPECT_TRUE(machine->FileExists("C:\\APP\\B.EXE"));
  EXPECT_FALSE(machine->FileExists("C:\\APP\\C.EXE"));
  EXPECT_EQ("core of section 2", machine->FileContents("C:\\APP\\CORE.DLL"));
  EXPECT_FALSE(machine->FileExists("C:\\APP\\OLD1.TXT"));  // section 2's deletion stays
  EXPECT_TRUE(machine->RegKeyExists("HKLM\\Software\\Sample\\S2"));
  EXPECT_FALSE(machine->RegKeyExists("HKLM\\Software\\Sample\\S3"));
  EXPECT_EQ("blue", machine->RegString("HKLM\\Software\\Sample", "Color"));
  char mode[16] = {};
  machine->ReadIniString("Sample", "Mode", "", mode, sizeof mode, "C:\\WINDOWS\\WIN.INI");
  EXPECT_STREQ("two", mode);
  EXPECT_TRUE(ActionItems("Removing Icon:").empty());
  EXPECT_TRUE(machine->ddeRequests.empty()) << "no icon passed, so no conversation";
  EXPECT_EQ(log, machine->FileContents(kLog));
  EXPECT_TRUE(machine->RegKeyExists(kRepairKey));
}

// A rollback leaves the machine as the earlier installations left it: whatever section 1
// logged too stays (each kind of record once), unless section 2 kept a backup to put back;
// what only section 2 brought goes.
TEST_F(UninstallDriverTest, RollbackKeepsWhatAnEarlierSectionAlsoLogged) {
  gRun.rollbackChosen = true;
  gStore.sectionCount = 2;
  gStore.lastSectionOffset = 40;
  machine->WriteFile(kLog, std::string(40, 'x') + "*** Installation Started\r\n");
  auto relogged = [](auto* item) {
    item->firstSection = 1;
    return item;
  };
  relogged(AddPrivate("C:\\APP\\MAIN.EXE", 2));
  FileItem* core = relogged(AddPrivate("C:\\APP\\CORE.DLL", 2));
  core->removeByDefault = 0;
  core->backupPath.Set("C:\\APP\\BACKUP\\CORE.DLL");
  machine->WriteFile("C:\\APP\\BACKUP\\CORE.DLL", "core of section 1");
  AddPrivate("C:\\APP\\PLUGIN.DLL", 2);
  relogged(AddRegKey("Software\\Sample", "Installed", 2));
  AddRegKey("Software\\Sample", "Upgraded", 2);
  relogged(AddRegTree("Software\\Sample\\Tree", 2));
  relogged(AddService("SampleSvc", 2));
  relogged(AddIniFile("C:\\WINDOWS\\SAMPLE.INI", 2));
  relogged(AddDirectory("C:\\APP\\DOCS\\", 2, 2));
  machine->WriteFile("C:\\APP\\DOCS\\GUIDE.TXT", "x");
  relogged(AddProgram("C:\\APP\\MAIN.EXE /cleanup", "", 2));
  gStore.subSystemName = ArenaCopy("Database Engine");
  gStore.subSystemFirstSection = 1;
  gStore.subSystemSection = 2;
  machine->RegSetRaw("HKLM\\Software\\Borland\\Database Engine", "UseCount", kRegSz,
                     RegStringBytes("3"));

  UninstallDriver(kLog);

  FinishUninstall(kLog);

  EXPECT_TRUE(machine->FileExists("C:\\APP\\MAIN.EXE"));
  EXPECT_EQ("core of section 1", machine->FileContents("C:\\APP\\CORE.DLL"));
  EXPECT_FALSE(machine->FileExists("C:\\APP\\PLUGIN.DLL"));
  EXPECT_EQ("x", machine->RegString("HKLM\\Software\\Sample", "Installed"));
  EXPECT_FALSE(machine->RegValue("HKLM\\Software\\Sample", "Upgraded", nullptr, nullptr));
  EXPECT_TRUE(machine->RegKeyExists("HKLM\\Software\\Sample\\Tree\\Sub"));
  EXPECT_FALSE(ServiceGone(machine, "SAMPLESVC"));
  EXPECT_TRUE(machine->FileExists("C:\\WINDOWS\\SAMPLE.INI"));
  EXPECT_TRUE(machine->FileExists("C:\\APP\\DOCS\\GUIDE.TXT"));
  EXPECT_EQ(0, Starts(SimProcessStart::kCreateProcess));
  EXPECT_EQ("3", machine->RegString("HKLM\\Software\\Borland\\Database Engine", "UseCount"));
  // Only what section 2 brought shows as removed.
  EXPECT_EQ((std::vector<std::string>{
                "Removing File:", "Removing File:", "Removing Registration Database Key:"}),
            ActionLabels());
}

// Cancel at each stage: the item under way finishes, nothing later is touched, and the
// log, the per-user clean-up and the repair record are left alone.
TEST_F(UninstallDriverTest, CancelStopsEveryLaterPass) {
  // The stages in pass order; SECOND.EXE is a second private file after MAIN.EXE.
  const char* kStages[] = {"Executing External Program:",
                           "Deleting Service:",
                           "Removing INI File:",
                           "Editing INI File:",
                           "Removing File:",
                           "Removing System File:",
                           "Removing Directory:",
                           "Editing Registration Database Key:",
                           "Removing Registration Database Key:",
                           "Removing Registration Database Key Sub-Tree:",
                           "Removing Icon:"};
  const int kFileStage = 4;
  for (int i = 0; i < static_cast<int>(sizeof kStages / sizeof kStages[0]); ++i) {
    const std::string stage = kStages[i];
    SCOPED_TRACE(stage);
    TearDown();
    SetUp();
    AddOneOfEach();
    gStore.perUserId = ArenaCopy("{user}");
    machine->RegSetRaw("HKLM\\Software\\Tarn Solutions\\TamUser", "Path", kRegSz,
                       RegStringBytes("C:\\WINDOWS\\TAMUSER.EXE"));
    machine->RegSetRaw(kRepairKey, "Source", kRegSz, RegStringBytes("x"));
    AddPrivate("C:\\APP\\SECOND.EXE");
    CancelAt(stage);

    UninstallDriver(kLog);

    FinishUninstall(kLog);

    EXPECT_TRUE(gRun.cancelled);
    // One line per stage up to the cancelled one, plus SECOND.EXE's once its pass is over.
    size_t expectedLines = static_cast<size_t>(i + 1 + (i > kFileStage ? 1 : 0));
    EXPECT_EQ(expectedLines, ActionLabels().size());
    EXPECT_EQ(stage, ActionLabels().back());
    // The log stays until the work it describes is done, and with it the journal.
    EXPECT_TRUE(machine->FileExists(kLog));
    EXPECT_TRUE(machine->RegKeyExists(kRepairKey));
    EXPECT_EQ(0, Starts(SimProcessStart::kWinExec));
    EXPECT_EQ(i <= kFileStage, machine->FileExists("C:\\APP\\SECOND.EXE"));
  }
}

// The database engine's question answered Abort: services already deleted stay deleted,
// nothing after the step is touched, the log stays; cancelled is not set.
TEST_F(UninstallDriverTest, SubSystemAbortEndsTheRun) {
  AddService("SampleSvc");
  AddPrivate("C:\\APP\\MAIN.EXE");
  gStore.subSystemName = ArenaCopy("Database Engine");
  gStore.subSystemFirstSection = gStore.subSystemSection = 1;
  machine->RegSetRaw("HKLM\\Software\\Borland\\Database Engine", "UseCount", kRegSz,
                     RegStringBytes("1"));
  machine->topWindowClasses.push_back("IB_Server");
  ui->AnswerMessage(kIdAbort);

  UninstallDriver(kLog);

  FinishUninstall(kLog);

  EXPECT_FALSE(gRun.cancelled);
  EXPECT_TRUE(ServiceGone(machine, "SAMPLESVC"));
  EXPECT_TRUE(machine->FileExists("C:\\APP\\MAIN.EXE"));
  EXPECT_TRUE(machine->FileExists(kLog));
  EXPECT_EQ((std::vector<std::string>{"Deleting Service:", "Removing Sub-System:"}),
            ActionLabels());
  EXPECT_TRUE(machine->RegKeyExists("HKLM\\Software\\Borland\\Database Engine"));
}

// The engine release's gates, one table: the method and the selection, and in a rollback a
// section gate of its own (released only when the last section was the one to name it).
TEST_F(UninstallDriverTest, EngineReleaseFollowsMethodSelectionAndSections) {
  struct Case {
    bool rollback;
    int mode, selected;
    uint16_t first, last;
    bool released;
  };
  const Case kCases[] = {
      {false, kModeAutomatic, 0, 1, 1, true}, {false, kModeCustom, 0, 1, 1, false},
      {false, kModeCustom, 1, 1, 1, true},    {true, kModeAutomatic, 0, 1, 1, false},
      {true, kModeAutomatic, 0, 1, 2, false}, {true, kModeAutomatic, 0, 2, 2, true}};
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    gRun.rollbackChosen = c.rollback;
    gRun.uninstallMode = c.mode;
    if (c.rollback) gStore.sectionCount = 2;
    gStore.subSystemName = ArenaCopy("Database Engine");
    gStore.subSystemFirstSection = c.first;
    gStore.subSystemSection = c.last;
    gStore.subSystemSelected = c.selected;
    machine->RegSetRaw("HKLM\\Software\\Borland\\Database Engine", "UseCount", kRegSz,
                       RegStringBytes("3"));
    UninstallDriver(kLog);
    FinishUninstall(kLog);
    EXPECT_EQ(c.released ? "2" : "3",
              machine->RegString("HKLM\\Software\\Borland\\Database Engine", "UseCount"))
        << "rollback " << c.rollback << " mode " << c.mode << " selected " << c.selected
        << " sections " << c.first << " to " << c.last;
  }
}

// Action lines: plain, fitted to the control, capped at 45 characters and "...".
TEST_F(UninstallDriverTest, ActionLineForms) {
  const std::string key60 = "Software\\" + std::string(51, 'K');
  const std::string key48 = "Software\\" + std::string(39, 'L');
  const std::string key49 = "Software\\" + std::string(40, 'M');
  AddRegKey(key60, "v");
  AddRegKey(key48, "v");
  AddRegKey(key49, "v");
  const std::string longPath =
      "C:\\PROGRAMS\\" + std::string(100, 'D') + "\\" + std::string(100, 'E') + "\\FILE.TXT";
  AddPrivate(longPath);
  const std::string title = std::string(120, 'T');
  AddIcon("G", title, "C:\\X.EXE");
  ui->actionControlWidth = 400;

  UninstallDriver(kLog);

  FinishUninstall(kLog);

  std::vector<std::string> keys = ActionItems("Removing Registration Database Key:");
  ASSERT_EQ(3u, keys.size());  // from the last to the first
  EXPECT_EQ(key49.substr(0, 45) + "...", keys[0]);
  EXPECT_EQ(key48, keys[1]);
  EXPECT_EQ(key60.substr(0, 45) + "...", keys[2]);
  EXPECT_EQ(48u, keys[2].size());

  std::vector<std::string> files = ActionItems("Removing File:");
  ASSERT_EQ(1u, files.size());
  EXPECT_LT(files[0].size(), longPath.size());
  // The components after the drive give way to "..." first.
  EXPECT_EQ(0u, files[0].find("C:\\...\\")) << files[0];
  EXPECT_LT(ui->MeasureActionText(files[0].c_str()), ui->actionControlWidth);

  // Plain: the icon title is shown whole however long it is.
  EXPECT_EQ(std::vector<std::string>{title}, ActionItems("Removing Icon:"));
}

struct SplitCase {
  const char* command;
  std::vector<const char*> existing;
  const char* program;
  const char* arguments;
};

TEST_F(UninstallDriverTest, ProgramCommandSplit) {
  const SplitCase kCases[] = {
      {"C:\\APP\\UNINST.EXE /X", {"C:\\APP\\UNINST.EXE"}, "C:\\APP\\UNINST.EXE", "/X"},
      {"C:\\APP\\UNINST.EXE", {"C:\\APP\\UNINST.EXE"}, "C:\\APP\\UNINST.EXE", "Automatic"},
      {"C:\\APP\\RUN.EXE a b c", {"C:\\APP\\RUN.EXE"}, "C:\\APP\\RUN.EXE", "a b c"},
      // The longest existing prefix wins: "RUN A.EXE" exists as a file of its own.
      {"C:\\APP\\RUN A.EXE x", {"C:\\APP\\RUN A.EXE", "C:\\APP\\RUN"}, "C:\\APP\\RUN A.EXE", "x"},
      {"C:\\APP\\MISSING.EXE /Q", {}, "C:\\APP\\MISSING.EXE /Q", "Automatic"},
      // A blank at the first character is never a cut.
      {" X", {}, " X", "Automatic"},
      {"", {}, "", "Automatic"},
  };
  for (const SplitCase& c : kCases) {
    TearDown();
    SetUp();
    for (const char* path : c.existing) machine->WriteFile(path, "MZ");
    char program[260];
    char arguments[260];
    SplitProgramCommand(c.command, "Automatic", program, arguments, sizeof program);
    EXPECT_STREQ(c.program, program) << c.command;
    EXPECT_STREQ(c.arguments, arguments) << c.command;
  }
}

TEST_F(UninstallDriverTest, ProgramsRunWithTheMethodWordAndWait) {
  struct Case {
    int mode;
    const char* logged;
    const char* expected;
  };
  const Case kCases[] = {
      {kModeAutomatic, "C:\\APP\\UNINST.EXE /X", "\"C:\\APP\\UNINST.EXE\" /X"},
      {kModeAutomatic, "C:\\APP\\UNINST.EXE", "\"C:\\APP\\UNINST.EXE\" Automatic"},
      {kModeCustom, "C:\\APP\\UNINST.EXE", "\"C:\\APP\\UNINST.EXE\" Custom"},
  };
  for (const Case& c : kCases) {
    TearDown();
    SetUp();
    gRun.uninstallMode = c.mode;
    machine->WriteFile("C:\\APP\\UNINST.EXE", "MZ");
    ProgramItem* item = AddProgram(c.logged);
    item->selected = 1;
    AddProgram("C:\\APP\\UNINST.EXE /unselected")->selected = 0;
    UninstallDriver(kLog);
    FinishUninstall(kLog);
    size_t expectedStarts = c.mode == kModeCustom ? 1u : 2u;
    ASSERT_EQ(expectedStarts, machine->processes.size()) << c.logged;
    EXPECT_EQ(c.expected, machine->processes[0].commandLine);
    EXPECT_TRUE(machine->processes[0].wait);
    // Without a display name the command is shown.
    EXPECT_EQ(c.logged, ActionItems("Executing External Program:")[0]);
  }
}

// A command whose directory holds a blank is brought to its short form first, so the
// blank in the directory name is not taken for the start of the arguments.
TEST_F(UninstallDriverTest, ProgramInALongDirectoryIsFoundThroughItsShortForm) {
  machine->WriteFile("C:\\Program Files\\Sample App\\CLEAN.EXE", "MZ");
  ProgramItem* item = AddProgram("C:\\Program Files\\Sample App\\CLEAN.EXE -all", "Cleaner");
  UninstallDriver(kLog);
  FinishUninstall(kLog);
  ASSERT_EQ(1u, machine->processes.size());
  const std::string& line = machine->processes[0].commandLine;
  EXPECT_EQ(std::string::npos, line.find("Program Files")) << line;
  EXPECT_EQ(0u, line.find("\"C:\\PROGRA")) << line;
  EXPECT_EQ("\" -all", line.substr(line.size() - 6)) << line;
  // The short form is kept in the record.
  EXPECT_EQ(0u, std::string(item->command.c_str()).find("C:\\PROGRA"));
  EXPECT_EQ(std::vector<std::string>{"Cleaner"}, ActionItems("Executing External Program:"));
}

// Per-user clean-up and repair record: only a run that ends the whole application.
TEST_F(UninstallDriverTest, PerUserCleanupAndRepairRecordConditions) {
  struct Case {
    const char* name;
    int mode;
    bool rollback;
    int32_t lastSectionOffset;
    bool hasId;
    bool hasProgram;
    bool started;
    bool recordRemoved;
  };
  const Case kCases[] = {
      {"automatic", kModeAutomatic, false, 0, true, true, true, true},
      {"automatic, several sections", kModeAutomatic, false, 80, true, true, true, true},
      {"custom", kModeCustom, false, 0, true, true, false, false},
      {"custom with /R", kModeCustom, true, 0, true, true, false, false},
      {"rollback of the only section", kModeAutomatic, true, 0, true, true, true, true},
      {"rollback of the last section", kModeAutomatic, true, 80, true, true, false, false},
      {"no per-user id", kModeAutomatic, false, 0, false, true, false, true},
      {"no clean-up program", kModeAutomatic, false, 0, true, false, false, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    gRun.uninstallMode = c.mode;
    gRun.rollbackChosen = c.rollback;
    gStore.sectionCount = c.lastSectionOffset ? 2 : 1;
    gStore.lastSectionOffset = c.lastSectionOffset;
    if (c.hasId) gStore.perUserId = ArenaCopy("{1234-ABCD}");
    if (c.hasProgram) {
      machine->WriteFile("C:\\Program Files\\Tarn\\TamUser Cleanup.exe", "MZ");
      machine->RegSetRaw("HKLM\\Software\\Tarn Solutions\\TamUser", "Path", kRegSz,
                         RegStringBytes("C:\\Program Files\\Tarn\\TamUser Cleanup.exe"));
    }
    machine->RegSetRaw(kRepairKey, "Source", kRegSz, RegStringBytes("x"));
    machine->RegSetRaw(
        "HKLM\\Software\\Tarn Solutions\\Tarn Installation System\\Repair\\C:/OTHER/INSTALL.LOG",
        "Source", kRegSz, RegStringBytes("x"));

    UninstallDriver(kLog);

    FinishUninstall(kLog);

    ASSERT_EQ(c.started ? 1 : 0, Starts(SimProcessStart::kWinExec));
    if (c.started) {
      const SimProcessStart& start = machine->processes.back();
      EXPECT_EQ(kSwShow, start.showState);
      EXPECT_FALSE(start.wait);
      const std::string& line = start.commandLine;
      EXPECT_EQ(std::string::npos, line.find("Program Files")) << "short form: " << line;
      EXPECT_EQ(" /U \"{1234-ABCD}\"", line.substr(line.find(" /U"))) << line;
    }
    EXPECT_EQ(!c.recordRemoved, machine->RegKeyExists(kRepairKey));
    EXPECT_TRUE(machine->RegKeyExists(
        "HKLM\\Software\\Tarn Solutions\\Tarn Installation System\\Repair\\C:/OTHER/INSTALL.LOG"));
  }
}

// The repair record is named by the log's long path; a log named in short form (as a
// quoted command line leaves it) still finds the record, although the log and its
// directory are gone by the time the record is removed.
TEST_F(UninstallDriverTest, RepairRecordFoundFromAShortLogPath) {
  const std::string longLog = "C:\\Program Files\\Sample App\\INSTALL.LOG";
  machine->WriteFile(longLog, "*** Installation Started\r\n");
  char shortLog[256];
  CopyText(shortLog, sizeof shortLog, longLog.c_str());
  NormalizePath(shortLog, sizeof shortLog, false);
  ASSERT_EQ(std::string::npos, std::string(shortLog).find(' '));
  const std::string record =
      "HKLM\\Software\\Tarn Solutions\\Tarn Installation System\\Repair\\"
      "C:/Program Files/Sample App/INSTALL.LOG";
  machine->RegSetRaw(record, "Source", kRegSz, RegStringBytes("x"));
  AddDirectory(std::string(shortLog).substr(0, std::string(shortLog).rfind('\\') + 1),
               kLogDirectorySection, 0);

  UninstallDriver(shortLog);

  FinishUninstall(shortLog);

  EXPECT_FALSE(machine->FileExists(longLog));
  EXPECT_FALSE(machine->DirectoryExists("C:\\Program Files\\Sample App"));
  EXPECT_FALSE(machine->RegKeyExists(record));
}

// Files under the profile folders are removed, their directories are not; other files'
// directories go when they are left empty.
TEST_F(UninstallDriverTest, ProfileDirectoriesStay) {
  gStore.profilesRoot.Set("C:\\WINDOWS\\Profiles");
  gStore.commonProfileRoot.Set("C:\\WINDOWS\\All Users");
  AddPrivate("c:\\windows\\profiles\\ann\\start menu\\sample\\readme.lnk");
  AddPrivate("C:\\WINDOWS\\All Users\\Desktop\\Sample\\Sample.lnk");
  AddPrivate("C:\\APP\\BIN\\ONLY.EXE");
  AddPrivate("C:\\APP\\LIB\\ONE.DLL");
  machine->WriteFile("C:\\APP\\LIB\\OTHER.DLL", "x");
  UninstallDriver(kLog);
  FinishUninstall(kLog);
  EXPECT_FALSE(machine->FileExists("c:\\windows\\profiles\\ann\\start menu\\sample\\readme.lnk"));
  EXPECT_TRUE(machine->DirectoryExists("C:\\WINDOWS\\Profiles\\Ann\\Start Menu\\Sample"));
  EXPECT_TRUE(machine->DirectoryExists("C:\\WINDOWS\\All Users\\Desktop\\Sample"));
  EXPECT_FALSE(machine->DirectoryExists("C:\\APP\\BIN"));
  EXPECT_TRUE(machine->DirectoryExists("C:\\APP\\LIB"));
}

// Shared counts: a private file still used by another application stays with its
// registration and device lines; a system file whose count reaches 0 goes when the user
// agrees, and one without a count stays.
TEST_F(UninstallDriverTest, SharedFilesFollowTheirCounts) {
  const char kShared[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
  FileItem* still = AddPrivate("C:\\APP\\SHARED.DLL");
  still->counterSection = 1;
  still->counterCount = 1;
  still->deviceSection = 1;
  machine->RegSetRaw(kShared, "C:\\APP\\SHARED.DLL", kRegDword, RegDwordBytes(3));
  machine->WriteFile("C:\\WINDOWS\\SYSTEM.INI",
                     "[386Enh]\r\ndevice=C:\\APP\\SHARED.DLL\r\ndevice=C:\\APP\\VXD.386\r\n");
  FileItem* device = AddPrivate("C:\\APP\\VXD.386");
  device->deviceSection = 1;

  FileItem* last = AddFile(gStore.SystemFiles, "C:\\WINDOWS\\SYSTEM32\\LAST.DLL");
  last->counterSection = 1;
  last->counterCount = 1;
  machine->RegSetRaw(kShared, "C:\\WINDOWS\\SYSTEM32\\LAST.DLL", kRegDword, RegDwordBytes(1));
  FileItem* uncounted = AddFile(gStore.SystemFiles, "C:\\WINDOWS\\SYSTEM32\\PLAIN.DLL");
  ui->AnswerShared(1005);  // Yes

  UninstallDriver(kLog);

  FinishUninstall(kLog);

  EXPECT_TRUE(machine->FileExists("C:\\APP\\SHARED.DLL"));
  EXPECT_TRUE(still->path.Empty());
  EXPECT_FALSE(machine->FileExists("C:\\APP\\VXD.386"));
  std::string ini = machine->FileContents("C:\\WINDOWS\\SYSTEM.INI");
  EXPECT_NE(std::string::npos, ini.find("\ndevice=C:\\APP\\SHARED.DLL")) << ini;
  EXPECT_NE(std::string::npos, ini.find("\n;device=C:\\APP\\VXD.386")) << ini;
  EXPECT_EQ(1, last->selected);
  EXPECT_FALSE(machine->FileExists("C:\\WINDOWS\\SYSTEM32\\LAST.DLL"));
  EXPECT_TRUE(machine->FileExists("C:\\WINDOWS\\SYSTEM32\\PLAIN.DLL"));
  EXPECT_EQ(0, uncounted->selected);
}

// INI entries: the old value back, an empty old value deletes the entry, a missing file
// is not created; the file is named on the action line.
TEST_F(UninstallDriverTest, IniEditsPutOldValuesBack) {
  machine->WriteFile("C:\\WINDOWS\\APP.INI", "[Main]\r\nA=new\r\nB=added\r\n");
  AddIniEdit("C:\\WINDOWS\\APP.INI", "Main", "A", "old", "old");
  AddIniEdit("C:\\WINDOWS\\APP.INI", "Main", "B", "", "");
  AddIniEdit("C:\\WINDOWS\\GONE.INI", "Main", "C", "old", "old");
  UninstallDriver(kLog);
  FinishUninstall(kLog);
  char value[16];
  machine->ReadIniString("Main", "A", "", value, sizeof value, "C:\\WINDOWS\\APP.INI");
  EXPECT_STREQ("old", value);
  machine->ReadIniString("Main", "B", "(none)", value, sizeof value, "C:\\WINDOWS\\APP.INI");
  EXPECT_STREQ("(none)", value);
  EXPECT_FALSE(machine->FileExists("C:\\WINDOWS\\GONE.INI"));
  // The same line twice is shown once (the control is only set when the text differs).
  EXPECT_EQ(std::vector<std::string>{"C:\\WINDOWS\\APP.INI"}, ActionItems("Editing INI File:"));
}

// A changed value whose key has gone since is not made again.
TEST_F(UninstallDriverTest, RegEditDoesNotRecreateAMissingKey) {
  AddRegEdit("Software\\Vanished", "Color", "red", "red");
  UninstallDriver(kLog);
  FinishUninstall(kLog);
  EXPECT_FALSE(machine->RegKeyExists("HKLM\\Software\\Vanished"));
}

// A file in use is scheduled for deletion at restart: a delay-until-reboot move on the NT
// family, a WININIT.INI line elsewhere; either way a restart is needed.
TEST_F(UninstallDriverTest, InUseFilesOnBothPlatformKinds) {
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt ? "NT family" : "other");
    TearDown();
    SetUp();
    machine->settings.ntFamily = nt;
    gRun.platformKind = nt ? kPlatformNt : kPlatformOther;
    gStore.deleteInUse = true;
    AddPrivate("C:\\APP\\BUSY.DLL");
    machine->SetInUse("C:\\APP\\BUSY.DLL", true);
    UninstallDriver(kLog);
    FinishUninstall(kLog);
    EXPECT_TRUE(gRun.rebootNeeded);
    EXPECT_TRUE(machine->FileExists("C:\\APP\\BUSY.DLL"));
    EXPECT_EQ(!nt, machine->FileExists("C:\\WINDOWS\\WININIT.INI"));
    machine->SimulateRestart();
    EXPECT_FALSE(machine->FileExists("C:\\APP\\BUSY.DLL"));
  }
}

// Icons: the conversation opens only for an icon that passes, and is closed after.
TEST_F(UninstallDriverTest, IconsRemovedOverOneConversation) {
  machine->groups.push_back({"Sample",
                             "C:\\WINDOWS\\SAMPLE.GRP",
                             {{"Main", "C:\\APP\\MAIN.EXE"}, {"Help", "C:\\APP\\HELP.HLP"}}});
  gRun.uninstallMode = kModeCustom;
  AddIcon("Sample", "Main", "C:\\APP\\MAIN.EXE")->selected = 1;
  AddIcon("Sample", "Help", "C:\\APP\\HELP.HLP")->selected = 0;
  UninstallDriver(kLog);
  FinishUninstall(kLog);
  EXPECT_EQ(std::vector<std::string>{"Main"}, ActionItems("Removing Icon:"));
  EXPECT_FALSE(machine->ddeRequests.empty());
  EXPECT_FALSE(gProgman.started);
  ASSERT_EQ(1u, machine->groups.size());
  EXPECT_EQ(1u, machine->groups[0].items.size());
}

}  // namespace
