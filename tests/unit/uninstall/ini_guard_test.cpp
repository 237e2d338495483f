// The copies that guard INI files: made once per file and noted, put back by a run started
// again after a kill cut the file, and never lost when they cannot go back.
#include "uninstall/ini_guard.h"

#include <string>

#include "log/run_journal.h"
#include "support/engine_fixture.h"
#include "support/fault_platform.h"

namespace {

using IniGuardTest = EngineTest;

const char kLog[] = "C:\\APP\\INSTALL.LOG";
const char kIni[] = "C:\\WINDOWS\\APP.INI";
const char kCopy[] = "C:\\WINDOWS\\~KTU0000.TMP";
const char kWhole[] = "[Options]\r\nKey=new\r\nMine=kept\r\n";

// A run of the log up to its journal, as the driver begins it.
void BeginRun() {
  OpenRunJournal(kLog);
  ASSERT_EQ(BeginJournal(), 0);
}

TEST_F(IniGuardTest, AKilledRunsWholeCopyGoesBackAndACutOneGoes) {
  struct Case {
    const char* name;
    bool cutCopy;      // the kill came while the copy was made: it is not noted whole
    bool failPutBack;  // the whole copy will not go over the file
    std::string iniAfterGuard;
    bool copyAfterRelease;
  } cases[] = {
      {"whole copy", false, false, kWhole, false},
      {"copy cut by the kill", true, false, "", false},
      {"whole copy that will not go back", false, true, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetRunWideState();
    machine.RemoveFile("C:\\APP\\INSTALL.JNL");
    Write(kLog, "*** Log\r\n");
    Write(kIni, kWhole);

    // The first run copies the file once, however often it asks, then is killed inside the
    // system's rewrite of it (the file left empty).
    BeginRun();
    GuardIniFile(kIni);
    GuardIniFile("c:\\windows\\app.ini");
    EXPECT_EQ(machine.FileContents(kCopy), kWhole);
    EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\~KTU0001.TMP"));
    CloseRunJournal(false);
    if (c.cutCopy) {
      std::string journal = machine.FileContents("C:\\APP\\INSTALL.JNL");
      journal.resize(journal.rfind("K\t"));
      Write("C:\\APP\\INSTALL.JNL", journal);
      Write(kCopy, "[Opt");
    }
    Write(kIni, "");
    ResetRunWideState();

    // The run started again.
    BeginRun();
    ASSERT_TRUE(JournalResumed());
    FaultPlatform fault(machine);
    if (c.failPutBack) fault.FailOperation(FaultOp::CopyFileTo);
    InstallPlatform(&fault);
    GuardIniFile(kIni);
    InstallPlatform(&machine);
    EXPECT_EQ(machine.FileContents(kIni), c.iniAfterGuard);
    ReleaseIniGuards();
    EXPECT_EQ(machine.FileExists(kCopy), c.copyAfterRelease);
    if (c.copyAfterRelease) {
      EXPECT_EQ(machine.FileContents(kCopy), kWhole);
    }
    EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\~KTU0001.TMP"));
    CloseRunJournal(true);
  }
}

}  // namespace
