// Whole uninstall runs on the simulated machine: a silent automatic uninstall, a silent
// rollback of the last section, the restart decisions on both platform kinds, the wizard
// finished, cancelled or missing, the System Restore bracket, and the status report.
#include <cstdio>
#include <string>
#include <vector>

#include "base/path_helpers.h"
#include "repair/crc32.h"
#include "scenario_fixture.h"

namespace {

// A small application in C:\APP: its own uninstaller beside it, a file that is in use, a
// file tree, a registry value and key, a changed INI entry, a status report name.
std::string Image(const char* kind) {
  return std::string(R"({
  "platform": {"kind": ")") +
         kind + R"(",
               "windowsDirectory": "C:\\WINDOWS", "tempDirectory": "C:\\TEMP\\",
               "modulePath": "C:\\APP\\UNTARN32.EXE", "currentDirectory": "C:\\APP"},
  "directories": ["C:\\TEMP", "C:\\APP\\BACKUP"],
  "files": [
    {"path": "C:\\APP\\UNTARN32.EXE", "text": "MZ uninstaller"},
    {"path": "C:\\APP\\MAIN.EXE", "text": "MZ main 2"},
    {"path": "C:\\APP\\HELP.TXT", "text": "help"},
    {"path": "C:\\APP\\BUSY.DLL", "text": "MZ busy", "inUse": true},
    {"path": "C:\\APP\\PLUGIN.DLL", "text": "MZ plugin"},
    {"path": "C:\\APP\\BACKUP\\MAIN.EXE", "text": "MZ main 1"},
    {"path": "C:\\APP\\DATA\\SUB\\X.DAT", "text": "x"},
    {"path": "C:\\WINDOWS\\SAMPLE.INI", "text": "[Options]\r\nLevel=9\r\n"}
  ],
  "registry": {
    "HKLM\\Software\\Sample": {"Installed": "1", "Upgraded": "2", "Color": "green"},
    "HKLM\\Software\\Tarn Solutions\\Tarn Installation System\\Repair\\C:/APP/INSTALL.LOG": {"Source": "D:\\SETUP.EXE"}
  }
})";
}

const char kSectionOne[] =
    "***  Installation Started\r\n"
    "Title: Sample Application\r\n"
    "Uninstall MIF: SAMPLE.MIF\r\n"
    "Manufacturer: Tarn\r\n"
    "Product: Sample\r\n"
    "Version Number: 1.0\r\n"
    "Serial Number: 42\r\n"
    "Delete in-use files: On\r\n"
    "Made Dir: C:\\APP\r\n"
    "File Copy: C:\\APP\\UNTARN32.EXE\r\n"
    "File Copy: C:\\APP\\MAIN.EXE\r\n"
    "File Copy: C:\\APP\\HELP.TXT\r\n"
    "File Copy: C:\\APP\\BUSY.DLL\r\n"
    "File Tree: C:\\APP\\DATA\r\n"
    "INI File: C:\\WINDOWS\\SAMPLE.INI\r\n"
    "INI Sect: Options\r\n"
    "INI Item: Level\r\n"
    "INI Val: 9\r\n"
    "INI Old: 3\r\n"
    "RegDB Key: Software\\Sample\r\n"
    "RegDB Val: 1\r\n"
    "RegDB Name: Installed\r\n"
    "RegDB Root: 2\r\n";

const char kSectionTwo[] =
    "***  Installation Started\r\n"
    "File Overwrite: C:\\APP\\MAIN.EXE\r\n"
    "Backup Copy: C:\\APP\\BACKUP\\MAIN.EXE\r\n"
    "File Copy: C:\\APP\\PLUGIN.DLL\r\n"
    "RegDB Key: Software\\Sample\r\n"
    "RegDB Val: 2\r\n"
    "RegDB Name: Upgraded\r\n"
    "RegDB Root: 2\r\n"
    "RegDB Key: Software\\Sample\r\n"
    "RegDB Val: green\r\n"
    "RegDB Name: Color\r\n"
    "RegDB Root: 2\r\n"
    "RegDB Old: red\r\n";

const char kLog[] = "C:\\APP\\INSTALL.LOG";
const char kRepairKey[] =
    "HKLM\\Software\\Tarn Solutions\\Tarn Installation System\\Repair\\C:/APP/INSTALL.LOG";
const char kMif[] = "C:\\WINDOWS\\SAMPLE.MIF";

class UninstallScenario : public ScenarioTest {
 protected:
  void Prepare(const char* kind, const std::string& log) {
    LoadImage(Image(kind));
    machine->WriteFile(kLog, log);
  }
  std::string IniValue(const char* key) {
    char value[32] = {};
    machine->ReadIniString("Options", key, "(none)", value, sizeof value,
                           "C:\\WINDOWS\\SAMPLE.INI");
    return value;
  }
};

TEST_F(UninstallScenario, SilentAutomaticUninstall) {
  Prepare("nt", kSectionOne);
  Run("/S C:\\APP\\INSTALL.LOG");

  EXPECT_TRUE(sim->transcript.empty()) << "a silent run asks nothing";
  EXPECT_FALSE(machine->FileExists("C:\\APP\\MAIN.EXE"));
  EXPECT_FALSE(machine->FileExists("C:\\APP\\HELP.TXT"));
  EXPECT_FALSE(machine->DirectoryExists("C:\\APP\\DATA"));
  EXPECT_FALSE(machine->FileExists(kLog));
  EXPECT_EQ("3", IniValue("Level"));
  EXPECT_EQ("", machine->RegString("HKLM\\Software\\Sample", "Installed"));
  EXPECT_EQ("2", machine->RegString("HKLM\\Software\\Sample", "Upgraded"));
  EXPECT_FALSE(machine->RegKeyExists(kRepairKey));
  EXPECT_EQ(1, machine->settingsBroadcasts);

  // The in-use file goes at the restart; the restart is left to the clean-up run, which
  // removes the program's own file after this process has ended.
  EXPECT_TRUE(machine->FileExists("C:\\APP\\BUSY.DLL"));
  EXPECT_EQ(1, CleanupStarts("/z1"));
  EXPECT_EQ(0, machine->restartRequests);
  EXPECT_FALSE(gRun.rebootNeeded);
  machine->SimulateRestart();
  EXPECT_FALSE(machine->FileExists("C:\\APP\\BUSY.DLL"));

  std::string mif = machine->FileContents(kMif);
  EXPECT_NE(std::string::npos, mif.find("Success")) << mif;
  EXPECT_NE(std::string::npos, mif.find("Uninstall")) << mif;
  EXPECT_EQ(std::string::npos, mif.find("Canceled")) << mif;
}

TEST_F(UninstallScenario, SilentRollbackOfTheLastSection) {
  Prepare("nt", std::string(kSectionOne) + kSectionTwo);
  Run("/S /R C:\\APP\\INSTALL.LOG");

  EXPECT_EQ("MZ main 1", machine->FileContents("C:\\APP\\MAIN.EXE"));
  EXPECT_FALSE(machine->FileExists("C:\\APP\\PLUGIN.DLL"));
  EXPECT_TRUE(machine->FileExists("C:\\APP\\HELP.TXT"));
  EXPECT_TRUE(machine->FileExists("C:\\APP\\UNTARN32.EXE"));
  EXPECT_TRUE(machine->DirectoryExists("C:\\APP\\DATA"));
  EXPECT_EQ("1", machine->RegString("HKLM\\Software\\Sample", "Installed"));
  EXPECT_EQ("", machine->RegString("HKLM\\Software\\Sample", "Upgraded"));
  EXPECT_EQ("red", machine->RegString("HKLM\\Software\\Sample", "Color"));
  EXPECT_EQ("9", IniValue("Level")) << "section 1's INI change is not undone";
  EXPECT_EQ(kSectionOne, machine->FileContents(kLog));
  EXPECT_TRUE(machine->RegKeyExists(kRepairKey));
  EXPECT_EQ(0, CleanupStarts("/z") + CleanupStarts("/z1"));

  std::string mif = machine->FileContents(kMif);
  EXPECT_NE(std::string::npos, mif.find("Rollback")) << mif;
  EXPECT_NE(std::string::npos, mif.find("Success")) << mif;
}

// Rollback of a log with one section: the whole log goes.
TEST_F(UninstallScenario, SilentRollbackOfTheOnlySection) {
  Prepare("nt", kSectionOne);
  Run("/S /R C:\\APP\\INSTALL.LOG");
  EXPECT_FALSE(machine->FileExists(kLog));
  EXPECT_FALSE(machine->FileExists("C:\\APP\\MAIN.EXE"));
  EXPECT_FALSE(machine->RegKeyExists(kRepairKey));
}

// The restart: asked unless silent, declined with Cancel, carried out by the restart
// program on the NT family and directly elsewhere. The log does not list the program's own
// file here, so this run restarts itself.
TEST_F(UninstallScenario, RestartDecisions) {
  struct Case {
    const char* name;
    const char* kind;
    const char* line;
    int answer;  // 0: no question expected
    bool restartProgram;
    int restartRequests;
  };
  const Case kCases[] = {
      {"NT, asked, OK", "nt", "/A C:\\APP\\INSTALL.LOG", kIdOk, true, 0},
      {"NT, asked, Cancel", "nt", "/A C:\\APP\\INSTALL.LOG", kIdCancel, false, 0},
      {"NT, silent", "nt", "/S C:\\APP\\INSTALL.LOG", 0, true, 0},
      {"95, asked, OK", "95", "/A C:\\APP\\INSTALL.LOG", kIdOk, false, 1},
      {"95, asked, Cancel", "95", "/A C:\\APP\\INSTALL.LOG", kIdCancel, false, 0},
      {"95, silent", "95", "/S C:\\APP\\INSTALL.LOG", 0, false, 1},
  };
  std::string log = kSectionOne;
  log.erase(log.find("File Copy: C:\\APP\\UNTARN32.EXE\r\n"), 32);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    sim->transcript.clear();
    ui->script.present = true;
    Prepare(c.kind, log);
    if (c.answer != 0) sim->AnswerMessage(c.answer);

    Run(c.line);

    size_t questions = 0;
    for (const SimQuestion& q : sim->transcript) {
      if (q.text.find("must reboot your computer") == std::string::npos) continue;
      ++questions;
      EXPECT_EQ("Uninstall", q.caption);
      EXPECT_EQ(kMbOkCancel, q.buttons);
    }
    EXPECT_EQ(c.answer != 0 ? 1u : 0u, questions);
    EXPECT_EQ(c.restartProgram, machine->FileExists("C:\\WINDOWS\\_MSRSTRT.EXE"));
    EXPECT_EQ(c.restartProgram ? 1 : 0,
              Starts(SimProcessStart::kWinExec, "\"C:\\WINDOWS\\_MSRSTRT.EXE\""));
    EXPECT_EQ(c.restartRequests, machine->restartRequests);
    EXPECT_EQ(0, CleanupStarts("/z") + CleanupStarts("/z1"));
    EXPECT_TRUE(machine->FileExists(kMif));
  }
}

// /A with a wizard: its final page shows the progress without waiting for Finish.
TEST_F(UninstallScenario, AutomaticRunShowsProgressWithoutWaiting) {
  Prepare("nt", kSectionOne);
  ui->script.present = true;
  Run("/A C:\\APP\\INSTALL.LOG");
  EXPECT_EQ(1, ui->wizardsCreated);
  EXPECT_EQ(0, ui->waits);
  EXPECT_EQ(0u, ui->heading.find("Performing uninstall of Sample Application...")) << ui->heading;
  EXPECT_FALSE(machine->FileExists("C:\\APP\\MAIN.EXE"));
  EXPECT_FALSE(sim->actionLines.empty());
}

// The wizard finished with the Custom method and one file selected.
TEST_F(UninstallScenario, CustomMethodChosenInTheWizard) {
  Prepare("nt", kSectionOne);
  ui->script.present = true;
  ui->script.mode = kModeCustom;
  ui->script.rollback = true;  // dropped by the Custom method
  ui->script.select = [] {
    for (int32_t i = 0; i < gStore.PrivateFiles.count; ++i) {
      FileItem* item = gStore.PrivateFiles[i];
      if (EqualNoCase(FileNamePart(item->path.c_str()), "HELP.TXT")) item->selected = 1;
    }
  };
  Run("C:\\APP\\INSTALL.LOG");
  EXPECT_GE(ui->waits, 1);
  EXPECT_FALSE(machine->FileExists("C:\\APP\\HELP.TXT"));
  EXPECT_TRUE(machine->FileExists("C:\\APP\\MAIN.EXE"));
  EXPECT_TRUE(machine->FileExists(kLog));
  EXPECT_TRUE(machine->RegKeyExists(kRepairKey));
  EXPECT_EQ("1", machine->RegString("HKLM\\Software\\Sample", "Installed"));
  EXPECT_EQ(1, machine->settingsBroadcasts);
}

// Cancel before Finish: no work and no broadcast, but the report says so.
TEST_F(UninstallScenario, WizardCancelledBeforeFinish) {
  Prepare("nt", kSectionOne);
  ui->script.present = true;
  ui->script.cancel = true;
  Run("C:\\APP\\INSTALL.LOG");
  EXPECT_TRUE(machine->FileExists("C:\\APP\\MAIN.EXE"));
  EXPECT_TRUE(machine->FileExists(kLog));
  EXPECT_EQ(0, machine->settingsBroadcasts);
  EXPECT_EQ(0, Starts(SimProcessStart::kWinExec));
  std::string mif = machine->FileContents(kMif);
  EXPECT_NE(std::string::npos, mif.find("Failed")) << mif;
  EXPECT_NE(std::string::npos, mif.find("Canceled by user")) << mif;
}

// The wizard's wait looks at the queue every time before it sleeps, even when the back-end
// would spare the progress display's look: a click left in the queue waits for whatever
// message comes next.
TEST_F(UninstallScenario, WizardsWaitNeverSparesALook) {
  Prepare("nt", kSectionOne);
  machine->tickStep = 0;  // every look after the first comes a moment after the last
  ui->script.present = true;
  ui->script.mode = kModeAutomatic;
  Run("C:\\APP\\INSTALL.LOG");
  EXPECT_EQ(ui->pumpsBeforeWait, (std::vector<size_t>{1}));
  EXPECT_FALSE(machine->FileExists("C:\\APP\\MAIN.EXE"));
}

// A run that needs the user's choices and has no wizard to ask them ends like a refused
// log: nothing changes and no report is made.
TEST_F(UninstallScenario, InteractiveRunWithoutAWizardChangesNothing) {
  const char* kLines[] = {"C:\\APP\\INSTALL.LOG", "/U C:\\APP\\INSTALL.LOG",
                          "/R C:\\APP\\INSTALL.LOG"};
  for (const char* line : kLines) {
    SCOPED_TRACE(line);
    TearDown();
    SetUp();
    Prepare("nt", kSectionOne);
    Run(line);
    EXPECT_TRUE(machine->FileExists("C:\\APP\\MAIN.EXE"));
    EXPECT_TRUE(machine->FileExists(kLog));
    EXPECT_FALSE(machine->FileExists(kMif));
    EXPECT_EQ(0, machine->settingsBroadcasts);
    EXPECT_TRUE(sim->actionLines.empty());
  }
}

TEST_F(UninstallScenario, RefusedOrMissingLogChangesNothing) {
  struct Case {
    const char* name;
    const char* log;  // null: no log file
    const char* line;
  };
  const Case kCases[] = {
      {"invalid log", "Title: no section line\r\nFile Copy: C:\\APP\\MAIN.EXE\r\n",
       "/S C:\\APP\\INSTALL.LOG"},
      {"missing log", nullptr, "/S C:\\APP\\NOLOG.LOG"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    LoadImage(Image("nt"));
    if (c.log != nullptr) machine->WriteFile(kLog, c.log);
    Run(c.line);
    EXPECT_TRUE(machine->FileExists("C:\\APP\\MAIN.EXE"));
    EXPECT_FALSE(machine->FileExists(kMif));
    EXPECT_EQ(0, machine->settingsBroadcasts);
  }
}

// The restore point: begun with "Uninstall " and the title, ended with the sequence number
// it was given, as a cancelled operation when the work was cancelled.
TEST_F(UninstallScenario, RestorePointBracketsTheWork) {
  for (bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancelled" : "completed");
    TearDown();
    SetUp();
    std::string image = Image("nt");
    image.insert(image.rfind('}'),
                 R"(, "libraries": [{"path": "SFC.DLL", "exports": ["SRSetRestorePoint"],
                     "restorePointSequence": 77}])");
    LoadImage(image);
    std::string log = kSectionOne;
    log.insert(log.find("Made Dir"), "System Restore: Enabled\r\n");
    machine->WriteFile(kLog, log);
    // The Cancel of the progress display, pressed once the first action shows.
    ui->script.present = true;
    if (cancel) {
      sim->pumpHook = [this](int) {
        if (!sim->actionLines.empty()) gRun.cancelled = true;
      };
    }
    Run("/A C:\\APP\\INSTALL.LOG");

    std::vector<SimLibraryCall> calls;
    for (const SimLibraryCall& call : machine->libraryCalls) {
      if (call.entry == "SRSetRestorePoint") calls.push_back(call);
    }
    ASSERT_EQ(2u, calls.size());
    std::string begin, end;
    for (const std::string& a : calls[0].arguments) begin += a + "|";
    for (const std::string& a : calls[1].arguments) end += a + "|";
    EXPECT_EQ("100|0|0|Uninstall Sample Application|", begin);
    EXPECT_EQ(std::string("101|") + (cancel ? "13" : "0") + "|77|Uninstall Sample Application|",
              end);
    EXPECT_EQ(1, machine->settingsBroadcasts);
  }
}

// Code page 932 from end to end, with names whose second byte is the backslash's (表, ソ),
// the bar's (ポ) or a small letter's (ヂ, beside ア). A repair puts back the damaged file
// named with ポ, whose stamp holds ポ as well, and leaves the intact one; then a silent
// uninstall removes the files (ヂ\ソ.DAT and ア\ソ.DAT are two), both folders the
// installation made and the key, and keeps the folder above the application's, which it
// never made and which no "Made Dir: C:\ア" may be taken for.
TEST_F(UninstallScenario, DoubleByteNamesRepairedThenUninstalled) {
  const std::string hyo = "\x95\x5C", so = "\x83\x5C", po = "\x83\x7C";
  const std::string top = "C:\\\x83\x61";         // C:\ヂ
  const std::string app = top + "\\" + hyo + so;  // C:\ヂ\表ソ
  const std::string beside = "C:\\\x83\x41";      // C:\ア
  const std::string damaged = app + "\\" + po + ".DAT", intact = app + "\\" + hyo + ".TXT";
  const std::string other = beside + "\\" + so + ".DAT", twin = top + "\\" + so + ".DAT";
  const std::string log = app + "\\INSTALL.LOG";
  const std::string key = "Software\\" + hyo + so + "\\" + po;
  const uint64_t installed = FileTimeFromUtc(2003, 3, 15, 10, 20, 30);
  auto stamped = [&](const std::string& path, const std::string& contents) {
    char stamp[128];
    snprintf(stamp, sizeof stamp, " 03-15-2003 | 10:20:30 | %s 1.0 | %u | %08x", po.c_str(),
             static_cast<unsigned>(contents.size()),
             Crc32Update(0, contents.data(), contents.size()));
    return "File Copy: " + path + " |" + stamp + "\r\n";
  };

  MachineImage image;
  image.platform.ansiCodePage = 932;
  image.platform.modulePath = app + "\\UNTARN32.EXE";
  image.platform.currentDirectory = app;
  image.directories.push_back({"C:\\TEMP"});
  image.files = {{app + "\\UNTARN32.EXE", "MZ uninstaller"},
                 {damaged, "damaged!", installed},
                 {intact, "intact", installed},
                 {other, "other", installed},
                 {twin, "twin", installed},
                 {top + "\\KEEP.TXT", "not the installation's"},
                 {"C:\\MEDIA\\SETUP.EXE", "setup program", FileTimeFromUtc(2003, 3, 1, 9, 0, 0)}};
  image.registry = {{"HKLM\\" + key, {{po, kRegSz, RegStringBytes("1")}}}};
  ImageProgram setup;
  setup.path = "C:\\MEDIA\\SETUP.EXE";
  setup.createFile = false;
  ImageAction extract;
  extract.kind = ImageAction::kExtractList;
  setup.rules = {{"/X=", {extract}}};
  // What the program would put back; the intact file must never be listed.
  setup.extractable = {{damaged, "original", installed}, {intact, "extracted", installed}};
  image.programs = {setup};
  std::string error;
  ASSERT_EQ(machine->ApplyImage(image, &error), 0) << error;
  LoadTextRules();
  ASSERT_EQ(
      machine->WriteFile(log,
                         "***  Installation Started 03/15/2003 10:20  ***\r\n"
                         "Title: DBCS Sample\r\n"
                         "Source: C:\\MEDIA\\SETUP.EXE | 03-01-2003 | 09:00:00 | 13\r\n"
                         "Made Dir: " +
                             app + "\r\nMade Dir: " + beside + "\r\n" + "File Copy: " + app +
                             "\\UNTARN32.EXE\r\n" + stamped(damaged, "original") +
                             stamped(intact, "intact") + stamped(other, "other") +
                             "File Copy: " + twin + "\r\n" + "RegDB Key: " + key +
                             "\r\nRegDB Val: 1\r\nRegDB Name: " + po + "\r\nRegDB Root: 2\r\n"),
      0);

  ui->script.present = true;
  ui->script.mode = kModeRepair;
  Run(log.c_str());
  EXPECT_EQ(machine->FileContents(damaged), "original");
  EXPECT_EQ(machine->FileContents(intact), "intact");
  EXPECT_EQ(machine->FileContents(other), "other");
  EXPECT_EQ(1, Starts(SimProcessStart::kCreateProcess, "\"C:\\MEDIA\\SETUP.EXE\" /X="));
  EXPECT_TRUE(sim->transcript.empty());

  ResetRunWideState();
  machine->processes.clear();
  ui->script = WizardScript();
  Run(("/S " + log).c_str());
  for (const std::string& file : {damaged, intact, other, twin, log})
    EXPECT_FALSE(machine->FileExists(file)) << file;
  EXPECT_FALSE(machine->DirectoryExists(beside));
  EXPECT_FALSE(machine->RegKeyExists("HKLM\\" + key));
  // The clean-up run removes the program's own file and what it leaves of the application's
  // folder, which it is handed: that folder, not the one above it.
  std::string cleanup;
  for (const SimProcessStart& start : machine->processes) {
    size_t at = start.commandLine.find(" /z ");
    if (start.method == SimProcessStart::kWinExec && at != std::string::npos)
      cleanup = start.commandLine.substr(at + 4);
  }
  EXPECT_EQ(cleanup, app + "\\UNTARN32.EXE " + app + "\\");
  RunCleanup(cleanup.c_str());
  EXPECT_FALSE(machine->DirectoryExists(app));
  EXPECT_EQ(machine->FileContents(top + "\\KEEP.TXT"), "not the installation's");
}

}  // namespace
