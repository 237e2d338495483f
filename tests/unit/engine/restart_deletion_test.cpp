// Deletions at the next restart through WININIT.INI, the Windows 95 family's list of work
// for its next start, which other programs write to as well.
#include "engine/restart_deletion.h"

#include <string>

#include "support/engine_fixture.h"
#include "support/fault_platform.h"

namespace {

using RestartDeletionTest = EngineTest;

// Whichever call fails, WININIT.INI keeps the work other programs left in it for the next
// start: it is added to or left alone, never written over nor made anew, and no other
// WININIT.INI is made.
TEST_F(RestartDeletionTest, AFailingCallNeverSpoilsWhatWininitHolds) {
  const std::string wininit = "C:\\WINDOWS\\WININIT.INI";
  const std::string theirs = "[rename]\r\nNUL=C:\\OTHER\\OLD.TMP\r\n";
  for (FaultOp op : {FaultOp::WindowsDirectory, FaultOp::OpenForRead, FaultOp::ReadBytes,
                     FaultOp::OpenForWrite, FaultOp::Seek, FaultOp::WriteBytes}) {
    SCOPED_TRACE(FaultOpName(op));
    Write(wininit, theirs);
    machine.SetCurrentDir("C:\\");
    FaultPlatform fault(machine);
    fault.FailOperation(op);
    InstallPlatform(&fault);
    AppendWininitDeletion("C:\\APP\\BUSY.DLL");
    InstallPlatform(&machine);
    EXPECT_TRUE(fault.injected());
    EXPECT_EQ(fault.OpenHandles(), 0u) << fault.OpenHandlesText();
    std::string now = machine.FileContents(wininit);
    EXPECT_EQ(now.compare(0, theirs.size(), theirs), 0) << now;
    EXPECT_FALSE(machine.FileExists("C:\\WININIT.INI"));
  }
}

}  // namespace
