// Self-registration: which files are run or loaded, with which switch or entry point, in
// which directory, and that the current directory is always put back.
#include "engine/self_register.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/engine_sim_fixture.h"
#include "support/fault_platform.h"

namespace {

// An image whose DOS header points at signature (the bytes at the header offset).
std::string ImageBytes(const std::string& signature, uint32_t offset = 128) {
  std::string bytes(offset, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  for (int i = 0; i < 4; ++i) bytes[60 + i] = static_cast<char>((offset >> (8 * i)) & 0xFF);
  return bytes + signature + std::string(64, '\0');
}

constexpr char kAppDir[] = "C:\\Program Files\\Sample App";
constexpr char kShortAppDir[] = "C:\\PROGRA~1\\SAMPLE~1";

class SelfRegisterTest : public EngineSimTest {
 protected:
  void SetUp() override {
    EngineSimTest::SetUp();
    MachineImage image;
    image.directories.push_back({"C:\\Program Files", 0x10, "PROGRA~1", ""});
    image.directories.push_back({kAppDir, 0x10, "SAMPLE~1", ""});
    image.directories.push_back({"C:\\Work", 0x10, "", ""});
    ApplyOrFail(image);
    ASSERT_EQ(CurrentDir(), "C:\\Work");
  }

  // Applying an image also resets the platform settings; the test's directory stays.
  void ApplyOrFail(const MachineImage& image) {
    std::string error;
    ASSERT_EQ(machine.ApplyImage(image, &error), 0) << error;
    machine.settings.currentDirectory = "C:\\Work";
    machine.SetCurrentDir("C:\\Work");
  }

  // A self-registering library at path whose entry points set and remove a value.
  void AddLibrary(const std::string& path, std::vector<std::string> exports) {
    MachineImage image;
    ImageLibrary library;
    library.path = path;
    library.exports = std::move(exports);
    ImageAction set;
    set.kind = ImageAction::kSetValue;
    set.key = "HKCR\\CLSID\\{SAMPLE}";
    set.data = std::string("x\0", 2);
    library.onRegister.push_back(set);
    ImageAction remove;
    remove.kind = ImageAction::kRemoveKey;
    remove.key = "HKCR\\CLSID\\{SAMPLE}";
    library.onUnregister.push_back(remove);
    image.libraries.push_back(library);
    ApplyOrFail(image);
    Write(path, ImageBytes("PE"));
  }

  std::string CurrentDir() {
    char buffer[260] = {};
    machine.GetCurrentDir(buffer, sizeof buffer);
    return buffer;
  }
};

// Program files: the switch by direction, the short path, the directory, the wait.
struct ProgramCase {
  const char* file;
  int direction;
  const char* commandLine;
};

TEST_F(SelfRegisterTest, ProgramFilesAreRunWithTheirSwitch) {
  const ProgramCase cases[] = {
      {"SERVER.EXE", kUnregisterServer, "SERVER.EXE\" /UNREGSERVER"},
      {"server.exe", kUnregisterServer, "server.exe\" /UNREGSERVER"},
      {"Server.Exe", kRegisterServer, "Server.Exe\" /REGSERVER"},
  };
  for (const ProgramCase& c : cases) {
    machine.processes.clear();
    std::string path = std::string(kAppDir) + "\\" + c.file;
    Write(path, "not even an image");
    SelfRegister("Self-Unregistering file:\r\n", path.c_str(), c.direction);
    ASSERT_EQ(machine.processes.size(), 1u) << c.file;
    const SimProcessStart& start = machine.processes[0];
    EXPECT_EQ(start.method, SimProcessStart::kCreateProcess) << c.file;
    // The short form may fold the name's case; the switch and the path are what count.
    std::string expected = "\"" + std::string(kShortAppDir) + "\\" + c.commandLine;
    EXPECT_TRUE(EqualNoCase(start.commandLine.c_str(), expected.c_str()))
        << start.commandLine << " is not " << expected;
    EXPECT_EQ(start.currentDir, kShortAppDir) << c.file;
    EXPECT_TRUE(start.wait) << c.file;
    EXPECT_TRUE(machine.libraryCalls.empty()) << c.file;
    EXPECT_EQ(CurrentDir(), "C:\\Work") << c.file;
  }
}

// On a volume without short names the short form keeps its blanks: unquoted, the system
// would start a program planted at "C:\My.exe" with the uninstaller's rights.
TEST_F(SelfRegisterTest, ProgramPathWithBlanksIsQuotedWithoutShortNames) {
  machine.settings.shortNames = false;
  const std::string path = "C:\\My Apps\\No Short Names\\SERVER.EXE";
  Write(path, "not even an image");
  Write("C:\\My.exe", "planted");
  bool plantedRan = false;
  machine.SetProgramHook("C:\\My.exe", [&](SimMachine&, const std::string&) { plantedRan = true; });
  SelfRegister("Self-Unregistering file:\r\n", path.c_str(), kUnregisterServer);
  ASSERT_EQ(machine.processes.size(), 1u);
  EXPECT_EQ(machine.processes[0].commandLine, "\"" + path + "\" /UNREGSERVER");
  EXPECT_FALSE(plantedRan);

  // A path of 259 characters with blanks is started whole.
  std::string longPath = "C:\\My Apps\\" + std::string(240, 'x') + " y\\S.EXE";
  ASSERT_EQ(longPath.size(), 259u);
  Write(longPath, "not even an image");
  machine.processes.clear();
  SelfRegister("Checking:\r\n", longPath.c_str(), kRegisterServer);
  ASSERT_EQ(machine.processes.size(), 1u);
  EXPECT_EQ(machine.processes[0].commandLine, "\"" + longPath + "\" /REGSERVER");
}

TEST_F(SelfRegisterTest, LibraryIsUnregisteredUnderOle) {
  std::string path = std::string(kAppDir) + "\\COMP.OCX";
  AddLibrary(path, {"DllRegisterServer", "DllUnregisterServer"});
  ASSERT_EQ(machine.RegSetRaw("HKCR\\CLSID\\{SAMPLE}", "", kRegSz, std::string("x\0", 2)), 0);

  SelfRegister("Self-Unregistering file:\r\n", path.c_str(), kUnregisterServer);

  EXPECT_FALSE(machine.RegKeyExists("HKCR\\CLSID\\{SAMPLE}"));
  EXPECT_EQ(CallsOf("OLE32.DLL"), (std::vector<std::string>{"OleInitialize", "OleUninitialize"}));
  EXPECT_EQ(CallsOf("COMP.OCX"), (std::vector<std::string>{"DllUnregisterServer"}));
  // The logged path is the one loaded, not its short form.
  ASSERT_FALSE(CallsOf("COMP.OCX").empty());
  for (const SimLibraryCall& call : machine.libraryCalls) {
    if (call.entry == "DllUnregisterServer") {
      EXPECT_EQ(call.library, path);
    }
  }
  EXPECT_TRUE(machine.processes.empty());
  EXPECT_EQ(CurrentDir(), "C:\\Work");
}

TEST_F(SelfRegisterTest, LibraryIsRegisteredAgainInTheOtherDirection) {
  std::string path = std::string(kAppDir) + "\\COMP.DLL";
  AddLibrary(path, {"DllRegisterServer", "DllUnregisterServer"});
  SelfRegister("Checking:\r\n", path.c_str(), kRegisterServer);
  EXPECT_TRUE(machine.RegKeyExists("HKCR\\CLSID\\{SAMPLE}"));
  EXPECT_EQ(CallsOf("COMP.DLL"), (std::vector<std::string>{"DllRegisterServer"}));
}

TEST_F(SelfRegisterTest, LibraryWithoutTheEntryPointIsOnlyLoadedAndReleased) {
  std::string path = std::string(kAppDir) + "\\PLAIN.DLL";
  AddLibrary(path, {"DllRegisterServer"});
  SelfRegister("Self-Unregistering file:\r\n", path.c_str(), kUnregisterServer);
  EXPECT_TRUE(CallsOf("PLAIN.DLL").empty());
  EXPECT_EQ(CallsOf("OLE32.DLL"), (std::vector<std::string>{"OleInitialize", "OleUninitialize"}));
}

// OLE is uninitialised only when this call initialised it: an OleInitialize that is not
// there, fails or is not called ends nobody else's initialisation. Every call failing in
// turn: the library is released, and no OleUninitialize comes without an OleInitialize
// (the uninitialisation itself may fail).
TEST_F(SelfRegisterTest, OleIsEndedOnlyWhenItWasBegun) {
  std::string path = std::string(kAppDir) + "\\COMP.OCX";
  AddLibrary(path, {"DllRegisterServer", "DllUnregisterServer"});
  bool injected = true;
  for (uint64_t k = 1; injected; ++k) {
    SCOPED_TRACE(k);
    machine.libraryCalls.clear();
    FaultPlatform fault(machine);
    fault.FailCall(k);
    InstallPlatform(&fault);
    SelfRegister("Self-Unregistering file:\r\n", path.c_str(), kUnregisterServer);
    InstallPlatform(&machine);
    injected = fault.calls() >= k;
    EXPECT_EQ(fault.OpenHandles(), 0u) << fault.OpenHandlesText();
    std::vector<std::string> ole = CallsOf("OLE32.DLL");
    const std::vector<std::string> whole = {"OleInitialize", "OleUninitialize"};
    EXPECT_TRUE(ole.size() <= 2 && std::equal(ole.begin(), ole.end(), whole.begin()))
        << FaultOpName(fault.injectedOp()) << ": " << ole.size() << " calls";
  }
}

// Files that are neither a program by name nor a 32-bit image are left alone.
TEST_F(SelfRegisterTest, OtherFilesAreLeftAlone) {
  const char* files[] = {"OLD16.DLL", "TEXT.DLL", "SHORT.DLL", "GONE.DLL"};
  Write(std::string(kAppDir) + "\\OLD16.DLL", ImageBytes("NE"));
  Write(std::string(kAppDir) + "\\TEXT.DLL", "plain text, no image at all");
  Write(std::string(kAppDir) + "\\SHORT.DLL", "MZ");
  for (const char* file : files) {
    std::string path = std::string(kAppDir) + "\\" + file;
    SelfRegister("Self-Unregistering file:\r\n", path.c_str(), kUnregisterServer);
    EXPECT_TRUE(machine.libraryCalls.empty()) << file;
    EXPECT_TRUE(machine.processes.empty()) << file;
    EXPECT_EQ(CurrentDir(), "C:\\Work") << file;
  }
}

TEST_F(SelfRegisterTest, TheActionLineShowsPrefixAndPath) {
  ui.wizardPresent = true;
  std::string path = std::string(kAppDir) + "\\GONE.DLL";
  SelfRegister("Self-Unregistering file:\r\n", path.c_str(), kUnregisterServer);
  EXPECT_EQ(ui.actionText, "\r\n\r\nSelf-Unregistering file:\r\n" + path);
  EXPECT_EQ(std::string(gRun.actionText), "Self-Unregistering file:\r\n" + path);
}

TEST_F(SelfRegisterTest, AFileInADriveRootRunsInThatRoot) {
  // Written through the seam: the machine's own set-up helper refuses files in a root.
  FileHandle file = machine.CreateTruncated("C:\\ROOTSRV.EXE");
  ASSERT_NE(file, kNoFile);
  machine.CloseFile(file);
  SelfRegister("Self-Unregistering file:\r\n", "C:\\ROOTSRV.EXE", kUnregisterServer);
  ASSERT_EQ(machine.processes.size(), 1u);
  EXPECT_EQ(machine.processes[0].currentDir, "C:\\");
  EXPECT_EQ(CurrentDir(), "C:\\Work");
}

// The image test over odd headers.
struct ImageCase {
  const char* name;
  std::string contents;
  bool image;
};

TEST_F(SelfRegisterTest, IsWin32ImageReadsTheHeaderOffset) {
  std::string farOffset = ImageBytes("PE", 4096);
  std::string pointsPastEnd = ImageBytes("PE");
  pointsPastEnd[61] = 0x7F;  // header offset far beyond the file's end
  const ImageCase cases[] = {
      {"pe", ImageBytes("PE"), true},
      {"pe-far", farOffset, true},
      {"pe-lowercase-sig", ImageBytes("pe"), false},
      {"ne", ImageBytes("NE"), false},
      {"zm", "ZM" + ImageBytes("PE").substr(2), false},
      {"past-end", pointsPastEnd, false},
      {"header-only", ImageBytes("PE").substr(0, 62), false},
      {"empty", "", false},
  };
  for (const ImageCase& c : cases) {
    std::string path = std::string("C:\\Work\\") + c.name + ".BIN";
    Write(path, c.contents);
    EXPECT_EQ(IsWin32Image(path.c_str()), c.image) << c.name;
  }
  EXPECT_FALSE(IsWin32Image("C:\\Work\\MISSING.BIN"));
}

}  // namespace
