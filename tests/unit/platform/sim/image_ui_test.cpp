// Machine images (reading and seeding), the scripted parts of the machine (programs,
// libraries, the Program Manager stand-in, services) and the scripted user.
#include <gtest/gtest.h>

#include <string>

#include "base/run_state.h"
#include "platform/image/machine_image.h"
#include "support/sim_fixture.h"

namespace {

TEST(MachineImageReader, ReportsTheMemberItCannotUse) {
  struct Case {
    const char* json;
    const char* where;
  } cases[] = {
      {"{\"platform\": {\"kind\": \"nt4\"}}", "platform.kind"},
      {"{\"files\": [{\"path\": \"C:\\\\a\", \"hex\": \"0g\"}]}", "files[0].hex"},
      {"{\"registry\": {\"HKLM\\\\X\": {\"v\": {\"qword\": 1}}}}", "registry.HKLM\\X.v"},
      {"{\"programs\": [{\"path\": \"C:\\\\s.exe\", \"on\": {\"/X\": [{\"op\": \"fly\"}]}}]}",
       "programs[0].on./X[0].op"},
      {"{\"colour\": 1}", "colour"},
      {"{not json", "JSON"},
  };
  for (const Case& c : cases) {
    MachineImage image;
    std::string error;
    EXPECT_NE(ReadMachineImage(c.json, &image, &error), 0) << c.json;
    EXPECT_NE(error.find(c.where), std::string::npos) << "error: " << error;
  }
}

TEST(MachineImageReader, ReadsTypedValuesAsRegistryBytes) {
  MachineImage image;
  std::string error;
  ASSERT_EQ(ReadMachineImage(R"({"registry": {"HKCU\\Software\\T": {
      "s": "text", "n": 258, "e": {"expand": "%WINDIR%"}, "m": {"multi": ["a", "bc"]},
      "b": {"binary": "01 ff"}, "": {"sz": "default"}}},
      "files": [{"path": "C:\\x.bin", "base64": "TVo=", "time": "1999-12-31 23:59:58",
                 "attributes": ["readonly", "hidden"]}]})",
                             &image, &error),
            0)
      << error;
  ASSERT_EQ(image.registry.size(), 1u);
  const auto& values = image.registry[0].values;
  ASSERT_EQ(values.size(), 6u);
  EXPECT_EQ(values[0].name, "s");  // the image's order is kept
  EXPECT_EQ(values[0].data, std::string("text\0", 5));
  EXPECT_EQ(values[1].type, kRegDword);
  EXPECT_EQ(values[1].data, std::string("\x02\x01\0\0", 4));
  EXPECT_EQ(values[2].type, kRegExpandSz);
  EXPECT_EQ(values[3].data, std::string("a\0bc\0\0", 6));
  EXPECT_EQ(values[4].data, "\x01\xff");
  EXPECT_EQ(values[5].name, "");
  ASSERT_EQ(image.files.size(), 1u);
  EXPECT_EQ(image.files[0].contents, "MZ");
  EXPECT_EQ(image.files[0].attributes, kAttrReadOnly | kAttrHidden);
  EXPECT_EQ(image.files[0].lastWrite, FileTimeFromUtc(1999, 12, 31, 23, 59, 58));
}

class SimImage : public SimFixture {};

TEST_F(SimImage, SeedsPlatformFilesRegistryAndServices) {
  LoadImage(R"({
    "platform": {"kind": "95", "version": [4, 10, 2222], "ansiCodePage": 932,
                 "windowsDirectory": "D:\\WIN", "drives": {"D": "fixed", "E": "cdrom"},
                 "admin": false, "timeZoneMinutes": 60},
    "files": [{"path": "D:\\App\\Data File.txt", "text": "hello", "inUse": true,
               "time": "2001-02-03 04:05:06"}],
    "registry": {"HKLM\\Software\\Maker": {"Path": "D:\\App"}},
    "services": [{"name": "AppSvc", "binaryPath": "D:\\App\\svc.exe", "running": true}]})");
  VersionInfo version = Sys().Version();
  EXPECT_EQ(version.platformId, 1u);
  EXPECT_EQ(version.minor, 10u);
  EXPECT_TRUE(Sys().IsLeadByte(0x81));
  EXPECT_FALSE(Sys().IsLeadByte(0xA0));
  EXPECT_EQ(Sys().DriveType("E:\\"), kDriveCdrom);
  EXPECT_EQ(Sys().DriveType("Q:\\"), kDriveNoRootDir);
  char path[260];
  Sys().SystemDirectory(path, sizeof path);
  EXPECT_STREQ(path, "D:\\WIN\\SYSTEM");
  EXPECT_EQ(machine().FileContents("d:\\app\\DATAFI~1.TXT"), "hello");
  EXPECT_EQ(Sys().RemoveFile("D:\\App\\Data File.txt"), kErrSharingViolation);
  EXPECT_EQ(machine().RegString("HKEY_LOCAL_MACHINE\\SOFTWARE\\maker", "path"), "D:\\App");
  uint16_t dosDate = 0, dosTime = 0;
  FileHandle file = Sys().OpenForRead("D:\\App\\Data File.txt");
  uint64_t written = 0;
  ASSERT_EQ(Sys().GetLastWrite(file, &written), 0);
  Sys().CloseFile(file);
  ASSERT_EQ(Sys().FileTimeToLocalDos(written, &dosDate, &dosTime), 0);
  EXPECT_EQ(dosDate, 3 + 32 * 2 + 512 * (2001 - 1980));
  EXPECT_EQ(dosTime, 2048 * 5 + 32 * 5 + 6 / 2);    // one hour ahead of UTC
  EXPECT_EQ(Sys().ScmOpen(kScManagerConnect), 0u);  // no service manager on the 95 kind
}

TEST_F(SimImage, ServiceManagerNeedsAdminRightsAndDeletesOnceStopped) {
  LoadImage(R"({"services": [{"name": "AppSvc", "running": true}]})");
  machine().settings.admin = false;
  EXPECT_EQ(Sys().ScmOpen(kGenericRead | kGenericWrite | kGenericExecute), 0u);
  EXPECT_EQ(Sys().LastError(), static_cast<uint32_t>(kErrAccessDenied));
  ServiceHandle connect = Sys().ScmOpen(kScManagerConnect);
  EXPECT_NE(connect, 0u);
  Sys().ServiceClose(connect);
  machine().settings.admin = true;
  ServiceHandle manager = Sys().ScmOpen(kScManagerAllAccess);
  ServiceHandle service = Sys().ServiceOpen(manager, "appsvc", kServiceStop | kServiceDelete);
  ASSERT_NE(service, 0u);
  EXPECT_EQ(Sys().ServiceDelete(service), 0);
  EXPECT_EQ(Sys().ServiceDelete(service), kErrServiceMarkedForDelete);
  EXPECT_EQ(machine().services.count("APPSVC"), 1u);  // still running
  EXPECT_EQ(Sys().ServiceStop(service), 0);
  EXPECT_EQ(Sys().ServiceStop(service), kErrServiceNotActive);
  Sys().ServiceClose(service);
  EXPECT_EQ(machine().services.count("APPSVC"), 0u);
  EXPECT_EQ(Sys().ServiceOpen(manager, "AppSvc", kServiceStop), 0u);
  EXPECT_EQ(Sys().LastError(), static_cast<uint32_t>(kErrServiceDoesNotExist));
  Sys().ServiceClose(manager);
}

TEST_F(SimImage, ScriptedProgramsAndLibrariesActWhenStarted) {
  LoadImage(R"({
    "files": [{"path": "C:\\App\\a.dll", "text": "damaged"}],
    "programs": [{"path": "C:\\Setup\\setup.exe",
                  "on": {"/X=": [{"op": "extractList"}],
                         "/REGSERVER": [{"op": "setValue", "key": "HKCR\\App.Doc", "value": "Doc"}]},
                  "extractable": [{"path": "C:\\App\\a.dll", "text": "original"},
                                  {"path": "C:\\App\\b.dll", "text": "never listed"}]}],
    "libraries": [{"path": "C:\\App\\server.dll", "exports": ["DllUnregisterServer"],
                   "unregister": [{"op": "removeKey", "key": "HKCR\\CLSID\\{1}"}]},
                  {"path": "SFC.DLL", "restorePointResult": 0}]})");
  ASSERT_EQ(machine().WriteFile("C:\\TEMP\\KTC1.TMP", "C:\\App\\a.dll|10819|25032| 8 | 1a2b\r\n"),
            0);
  EXPECT_EQ(Sys().StartProcess("\"C:\\Setup\\setup.exe\" /X=C:\\TEMP\\KTC1.TMP", nullptr, true), 0);
  EXPECT_EQ(machine().FileContents("C:\\App\\a.dll"), "original");
  EXPECT_FALSE(machine().FileExists("C:\\App\\b.dll"));
  EXPECT_EQ(Sys().ExecProgram("C:\\Setup\\setup.exe /REGSERVER", kSwHide), 33);
  EXPECT_EQ(machine().RegString("HKLM\\SOFTWARE\\Classes\\App.Doc", ""), "Doc");
  EXPECT_EQ(Sys().StartProcess("C:\\Setup\\missing.exe", nullptr, false), kErrFileNotFound);
  ASSERT_EQ(machine().processes.size(), 3u);
  EXPECT_TRUE(machine().processes[0].wait);

  ASSERT_EQ(
      machine().RegSetRaw("HKCR\\CLSID\\{1}\\InprocServer32", "", kRegSz, RegStringBytes("x")), 0);
  LibHandle server = Sys().LoadLib("C:\\App\\server.dll");
  ASSERT_NE(server, 0u);
  EXPECT_FALSE(Sys().HasEntry(server, "DllRegisterServer"));
  int32_t result = -1;
  EXPECT_EQ(Sys().CallEntry(server, "DllUnregisterServer", &result), 0);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(machine().RegKeyExists("HKCR\\CLSID\\{1}"));
  EXPECT_EQ(Sys().LoadSystemLib("ismif32.dll"), 0u);  // not on this machine
  LibHandle sfc = Sys().LoadSystemLib("sfc.dll");
  ASSERT_NE(sfc, 0u);
  RestorePointRequest request = {100, 0, 0, "Uninstall App"};
  RestorePointStatus status = {};
  EXPECT_EQ(Sys().CallRestorePoint(sfc, request, &status, &result), 0);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(machine().libraryCalls.size(), 2u);
  EXPECT_EQ(machine().libraryCalls[1].arguments[3], "Uninstall App");
}

TEST_F(SimImage, ProgramManagerAnswersAndActsOnCommands) {
  LoadImage(R"({"groups": [
      {"name": "Tools", "path": "C:\\WINDOWS\\TOOLS.GRP",
       "items": [{"title": "Tool, One", "command": "C:\\T\\one.exe"}, {"title": "Two", "command": "two.exe"}]},
      {"name": "StartUp"}]})");
  ASSERT_EQ(Sys().DdeStart(), 0);
  ASSERT_EQ(Sys().DdeConnectTo("PROGMAN"), 0);
  char buffer[512];
  int length = Sys().DdeRequestText("GROUPS", buffer, sizeof buffer, 5000);
  EXPECT_EQ(std::string(buffer, length), std::string("Tools\r\nStartUp\r\n", 17));
  length = Sys().DdeRequestText("tools", buffer, sizeof buffer, 5000);
  std::string text(buffer);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "\"Tools\",C:\\WINDOWS\\TOOLS.GRP,2");
  EXPECT_NE(text.find("\r\n\"Tool, One\",\"C:\\T\\one.exe\","), std::string::npos) << text;
  EXPECT_EQ(Sys().DdeRequestText("Nope", buffer, sizeof buffer, 5000), -1);

  EXPECT_EQ(Sys().DdeExecuteText("[ShowGroup(Tools,2)]", 1000), 0);
  EXPECT_EQ(Sys().DdeExecuteText("[DeleteItem(\"Tool, One\")]", 1000), 0);
  EXPECT_EQ(Sys().DdeExecuteText("[DeleteItem(Two)]", 1000), 0);
  EXPECT_NE(Sys().DdeExecuteText("[DeleteItem(Two)]", 1000), 0);
  EXPECT_EQ(Sys().DdeExecuteText("[DeleteGroup(Tools)]", 1000), 0);
  EXPECT_EQ(Sys().DdeExecuteText("[CreateGroup(New)][AddItem(C:\\n.exe,N)]", 1000), 0);
  ASSERT_EQ(machine().groups.size(), 2u);
  EXPECT_EQ(machine().groups[1].items[0].title, "N");
  EXPECT_EQ(machine().ddeCommands.size(), 6u);

  machine().settings.progmanPresent = false;
  Sys().DdeStop();
  ASSERT_EQ(Sys().DdeStart(), 0);
  EXPECT_NE(Sys().DdeConnectTo("PROGMAN"), 0);
}

using SimUser = SimFixture;

TEST_F(SimUser, AnswersFromTheQueueAndCountsUnscriptedQuestions) {
  ui().AnswerMessage(kIdYes);
  ui().AnswerShared(1007);
  EXPECT_EQ(Ui().AskMessage(0, "Remove?", "Caption", kMbYesNo), kIdYes);
  EXPECT_EQ(Ui().AskSharedFile(0, "Shared", "Caption"), 1007);
  EXPECT_EQ(ui().unscriptedQuestions, 0);

  struct Case {
    uint32_t buttons;
    int safest;
  } cases[] = {{kMbOk, kIdOk},
               {kMbOkCancel, kIdCancel},
               {kMbYesNoCancel, kIdCancel},
               {kMbYesNo, kIdNo},
               {kMbAbortRetryIgnore, kIdAbort}};
  for (const Case& c : cases) EXPECT_EQ(Ui().AskMessage(0, "t", "c", c.buttons), c.safest);
  EXPECT_EQ(ui().unscriptedQuestions, 5);

  ui().AnswerOpenLog("C:\\App\\INSTALL.LOG");
  EXPECT_EQ(Ui().AskSharedFile(0, "wrong kind", "c"), kIdCancel);  // the queued answer waits
  char path[260] = "";
  EXPECT_EQ(Ui().AskOpenLog(0, "Installation Logs", path, sizeof path), 0);
  EXPECT_STREQ(path, "C:\\App\\INSTALL.LOG");
  EXPECT_EQ(ui().unscriptedQuestions, 6);
  ASSERT_EQ(ui().transcript.size(), 9u);
  EXPECT_EQ(ui().transcript[0].text, "Remove?");
  EXPECT_EQ(ui().transcript[0].buttons, static_cast<uint32_t>(kMbYesNo));
}

TEST_F(SimUser, PumpHookAndWizardDisplay) {
  ui().pumpHook = [](int) { gRun.cancelled = true; };
  Ui().PumpMessages(1000);
  EXPECT_TRUE(gRun.cancelled);
  EXPECT_EQ(ui().pumpWaits, std::vector<int>({1000}));

  Ui().SetActionText("ignored without a wizard");
  EXPECT_EQ(Ui().ActionControlWidth(), 0);
  ui().wizardPresent = true;
  Ui().SetActionText("Removing File:");
  Ui().SetActionText("Removing File:");
  Ui().SetActionText("Removing Directory:");
  EXPECT_EQ(ui().actionLines, std::vector<std::string>({"Removing File:", "Removing Directory:"}));
  EXPECT_EQ(Ui().MeasureActionText("abcd"), 24);
  EXPECT_EQ(Ui().ActionControlWidth(), 540);
  EXPECT_EQ(Ui().CreateProgressWindow(), 0u);
  ui().progressWindowEnabled = true;
  WindowHandle progress = Ui().CreateProgressWindow();
  Ui().RedrawLoadBar(progress);
  Ui().Destroy(progress);
  Ui().RedrawLoadBar(progress);
  EXPECT_EQ(ui().loadBarRedraws, 1);
  EXPECT_FALSE(Ui().IsVisible(progress));
}

}  // namespace
