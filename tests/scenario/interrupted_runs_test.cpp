// Runs of a log that an earlier run of it was interrupted in, or that another run of it is
// still working on: the journal's facts keep every step from being taken twice, the end of
// a run whose work was done is all that is left of it, and two runs never work side by side.
#include <cstdio>
#include <string>

#include "log/run_journal.h"
#include "run/program.h"
#include "run/run_flow.h"
#include "scenario_fixture.h"

namespace {

constexpr char kLog[] = "C:\\APP\\INSTALL.LOG";
constexpr char kJournal[] = "C:\\APP\\INSTALL.JNL";
constexpr char kShared[] = "C:\\WINDOWS\\SYSTEM32\\COMMON.DLL";
constexpr char kCounts[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// An application with its own file, a shared system file that another application counts
// too, a value it changed (green, red before), and a second section that replaced MAIN.EXE
// keeping a backup copy.
constexpr char kImage[] = R"({
  "platform": {"kind": "nt", "windowsDirectory": "C:\\WINDOWS", "tempDirectory": "C:\\TEMP\\",
               "modulePath": "C:\\WINDOWS\\UNTARN32.EXE"},
  "directories": ["C:\\TEMP", "C:\\APP\\BACKUP"],
  "files": [
    {"path": "C:\\APP\\MAIN.EXE", "text": "MZ main 2"},
    {"path": "C:\\APP\\BACKUP\\MAIN.EXE", "text": "MZ main 1"},
    {"path": "C:\\APP\\HELP.TXT", "text": "help"},
    {"path": "C:\\WINDOWS\\SYSTEM32\\COMMON.DLL", "text": "MZ common"}
  ],
  "registry": {
    "HKLM\\Software\\Sample": {"Color": "green", "Installed": "1"},
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs":
        {"C:\\WINDOWS\\SYSTEM32\\COMMON.DLL": {"dword": 3}}
  }
})";

constexpr char kLogText[] =
    "***  Installation Started\r\n"
    "Title: Sample\r\n"
    "Made Dir: C:\\APP\r\n"
    "File Copy: C:\\APP\\MAIN.EXE\r\n"
    "File Copy: C:\\APP\\HELP.TXT\r\n"
    "File Copy: C:\\WINDOWS\\SYSTEM32\\COMMON.DLL\r\n"
    "RegDB Key: Software\\Sample\r\n"
    "RegDB Val: 1\r\n"
    "RegDB Name: Installed\r\n"
    "RegDB Root: 2\r\n"
    "***  Installation Started\r\n"
    "File Overwrite: C:\\APP\\MAIN.EXE\r\n"
    "Backup Copy: C:\\APP\\BACKUP\\MAIN.EXE\r\n"
    "File Copy: C:\\WINDOWS\\SYSTEM32\\COMMON.DLL\r\n"
    "RegDB Key: Software\\Sample\r\n"
    "RegDB Val: green\r\n"
    "RegDB Name: Color\r\n"
    "RegDB Root: 2\r\n"
    "RegDB Old: red\r\n";

class InterruptedRuns : public ScenarioTest {
 protected:
  void SetUp() override {
    ScenarioTest::SetUp();
    LoadImage(kImage);
    machine->WriteFile(kLog, kLogText);
  }
  // The journal an interrupted run of the log as it stands would have left, with facts.
  void LeaveJournal(const std::string& facts) {
    uint64_t time = 0;
    FileHandle log = machine->OpenForRead(kLog);
    ASSERT_NE(log, kNoFile);
    machine->GetLastWrite(log, &time);
    machine->CloseFile(log);
    machine->WriteFile(kJournal, "UNTARN-JOURNAL\t1\t" + std::string(kLog) + "\t" +
                                     std::to_string(sizeof kLogText - 1) + "\t" +
                                     std::to_string(time) + "\r\n" + facts);
  }
  int Count() {
    uint32_t type = 0;
    std::string data;
    if (!machine->RegValue(kCounts, kShared, &type, &data) || data.size() != 4) return -1;
    return static_cast<unsigned char>(data[0]);
  }
};

// The known fault: a run killed after it took a count back, run again, took it back a
// second time, and another application's file could drop to nothing. The count is taken
// once over both runs, whether or not the killed run's write reached the registry.
TEST_F(InterruptedRuns, ASharedCountIsTakenOnceOverBothRuns) {
  for (int countLeft : {3, 1}) {  // the write had not reached the registry; it had
    SCOPED_TRACE(countLeft);
    TearDown();
    SetUp();
    machine->RegSetRaw(kCounts, kShared, kRegDword, std::string(1, char(countLeft)) + '\0' + '\0' + '\0');
    LeaveJournal(std::string("S\t") + kShared + "\t3\t1\t1\r\n");
    Run("/S C:\\APP\\INSTALL.LOG");
    EXPECT_EQ(Count(), 1);
    EXPECT_TRUE(machine->FileExists(kShared));
    EXPECT_FALSE(machine->FileExists("C:\\APP\\HELP.TXT"));
    EXPECT_FALSE(machine->FileExists(kLog));
    EXPECT_FALSE(machine->FileExists(kJournal));
  }
  // Without a journal the same run takes its two counts, as it always did.
  TearDown();
  SetUp();
  Run("/S C:\\APP\\INSTALL.LOG");
  EXPECT_EQ(Count(), 1);
}

// A rollback killed after it put MAIN.EXE's backup back and deleted the backup: run again,
// it would have deleted the restored file with nothing left to put back.
TEST_F(InterruptedRuns, ABackupPutBackIsNotTakenAgain) {
  machine->WriteFile("C:\\APP\\MAIN.EXE", "MZ main 1");
  machine->RemoveFile("C:\\APP\\BACKUP\\MAIN.EXE");
  LeaveJournal("B\tC:\\APP\\MAIN.EXE\r\n");
  Run("/S /R C:\\APP\\INSTALL.LOG");
  EXPECT_EQ(machine->FileContents("C:\\APP\\MAIN.EXE"), "MZ main 1");
  EXPECT_EQ(machine->RegString("HKLM\\Software\\Sample", "Color"), "red");
  // The log is cut back to its first section, and the journal goes with the run's end.
  EXPECT_EQ(machine->FileContents(kLog).find("File Overwrite"), std::string::npos);
  EXPECT_FALSE(machine->FileExists(kJournal));
}

// The work was done before the kill: a new run only ends the run, whether or not the log
// was deleted already, and touches nothing the work left.
TEST_F(InterruptedRuns, OnlyTheEndOfAFinishedRunIsLeft) {
  for (bool logGone : {false, true}) {
    SCOPED_TRACE(logGone);
    TearDown();
    SetUp();
    LeaveJournal("E\t0\tC:\\APP\r\nD\t0\r\n");
    if (logGone) machine->RemoveFile(kLog);
    Run("/S C:\\APP\\INSTALL.LOG");
    EXPECT_FALSE(machine->FileExists(kLog));
    EXPECT_FALSE(machine->FileExists(kJournal));
    // What the passes would have removed is still there: the finished run had taken care of
    // everything it was to do.
    EXPECT_EQ(machine->RegString("HKLM\\Software\\Sample", "Installed"), "1");
    EXPECT_TRUE(machine->FileExists("C:\\APP\\HELP.TXT"));
    EXPECT_EQ(Count(), 3);
  }
}

// A second run of the log while the first still holds it changes nothing and says why; a
// journal of a newer program stops the run the same way.
TEST_F(InterruptedRuns, RunsThatMustNotGoOn) {
  char name[64];
  RunLockName(kLog, name, sizeof name);
  char shortName[64];
  RunLockName("c:\\app\\install.log", shortName, sizeof shortName);
  EXPECT_STREQ(name, shortName);
  struct Case {
    const char* what;
    const char* line;
    int exitCode;
    const char* message;  // the start of the text shown; null: nothing shown
  } cases[] = {
      {"another run, silent", "/S ", kExitAnotherRun, nullptr},
      {"another run", "/A ", kExitAnotherRun, "Another uninstall of this application"},
      {"newer journal", "/A ", kExitJournalUnreadable, "An uninstall of this application was"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    if (c.exitCode == kExitAnotherRun) {
      machine->otherProcessLocks.insert(name);
    } else {
      machine->WriteFile(kJournal, "UNTARN-JOURNAL\t7\tnew things\r\n");
    }
    EXPECT_EQ(RunProgram((std::string(c.line) + kLog).c_str()), c.exitCode);
    EXPECT_TRUE(machine->FileExists(kLog));
    EXPECT_TRUE(machine->FileExists("C:\\APP\\HELP.TXT"));
    EXPECT_EQ(Count(), 3);
    if (c.message == nullptr) {
      EXPECT_TRUE(sim->transcript.empty());
    } else {
      ASSERT_EQ(sim->transcript.size(), 1u);
      EXPECT_EQ(sim->transcript[0].text.rfind(c.message, 0), 0u) << sim->transcript[0].text;
    }
  }
  // The run that held the log ended: the next one goes on.
  ResetRunWideState();
  machine->otherProcessLocks.clear();
  machine->RemoveFile(kJournal);
  EXPECT_EQ(RunProgram((std::string("/S ") + kLog).c_str()), kExitNormal);
  EXPECT_FALSE(machine->FileExists("C:\\APP\\HELP.TXT"));
}

}  // namespace
