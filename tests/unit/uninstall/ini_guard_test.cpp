// The copies that guard INI files. The fault sweep proves that a run started again after a
// kill puts a whole copy back and deletes a cut one; what no sweep reaches is a whole copy
// that will not go back over the cut file.
#include "uninstall/ini_guard.h"

#include "log/run_journal.h"
#include "support/engine_fixture.h"
#include "support/fault_platform.h"

namespace {

using IniGuardTest = EngineTest;

const char kLog[] = "C:\\APP\\INSTALL.LOG";
const char kIni[] = "C:\\WINDOWS\\APP.INI";
const char kCopy[] = "C:\\WINDOWS\\~KTU0000.TMP";
const char kWhole[] = "[Options]\r\nKey=new\r\nMine=kept\r\n";

TEST_F(IniGuardTest, AWholeCopyThatWillNotGoBackIsKeptForTheUser) {
  Write(kLog, "*** Log\r\n");
  Write(kIni, kWhole);
  // The first run copies the file once, however its name is written, and is then killed
  // inside the system's rewrite of it.
  OpenRunJournal(kLog);
  ASSERT_EQ(BeginJournal(), 0);
  GuardIniFile(kIni);
  GuardIniFile("c:\\windows\\app.ini");
  EXPECT_EQ(machine.FileContents(kCopy), kWhole);
  EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\~KTU0001.TMP"));
  CloseRunJournal(false);
  Write(kIni, "");
  ResetRunWideState();

  // The run started again cannot put the copy back: the copy stays when the pass ends.
  OpenRunJournal(kLog);
  ASSERT_EQ(BeginJournal(), 0);
  ASSERT_TRUE(JournalResumed());
  FaultPlatform fault(machine);
  fault.FailOperation(FaultOp::CopyFileTo);
  InstallPlatform(&fault);
  GuardIniFile(kIni);
  InstallPlatform(&machine);
  ReleaseIniGuards();
  EXPECT_EQ(machine.FileContents(kCopy), kWhole);
  EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\~KTU0001.TMP"));
  CloseRunJournal(true);
}

}  // namespace
