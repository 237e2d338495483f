// Services and 386Enh devices: the service is stopped and deleted; "device=" lines of the
// [386Enh] sections that name the file are commented out, every other byte of SYSTEM.INI
// kept, and SYSTEM.INI is never left missing.
#include "uninstall/services_devices.h"

#include <string>
#include <vector>

#include "support/engine_fixture.h"

namespace {

using ServicesTest = EngineTest;

TEST_F(ServicesTest, CreatedServiceIsStoppedAndDeletedRunningOrNot) {
  for (bool running : {true, false}) {
    SCOPED_TRACE(running ? "running" : "stopped");
    ServiceHandle manager = machine.ScmOpen(kScManagerAllAccess);
    ASSERT_NE(manager, 0u);
    ServiceHandle service = machine.ServiceCreate(manager, "SampleSvc", "C:\\APP\\SVC.EXE");
    ASSERT_NE(service, 0u);
    machine.ServiceClose(service);
    machine.ServiceClose(manager);
    machine.services["SAMPLESVC"].running = running;

    RemoveService("SampleSvc");
    auto found = machine.services.find("SAMPLESVC");
    if (found != machine.services.end()) {
      EXPECT_FALSE(found->second.running);
      EXPECT_TRUE(found->second.markedForDelete);
    }
    machine.SimulateRestart();
    EXPECT_EQ(machine.services.count("SAMPLESVC"), 0u);
  }
  RemoveService("NoSuchService");  // nothing to do, nothing reported
}

TEST_F(ServicesTest, WithoutAServiceManagerNothingHappens) {
  ServiceHandle manager = machine.ScmOpen(kScManagerAllAccess);
  ASSERT_NE(manager, 0u);
  machine.ServiceClose(machine.ServiceCreate(manager, "SampleSvc", "C:\\APP\\SVC.EXE"));
  machine.ServiceClose(manager);
  UseOtherPlatform();
  RemoveService("SampleSvc");
  ASSERT_EQ(machine.services.count("SAMPLESVC"), 1u);
  EXPECT_FALSE(machine.services["SAMPLESVC"].markedForDelete);
}

using DeviceLinesTest = EngineTest;

const char kSystemIni[] = "C:\\WINDOWS\\SYSTEM.INI";
const char kWorkingCopy[] = "C:\\WINDOWS\\~KTMB383.TMP";

TEST_F(DeviceLinesTest, MatchingLinesInEvery386EnhSectionAreCommentedOut) {
  UseOtherPlatform();
  const std::string longLine = "; " + std::string(5000, 'x');
  struct Case {
    const char* name;
    const char* file;
    std::string before;
    std::string after;  // empty: SYSTEM.INI is not rewritten
  };
  const Case cases[] = {
      {"bare name for a file in System", "C:\\WINDOWS\\SYSTEM\\MYVXD.386",
       "[386Enh]\r\ndevice=MYVXD.386\r\ndevice=*vmm\r\n",
       "[386Enh]\r\n;device=MYVXD.386\r\ndevice=*vmm\r\n"},
      {"full path with indentation kept", "C:\\APP\\MYVXD.386",
       "[boot]\r\nshell=x\r\n[386Enh]\r\n   "
       "device=C:\\APP\\MYVXD.386\r\n\tdevice=c:\\app\\myvxd.386\r\n",
       "[boot]\r\nshell=x\r\n[386Enh]\r\n;   "
       "device=C:\\APP\\MYVXD.386\r\n;\tdevice=c:\\app\\myvxd.386\r\n"},
      {"full path of a file in System", "C:\\WINDOWS\\SYSTEM\\MYVXD.386",
       "[386Enh]\r\nDEVICE=C:\\WINDOWS\\SYSTEM\\MYVXD.386\r\n",
       "[386Enh]\r\n;DEVICE=C:\\WINDOWS\\SYSTEM\\MYVXD.386\r\n"},
      {"below System: the rest of the path", "C:\\WINDOWS\\SYSTEM\\VMM\\X.386",
       "[386enh]\r\ndevice=VMM\\X.386\r\ndevice=X.386\r\n",
       "[386enh]\r\n;device=VMM\\X.386\r\ndevice=X.386\r\n"},
      {"every 386Enh section, no other", "C:\\WINDOWS\\SYSTEM\\MYVXD.386",
       "[386Enh]\r\ndevice=MYVXD.386\r\n[boot]\r\ndevice=MYVXD.386\r\n  [386Enh]  "
       "\r\ndevice=myvxd.386\r\n",
       "[386Enh]\r\n;device=MYVXD.386\r\n[boot]\r\ndevice=MYVXD.386\r\n  [386Enh]  "
       "\r\n;device=myvxd.386\r\n"},
      {"long lines, blank lines and a last line without end", "C:\\WINDOWS\\SYSTEM\\MYVXD.386",
       longLine + "\r\n\r\n[386Enh]\r\n" + longLine + "\r\ndevice=MYVXD.386\r\n\r\nlast=1",
       longLine + "\r\n\r\n[386Enh]\r\n" + longLine + "\r\n;device=MYVXD.386\r\n\r\nlast=1\r\n"},
      {"lines ended by LF alone", "C:\\WINDOWS\\SYSTEM\\MYVXD.386",
       "[386Enh]\ndevice=MYVXD.386\nx=1\n", "[386Enh]\r\n;device=MYVXD.386\r\nx=1\r\n"},
      {"matching line as the last line", "C:\\WINDOWS\\SYSTEM\\MYVXD.386",
       "[386Enh]\r\ndevice=MYVXD.386", "[386Enh]\r\n;device=MYVXD.386\r\n"},
      {"other section only", "C:\\WINDOWS\\SYSTEM\\MYVXD.386", "[boot]\r\ndevice=MYVXD.386\r\n",
       ""},
      {"trailing blank", "C:\\WINDOWS\\SYSTEM\\MYVXD.386", "[386Enh]\r\ndevice=MYVXD.386 \r\n", ""},
      {"already commented, other spellings", "C:\\WINDOWS\\SYSTEM\\MYVXD.386",
       "[386Enh]\r\n;device=MYVXD.386\r\ndevice = MYVXD.386\r\ndevice=MYVXD.3861\r\n", ""},
      {"header followed by a comment", "C:\\WINDOWS\\SYSTEM\\MYVXD.386",
       "[386Enh] ; drivers\ndevice=MYVXD.386", "[386Enh] ; drivers\r\n;device=MYVXD.386\r\n"},
      {"look-alike header", "C:\\WINDOWS\\SYSTEM\\MYVXD.386", "[386EnhX]\r\ndevice=MYVXD.386\r\n",
       ""},
      {"no match, unusual bytes left as they were", "C:\\WINDOWS\\SYSTEM\\MYVXD.386",
       std::string("[386Enh]\n\r\rnul=\0x\n", 18) + longLine, ""},
      {"empty file", "C:\\WINDOWS\\SYSTEM\\MYVXD.386", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(kSystemIni, c.before);
    RemoveDeviceLines(c.file);
    EXPECT_EQ(machine.FileContents(kSystemIni), c.after.empty() ? c.before : c.after);
    EXPECT_FALSE(machine.FileExists(kWorkingCopy));
  }
  // Code page 932: ヂ (0x83 0x61) and ア (0x83 0x41) differ only in a second byte that is a
  // letter's; the line of the other device stays.
  machine.settings.ansiCodePage = 932;
  LoadTextRules();
  Write(kSystemIni, "[386Enh]\r\ndevice=C:\\APP\\\x83\x41.386\r\ndevice=c:\\app\\\x83\x61.386\r\n");
  RemoveDeviceLines("C:\\APP\\\x83\x61.386");
  EXPECT_EQ(machine.FileContents(kSystemIni),
            "[386Enh]\r\ndevice=C:\\APP\\\x83\x41.386\r\n;device=c:\\app\\\x83\x61.386\r\n");
  machine.settings.ansiCodePage = 1252;
  LoadTextRules();
}

TEST_F(DeviceLinesTest, SystemIniIsReplacedInOneStepOnTheNtKind) {
  Write(kSystemIni, "[386Enh]\r\ndevice=MYVXD.386\r\n");
  RemoveDeviceLines("C:\\WINDOWS\\SYSTEM32\\MYVXD.386");
  EXPECT_EQ(machine.FileContents(kSystemIni), "[386Enh]\r\n;device=MYVXD.386\r\n");
  EXPECT_FALSE(machine.FileExists(kWorkingCopy));
}

// SYSTEM.INI in use: on neither kind is it left missing, now or after the restart, even
// when the log allows in-use files to be deleted at the restart.
TEST_F(DeviceLinesTest, SystemIniInUseStaysAsItWas) {
  const std::string before = "[386Enh]\r\ndevice=MYVXD.386\r\n";
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt ? "NT kind" : "other kind");
    if (!nt) UseOtherPlatform();
    gStore.deleteInUse = true;
    Write(kSystemIni, before);
    ASSERT_EQ(machine.SetInUse(kSystemIni, true), 0);
    RemoveDeviceLines(nt ? "C:\\WINDOWS\\SYSTEM32\\MYVXD.386" : "C:\\WINDOWS\\SYSTEM\\MYVXD.386");
    EXPECT_EQ(machine.FileContents(kSystemIni), before);
    EXPECT_FALSE(gRun.rebootNeeded);
    machine.SimulateRestart();
    EXPECT_TRUE(machine.FileExists(kSystemIni));
    EXPECT_EQ(machine.FileContents(kSystemIni), before);
    machine.RemoveFile(kWorkingCopy);
  }
}

TEST_F(DeviceLinesTest, NothingHappensWithoutSystemIniOrWorkingCopy) {
  RemoveDeviceLines("C:\\WINDOWS\\SYSTEM32\\MYVXD.386");
  EXPECT_FALSE(machine.FileExists(kSystemIni));
  EXPECT_FALSE(machine.FileExists(kWorkingCopy));

  const std::string before = "[386Enh]\r\ndevice=MYVXD.386\r\n";
  Write(kSystemIni, before);
  Write(kWorkingCopy, "held");
  ASSERT_EQ(machine.SetInUse(kWorkingCopy, true), 0);
  RemoveDeviceLines("C:\\WINDOWS\\SYSTEM32\\MYVXD.386");
  EXPECT_EQ(machine.FileContents(kSystemIni), before);
  EXPECT_EQ(machine.FileContents(kWorkingCopy), "held");
}

}  // namespace
