// LogLoader on the simulated machine: validity and refusals (through the scripted user's
// transcript), header values, sections and code pages, every record rule and group, the
// classification of files, merges across sections, per-user and removable-drive records,
// capacities and the section limit.
#include "log/log_loader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "log/log_reader.h"
#include "platform/sim/sim_machine.h"
#include "run/run_reset.h"
#include "support/fault_platform.h"
#include "support/sim_fixture.h"

namespace {

const char kLogPath[] = "C:\\APP\\INSTALL.LOG";
const char kSystem[] = "C:\\WINDOWS\\SYSTEM32";

class LogLoaderTest : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    machine().settings.systemDirectory = kSystem;
    ResetRunWideState();
    gRun.newShell = true;
    gRun.platformKind = kPlatformNt;
    ui().progressWindowEnabled = true;
    gRun.mainWindow = ui().CreateMainWindow("Uninstall", false);
    machine().MakeDirectories("C:\\APP");
    machine().MakeDirectories(kSystem);
  }
  void TearDown() override {
    ArenaRelease();
    SimFixture::TearDown();
  }

  // Writes the log (lines joined by CR LF) and loads it.
  int LoadRaw(const std::string& contents, const char* path = kLogPath) {
    // Through the seam: the machine's own WriteFile refuses a file in a drive root.
    std::string parent(path, strrchr(path, '\\') - path);
    if (parent.size() > 2) machine().MakeDirectories(parent);
    FileHandle file = machine().CreateTruncated(path);
    EXPECT_NE(file, kNoFile) << path;
    machine().WriteBytes(file, contents.data(), static_cast<uint32_t>(contents.size()));
    machine().CloseFile(file);
    return LogLoader(path, appDirectory);
  }
  // Drives other than C: come from an image.
  void SetDrives(std::vector<ImageDrive> drives) {
    MachineImage image;
    image.platform = machine().settings;
    image.platform.drives = std::move(drives);
    ASSERT_EQ(machine().ApplyImage(image), 0);
  }
  int Load(const std::vector<std::string>& body, const char* first = "***  Installation Log") {
    std::string text = std::string(first) + "\r\nTitle: Sample App\r\n";
    for (const std::string& line : body) text += line + "\r\n";
    return LoadRaw(text);
  }
  void Exists(const char* path) { machine().WriteFile(path, "data"); }

  // The only message the user saw.
  void ExpectOneMessage(const char* text, const char* caption) {
    ASSERT_EQ(ui().transcript.size(), 1u);
    EXPECT_EQ(ui().transcript[0].text, text);
    EXPECT_EQ(ui().transcript[0].caption, caption);
    EXPECT_EQ(ui().transcript[0].buttons, kMbOk);
  }

  char appDirectory[256] = {};
};

// ---------------------------------------------------------------------------------------
// Validity, refusals, title.

TEST_F(LogLoaderTest, ValidityOfTheFirstLineAndTheHeader) {
  struct {
    const char* name;
    std::string contents;
    int result;
  } cases[] = {
      {"empty file", "", 1},
      {"only empty lines", "\r\n\r\n", 1},
      {"first line not a section", "Title: X\r\n", 1},
      {"section marker without its blank", "***Log\r\nTitle: X\r\n", 1},
      {"no title line", "*** Log\r\nFile Copy: C:\\APP\\A.EXE\r\n", 1},
      {"title in lower case in the header", "*** Log\r\ntitle: X\r\n", 1},
      {"binary garbage", std::string("\x00\xFF\x13\x10\r\x01", 6), 1},
      {"empty lines before the first line", "\r\n\r\n*** Log\r\nTitle: X\r\n", 0},
      {"header lines skipped", "*** Log\r\nFoo\r\nFile Copy: C:\\APP\\A.EXE\r\nTitle: X", 0},
      {"unterminated title line", "*** Log\r\nTitle: X", 0},
  };
  for (const auto& c : cases) {
    ResetRunWideState();
    ui().transcript.clear();
    gRun.progressWindow = ui().CreateProgressWindow();
    EXPECT_EQ(LoadRaw(c.contents), c.result) << c.name;
    if (c.result == 1) {
      ExpectOneMessage("Invalid INSTALL.LOG file.", "Tarn Uninstall");
      EXPECT_EQ(gRun.progressWindow, 0u) << c.name;
    } else {
      EXPECT_TRUE(ui().transcript.empty()) << c.name;
      EXPECT_EQ(gStore.PrivateFiles.count, 0) << c.name;  // header records have no effect
    }
  }
}

TEST_F(LogLoaderTest, UnreadableLogIsRefused) {
  gRun.progressWindow = ui().CreateProgressWindow();
  EXPECT_EQ(LogLoader("C:\\APP\\NONE.LOG", appDirectory), 1);
  ExpectOneMessage("Could not open INSTALL.LOG file.", "Tarn Uninstall");
  EXPECT_EQ(gRun.progressWindow, 0u);
}

// A read that fails ends the file where it stops, which may be inside a line: here the
// first piece of the log ends in "File Tree: C:\APP\DATA" after "C:\APP", and taken as
// it stands the line would have the run empty the whole application folder. Whichever
// read fails, the log is refused as unreadable; read whole, it loads.
TEST_F(LogLoaderTest, ALogThatCannotBeReadWholeIsRefused) {
  std::string text = "***  Installation Log\r\nTitle: Sample App\r\n";
  const std::string tree = "File Tree: C:\\APP";
  while (text.size() + tree.size() < kLogBufferSize) text += "Font Registered: X.TTF\r\n";
  text.resize(kLogBufferSize - tree.size() - 2);
  text += "\r\n" + tree + "\\DATA\r\nMade Dir: C:\\APP\r\n";
  ASSERT_EQ(text.find(tree), kLogBufferSize - tree.size());
  for (int failing = 0; failing <= 3; ++failing) {
    SCOPED_TRACE(failing);
    ResetRunWideState();
    ui().transcript.clear();
    FaultPlatform fault(machine());
    if (failing > 0) fault.FailOperation(FaultOp::ReadBytes, failing);
    InstallPlatform(&fault);
    int result = LoadRaw(text);
    InstallPlatform(&machine());
    EXPECT_EQ(fault.OpenHandles(), 0u) << fault.OpenHandlesText();
    if (failing == 0) {
      EXPECT_EQ(result, 0);
      ASSERT_EQ(gStore.Directories.count, 2);
      EXPECT_STREQ(gStore.Directories[1]->path.c_str(), "C:\\APP\\DATA\\");
      continue;
    }
    EXPECT_EQ(result, 1);
    ExpectOneMessage("Could not open INSTALL.LOG file.", "Tarn Uninstall");
  }
}

// Without the Windows or the system directory the system's files cannot be told from the
// application's: the log is refused before it is read. Whichever directory search fails,
// the log's own directory is never recorded in a form other than its long one, which the
// directories the log makes merge with (or it would be removed on its own, in a rollback
// too).
TEST_F(LogLoaderTest, WhatTheLoadMustKnowOfTheMachine) {
  for (FaultOp op : {FaultOp::WindowsDirectory, FaultOp::SystemDirectory}) {
    SCOPED_TRACE(FaultOpName(op));
    ResetRunWideState();
    ui().transcript.clear();
    FaultPlatform fault(machine());
    fault.FailOperation(op);
    InstallPlatform(&fault);
    EXPECT_EQ(Load({"File Copy: C:\\WINDOWS\\SYSTEM32\\DRIVER.386"}), 1);
    InstallPlatform(&machine());
    ExpectOneMessage("Could not open INSTALL.LOG file.", "Tarn Uninstall");
  }

  ASSERT_EQ(machine().MakeDirectories("C:\\Program Files\\Sample App"), 0);
  const std::string shortLog = "C:\\" + machine().Find("C:\\Program Files")->shortName + "\\" +
                               machine().Find("C:\\Program Files\\Sample App")->shortName +
                               "\\INSTALL.LOG";
  const std::string log =
      "***  Installation Log\r\nTitle: Sample App\r\n"
      "Made Dir: C:\\Program Files\\Sample App\r\n";
  bool injected = true;
  for (uint64_t n = 1; injected; ++n) {
    SCOPED_TRACE(n);
    ResetRunWideState();
    FaultPlatform fault(machine());
    fault.FailOperation(FaultOp::FindFirst, n);
    InstallPlatform(&fault);
    int result = LoadRaw(log, shortLog.c_str());
    InstallPlatform(&machine());
    injected = fault.injected();
    ASSERT_EQ(result, 0);
    for (int32_t i = 0; i < gStore.Directories.count; ++i) {
      if (gStore.Directories[i]->firstSection != kLogDirectorySection) continue;
      EXPECT_STREQ(gStore.Directories[i]->path.c_str(), "C:\\Program Files\\Sample App\\");
    }
  }
}

// A file both installations logged stays the first one's whatever existence test fails:
// set aside as missing in the first section, its record from the second keeps section 1 as
// its first, so that a rollback of the second keeps it.
TEST_F(LogLoaderTest, AFailedExistenceTestKeepsTheFirstInstallationsFile) {
  Exists("C:\\APP\\A.EXE");
  Exists("C:\\WINDOWS\\SYSTEM32\\A.DLL");
  bool injected = true;
  for (uint64_t n = 1; injected; ++n) {
    SCOPED_TRACE(n);
    ResetRunWideState();
    FaultPlatform fault(machine());
    fault.FailOperation(FaultOp::GetAttributes, n);
    InstallPlatform(&fault);
    int result = Load({"File Copy: C:\\APP\\A.EXE", "File Copy: C:\\WINDOWS\\SYSTEM32\\A.DLL",
                       "*** Installation Log 2", "File Copy: C:\\APP\\A.EXE",
                       "File Copy: C:\\WINDOWS\\SYSTEM32\\A.DLL"});
    InstallPlatform(&machine());
    injected = fault.injected();
    ASSERT_EQ(result, 0);
    for (const ItemList<FileItem>* list : {&gStore.PrivateFiles, &gStore.SystemFiles})
      for (int32_t i = 0; i < list->count; ++i)
        EXPECT_EQ((*list)[i]->firstSection, 1) << (*list)[i]->path.c_str();
  }
}

TEST_F(LogLoaderTest, TitleEndingsAndCaption) {
  struct {
    const char* line;
    const char* title;
  } cases[] = {
      {"Title: Sample App INSTALLATION", "Sample App"},
      {"Title: Sample App installation", "Sample App"},
      {"Title: Sample App Install", "Sample App"},
      {"Title: INSTALL", "INSTALL"},
      {"Title:  INSTALL", " INSTALL"},  // not longer than 8 characters: kept
      {"Title: X INSTALL INSTALLATION", "X"},
      {"Title: Sample", "Sample"},
      {"Title: ", ""},
      {"Title:X", ""},
  };
  for (const auto& c : cases) {
    SetTitle(c.line);
    EXPECT_STREQ(gRun.appTitle.c_str(), c.title) << c.line;
    EXPECT_EQ(ui().windows[gRun.mainWindow].caption, c.title) << c.line;
  }
  gRun.hasCommandTitle = true;
  ui().windows[gRun.mainWindow].caption = "From the command line";
  SetTitle("Title: Other");
  EXPECT_STREQ(gRun.appTitle.c_str(), "Other");
  EXPECT_EQ(ui().windows[gRun.mainWindow].caption, "From the command line");
}

TEST_F(LogLoaderTest, BodyTitleIsCaseInsensitiveAndTheLastWins) {
  ASSERT_EQ(Load({"title: Second INSTALLATION", "TITLE: Third"}), 0);
  EXPECT_STREQ(gRun.appTitle.c_str(), "Third");
}

TEST_F(LogLoaderTest, AdministratorRights) {
  struct {
    const char* name;
    bool nt;
    bool admin;
    int result;
  } cases[] = {
      {"NT without rights", true, false, 1},
      {"NT with rights", true, true, 0},
      {"other platform", false, false, 0},
  };
  for (const auto& c : cases) {
    ResetRunWideState();
    ui().transcript.clear();
    machine().settings.admin = c.admin;
    gRun.platformKind = c.nt ? kPlatformNt : kPlatformOther;
    gRun.progressWindow = ui().CreateProgressWindow();
    int result = Load({"Create Service: Before", "User Rights: Admin", "user rights: admin",
                       "Create Service: After"});
    EXPECT_EQ(result, c.result) << c.name;
    if (c.result == 1) {
      ExpectOneMessage(
          "This software was installed under an account with administrator rights. You should "
          "log onto an account with administrator rights to uninstall this software.",
          "Uninstall");
      EXPECT_EQ(gRun.progressWindow, 0u);
      EXPECT_EQ(gStore.Services.count, 1) << "what came before the refusal stays";
    } else {
      EXPECT_TRUE(ui().transcript.empty()) << c.name;
      EXPECT_EQ(gStore.Services.count, 2) << c.name;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Header values, sections, progress.

TEST_F(LogLoaderTest, HeaderValues) {
  ASSERT_EQ(Load({"Uninstall MIF: APP.MIF", "Manufacturer: Maker", "Product: Prod",
                  "Version Number: 1.2", "Serial Number: 42", "System Restore: Enabled now",
                  "SubSystem: BDE 5", "Per-User ID: user7"}),
            0);
  EXPECT_STREQ(gStore.statusMifName.c_str(), "APP.MIF");
  EXPECT_STREQ(gStore.manufacturer.c_str(), "Maker");
  EXPECT_STREQ(gStore.product.c_str(), "Prod");
  EXPECT_STREQ(gStore.versionNumber.c_str(), "1.2");
  EXPECT_STREQ(gStore.serialNumber.c_str(), "42");
  EXPECT_TRUE(gRun.restorePointWanted);
  ASSERT_NE(gStore.subSystemName, nullptr);
  EXPECT_STREQ(gStore.subSystemName, "BDE 5");
  ASSERT_NE(gStore.perUserId, nullptr);
  EXPECT_STREQ(gStore.perUserId, "user7");
}

TEST_F(LogLoaderTest, DeleteInUseFiles) {
  struct {
    std::vector<std::string> lines;
    bool expected;
  } cases[] = {
      {{"Delete in-use files: On"}, true},
      {{"Delete in-use files: on"}, true},
      {{"Delete in-use files: On", "Delete in-use files: Off"}, false},
      {{"Delete in-use files: On", "Delete in-use files: Yes"}, true},
      {{"Delete in-use files: On", "Delete in-use files: O"}, true},
      {{"Delete in-use files: Yes"}, false},
  };
  for (const auto& c : cases) {
    ResetRunWideState();
    ASSERT_EQ(Load(c.lines), 0);
    EXPECT_EQ(gStore.deleteInUse, c.expected) << c.lines.back();
  }
}

TEST_F(LogLoaderTest, SectionsSourcesAndOffsets) {
  std::string text =
      "*** Log\r\nTitle: T\r\nSource: D:\\SETUP.EXE\r\n"
      "*** Upgrade\r\nSource: D:\\SETUP.EXE | 01-02-2001 | 10:00:00 | 1234\r\n"
      "*** Third\r\nCreate Service: S\r\n";
  ASSERT_EQ(LoadRaw(text), 0);
  EXPECT_EQ(gStore.sectionCount, 3);
  EXPECT_STREQ(SectionSource(1), "D:\\SETUP.EXE");
  EXPECT_STREQ(SectionSource(2), "D:\\SETUP.EXE | 01-02-2001 | 10:00:00 | 1234");
  EXPECT_EQ(SectionSource(3), nullptr);
  EXPECT_TRUE(gRun.repairAvailable);
  EXPECT_EQ(gStore.lastSectionOffset, static_cast<int32_t>(text.find("*** Third")));
  EXPECT_EQ(gStore.Services[0]->section, 3);
  EXPECT_EQ(gStore.logSize, static_cast<int32_t>(text.size()));
}

TEST_F(LogLoaderTest, OneSectionLeavesOffsetZeroAndSourceWithoutBarNoRepair) {
  ASSERT_EQ(Load({"Source: D:\\SETUP.EXE"}), 0);
  EXPECT_EQ(gStore.lastSectionOffset, 0);
  EXPECT_EQ(gStore.sectionCount, 1);
  EXPECT_FALSE(gRun.repairAvailable);
}

TEST_F(LogLoaderTest, SectionOffsetSurvivesOddLines) {
  // A line feed inside the marker line and a marker line past the line length: the offset
  // is still that of the marker's first character.
  std::string text = "*** Log\r\nTitle: T\r\n*** a\nb\r\n*** " + std::string(3000, 'x') + "\r\n";
  ASSERT_EQ(LoadRaw(text), 0);
  EXPECT_EQ(gStore.sectionCount, 3);
  EXPECT_EQ(gStore.lastSectionOffset, static_cast<int32_t>(text.rfind("*** ")));
}

TEST_F(LogLoaderTest, ProgressRedrawsOncePerRefill) {
  gRun.progressWindow = ui().CreateProgressWindow();
  std::vector<std::string> body;
  for (int i = 0; i < 3000; ++i) body.push_back("Execute Name: stray line " + std::to_string(i));
  ASSERT_EQ(Load(body), 0);
  int refills = static_cast<int>((gStore.logSize + kLogBufferSize - 1) / kLogBufferSize);
  EXPECT_GE(refills, 4);
  EXPECT_EQ(ui().loadBarRedraws, refills);
  EXPECT_EQ(gStore.logPosition, gStore.logSize);
}

TEST_F(LogLoaderTest, TooManySectionsAreRefused) {
  std::string text = "*** Log\r\nTitle: T\r\n";
  for (int i = 2; i <= kMaxSections; ++i) text += "*** s\r\n";
  text += "Create Service: Last\r\n";
  ASSERT_EQ(LoadRaw(text), 0);
  EXPECT_EQ(gStore.sectionCount, kMaxSections);
  EXPECT_EQ(gStore.Services[0]->section, kMaxSections);

  ResetRunWideState();
  text += "*** one too many\r\nCreate Service: Never\r\n";
  gRun.progressWindow = ui().CreateProgressWindow();
  EXPECT_EQ(LoadRaw(text), 1);
  ExpectOneMessage("Invalid INSTALL.LOG file.", "Tarn Uninstall");
  EXPECT_EQ(gStore.Services.count, 1);
  EXPECT_EQ(gStore.sectionCount, kMaxSections);
}

// ---------------------------------------------------------------------------------------
// Preparation: application directory, the log's own directory, profile roots.

TEST_F(LogLoaderTest, LogDirectoryEntry) {
  struct {
    const char* logPath;
    const char* entry;  // null: no entry
    const char* appDir;
  } cases[] = {
      {"C:\\APP\\INSTALL.LOG", "C:\\APP\\", "C:\\APP\\"},
      {"C:\\INSTALL.LOG", nullptr, "C:\\"},
      {"C:\\WINDOWS\\INSTALL.LOG", nullptr, "C:\\WINDOWS\\"},
      {"C:\\WINDOWS\\SYSTEM32\\INSTALL.LOG", nullptr, "C:\\WINDOWS\\SYSTEM32\\"},
      {"C:\\WINDOWS\\APPX\\INSTALL.LOG", "C:\\WINDOWS\\APPX\\", "C:\\WINDOWS\\APPX\\"},
  };
  for (const auto& c : cases) {
    ResetRunWideState();
    ASSERT_EQ(LoadRaw("*** L\r\nTitle: T\r\n", c.logPath), 0)
        << c.logPath << " " << (ui().transcript.empty() ? "" : ui().transcript.back().text);
    EXPECT_STREQ(appDirectory, c.appDir) << c.logPath;
    if (c.entry == nullptr) {
      EXPECT_EQ(gStore.Directories.count, 0) << c.logPath;
    } else {
      ASSERT_EQ(gStore.Directories.count, 1) << c.logPath;
      EXPECT_STREQ(gStore.Directories[0]->path.c_str(), c.entry);
      EXPECT_EQ(gStore.Directories[0]->dirSection, kLogDirectorySection);
      EXPECT_EQ(gStore.Directories[0]->treeSection, 0);
    }
  }
}

TEST_F(LogLoaderTest, AppDirectoryIsShortAndShortenedByMadeDir) {
  machine().MakeDirectories("C:\\Program Files\\Sample App\\Bin");
  const char* log = "C:\\Program Files\\Sample App\\Bin\\INSTALL.LOG";
  ASSERT_EQ(LoadRaw("*** L\r\nTitle: T\r\n", log), 0);
  std::string shortBin = appDirectory;
  EXPECT_EQ(shortBin.back(), '\\');
  EXPECT_EQ(shortBin.find(' '), std::string::npos) << shortBin;

  struct {
    const char* madeDir;
    bool shortens;
  } cases[] = {
      {"Made Dir: C:\\Program Files\\Sample App", true},
      {"Made Dir: C:\\Program Files\\Sample App\\Bin", true},
      {"Made Dir: C:\\Other", false},
      {"Made Dir: C:", false},  // malformed: never shortens to a drive root
      {"Made Dir: \\", false},
  };
  for (const auto& c : cases) {
    ResetRunWideState();
    machine().WriteFile(log, std::string("*** L\r\nTitle: T\r\n") + c.madeDir + "\r\n");
    ASSERT_EQ(LogLoader(log, appDirectory), 0);
    std::string dir = appDirectory;
    if (c.shortens) {
      EXPECT_EQ(dir, shortBin.substr(0, dir.size())) << c.madeDir;
      EXPECT_LE(dir.size(), shortBin.size()) << c.madeDir;
      EXPECT_EQ(dir.back(), '\\') << c.madeDir;
    } else {
      EXPECT_EQ(dir, shortBin) << c.madeDir;
    }
  }
}

// The loader converts every created directory to its short form; each folder on the way
// is searched for once in the load, however many records pass through it.
TEST_F(LogLoaderTest, EachFolderOfTheCreatedDirectoriesIsSearchedOnce) {
  machine().MakeDirectories("C:\\Program Files\\Bench App\\Data\\Deep\\Deeper");
  machine().MakeDirectories("C:\\Program Files\\Bench App\\Bin");
  const char* log = "C:\\Program Files\\Bench App\\INSTALL.LOG";
  std::string text = "*** L\r\nTitle: T\r\n";
  for (const char* dir : {"", "\\Bin", "\\Data", "\\Data\\Deep", "\\Data\\Deep\\Deeper"}) {
    text += std::string("Made Dir: C:\\Program Files\\Bench App") + dir + "\r\n";
  }
  int before = machine().directorySearches;
  ASSERT_EQ(LoadRaw(text, log), 0);
  // C:\Program Files and C:\PROGRA~1\Bench App for the log's directory, then Bin, Data,
  // Deep and Deeper, each below the short form of its parent: once each.
  EXPECT_EQ(machine().directorySearches - before, 6);
  std::string dir = appDirectory;
  EXPECT_EQ(dir.rfind("C:\\PROGRA~1\\", 0), 0u) << dir;
  EXPECT_EQ(dir.find(' '), std::string::npos) << dir;
  ASSERT_EQ(gStore.Directories.count, 1);
  EXPECT_STREQ(gStore.Directories[0]->path.c_str(), "C:\\Program Files\\Bench App\\");
  // The next load searches again: the file system may have changed between loads.
  ResetItemStore();
  before = machine().directorySearches;
  ASSERT_EQ(LogLoader(log, appDirectory), 0);
  EXPECT_EQ(machine().directorySearches - before, 6);
}

// Code page 932: C:\表 ends in the backslash's byte (0x95 0x5C) without ending in a
// separator. Its sibling C:\表示 is not inside it, and the folder keeps its last character.
TEST_F(LogLoaderTest, FolderEndingInADoubleByteCharacterIsNotAPrefixOfItsSibling) {
  machine().settings.ansiCodePage = 932;
  LoadTextRules();
  ASSERT_EQ(
      Load({"Made Dir: C:\\\x95\x5C", "Made Dir: C:\\\x95\x5C\x8E\xA6", "File Tree: C:\\\x95\x5C"}),
      0);
  // The log's own directory comes first.
  ASSERT_EQ(gStore.Directories.count, 3);
  EXPECT_STREQ(gStore.Directories[1]->path.c_str(), "C:\\\x95\x5C\\");
  EXPECT_NE(gStore.Directories[1]->treeSection, 0);
  EXPECT_STREQ(gStore.Directories[2]->path.c_str(), "C:\\\x95\x5C\x8E\xA6\\");
  EXPECT_EQ(gStore.Directories[2]->treeSection, 0);
  machine().settings.ansiCodePage = 1252;
  LoadTextRules();
}

// A log named relative to the current directory still yields a full application
// directory, whatever the number of folders in the name; the clean-up run needs one.
TEST_F(LogLoaderTest, RelativeLogPathGivesAFullAppDirectory) {
  machine().MakeDirectories("C:\\WORK\\My App\\Sub");
  machine().SetCurrentDir("C:\\WORK");
  for (const char* log : {"My App\\INSTALL.LOG", "My App\\Sub\\INSTALL.LOG"}) {
    machine().WriteFile(std::string("C:\\WORK\\") + log, "*** L\r\nTitle: T\r\n");
    ResetRunWideState();
    ASSERT_EQ(LogLoader(log, appDirectory), 0) << log;
    std::string dir = appDirectory;
    EXPECT_EQ(dir.rfind("C:\\WORK\\", 0), 0u) << log << " gave " << dir;
    EXPECT_EQ(dir.find(' '), std::string::npos) << dir;  // short form
    EXPECT_EQ(dir.back(), '\\') << dir;
  }
}

TEST_F(LogLoaderTest, PerUserInstallationDropsUserLinksAndCurrentUserValues) {
  const char* shellFolders =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  std::string menu = "C:\\WINNT\\Profiles\\joe\\Start Menu";
  std::string common = "C:\\WINNT\\Profiles\\All Users\\Start Menu";
  machine().RegSetRaw(std::string("HKCU\\") + shellFolders, "Start Menu", kRegSz, menu + '\0');
  machine().RegSetRaw(std::string("HKLM\\") + shellFolders, "Common Start Menu", kRegSz,
                      common + '\0');
  Exists("C:\\WINNT\\Profiles\\joe\\Start Menu\\App.lnk");
  Exists("C:\\WINNT\\Profiles\\All Users\\Start Menu\\App.lnk");
  Exists("C:\\WINNT\\Profiles\\ann\\Start Menu\\Early.lnk");
  ASSERT_EQ(Load({"Shell Link: C:\\WINNT\\Profiles\\ann\\Start Menu\\Early.lnk",
                  "RegDB Key: Software\\App", "RegDB Val: 1", "RegDB Root: 1", "Per-User ID: joe-1",
                  "Shell Link: C:\\WINNT\\Profiles\\joe\\Start Menu\\App.lnk",
                  "Shell Link: C:\\WINNT\\Profiles\\All Users\\Start Menu\\App.lnk",
                  "RegDB Key: Software\\App2", "RegDB Val: 1", "RegDB Root: 1",
                  "RegDB Key: Software\\App3", "RegDB Val: 1", "RegDB Root: 2"}),
            0);
  EXPECT_STREQ(gStore.profilesRoot.c_str(), "C:\\WINNT\\Profiles\\");
  EXPECT_STREQ(gStore.commonProfileRoot.c_str(), "C:\\WINNT\\Profiles\\All Users\\");
  ASSERT_EQ(gStore.PrivateFiles.count, 2);
  EXPECT_STREQ(gStore.PrivateFiles[0]->path.c_str(),
               "C:\\WINNT\\Profiles\\ann\\Start Menu\\Early.lnk");
  EXPECT_STREQ(gStore.PrivateFiles[1]->path.c_str(),
               "C:\\WINNT\\Profiles\\All Users\\Start Menu\\App.lnk");
  ASSERT_EQ(gStore.RegKeys.count, 2);
  EXPECT_STREQ(gStore.RegKeys[0]->key.c_str(), "Software\\App");
  EXPECT_STREQ(gStore.RegKeys[1]->key.c_str(), "Software\\App3");
  EXPECT_EQ(gStore.RepairValues.count, 2);
}

TEST_F(LogLoaderTest, ProfileRootsStayStarWithoutTheNewShell) {
  gRun.newShell = false;
  ASSERT_EQ(Load({}), 0);
  EXPECT_STREQ(gStore.profilesRoot.c_str(), "*");
  EXPECT_STREQ(gStore.commonProfileRoot.c_str(), "*");
}

// ---------------------------------------------------------------------------------------
// File groups.

TEST_F(LogLoaderTest, FileClassification) {
  Exists("C:\\APP\\MAIN.EXE");
  Exists("C:\\WINDOWS\\SYSTEM32\\SHARED.DLL");
  Exists("C:\\WINDOWS\\SYSTEM32\\MINE.DLL");
  Exists("C:\\WINDOWS\\WIN.DLL");
  Exists("C:\\APP\\OLD.DLL");
  Exists("C:\\APP\\COUNTED.DLL");
  machine().RegSetRaw("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                      "C:\\APP\\COUNTED.DLL", kRegDword, std::string("\x01\0\0\0", 4));
  ASSERT_EQ(
      Load({"File Copy: C:\\APP\\MAIN.EXE |  stamp 1",
            "File Copy: C:\\WINDOWS\\SYSTEM32\\SHARED.DLL",
            "Non-System File:", "File Copy: C:\\WINDOWS\\SYSTEM32\\MINE.DLL",
            "Non-System File:", "File Copy: C:\\WINDOWS\\WIN.DLL|x", "File Copy: C:\\APP\\GONE.DLL",
            "File Overwrite: C:\\APP\\OLD.DLL", "File Overwrite: C:\\APP\\COUNTED.DLL"}),
      0);
  ASSERT_EQ(gStore.PrivateFiles.count, 2);
  FileItem* main = gStore.PrivateFiles[0];
  EXPECT_STREQ(main->path.c_str(), "C:\\APP\\MAIN.EXE");
  EXPECT_STREQ(main->stamp.c_str(), "  stamp 1");
  EXPECT_EQ(main->removeByDefault, 1);
  EXPECT_EQ(main->selected, 0);
  EXPECT_EQ(main->counterCount, 1);
  EXPECT_EQ(main->counterSection, 1);
  EXPECT_EQ(main->lastSection, 1);
  FileItem* counted = gStore.PrivateFiles[1];
  EXPECT_STREQ(counted->path.c_str(), "C:\\APP\\COUNTED.DLL");
  EXPECT_EQ(counted->removeByDefault, 1);

  ASSERT_EQ(gStore.SystemFiles.count, 3);
  EXPECT_EQ(gStore.SystemFiles[0]->selected, 0);
  EXPECT_EQ(gStore.SystemFiles[1]->selected, 1);  // marked non-system
  EXPECT_STREQ(gStore.SystemFiles[2]->path.c_str(), "C:\\WINDOWS\\WIN.DLL");
  EXPECT_STREQ(gStore.SystemFiles[2]->stamp.c_str(), "x");
  EXPECT_EQ(gStore.SystemFiles[2]->selected, 1);

  ASSERT_EQ(gStore.MissingFiles.count, 1);
  EXPECT_STREQ(gStore.MissingFiles[0]->path.c_str(), "C:\\APP\\GONE.DLL");
  EXPECT_EQ(gStore.MissingFiles[0]->lastSection, 1);
  EXPECT_FALSE(gRun.rollbackAvailable);
}

TEST_F(LogLoaderTest, NonSystemMarkerHasNoEffectOnPrivateFiles) {
  Exists("C:\\APP\\A.DLL");
  ASSERT_EQ(Load({"Non-System File:", "Shared DLL counter ignored:", "File Copy: C:\\APP\\A.DLL"}),
            0);
  ASSERT_EQ(gStore.PrivateFiles.count, 1);
  EXPECT_EQ(gStore.PrivateFiles[0]->selected, 0);
  EXPECT_EQ(gStore.PrivateFiles[0]->counterCount, 0);
  EXPECT_EQ(gStore.PrivateFiles[0]->counterSection, 0);
}

TEST_F(LogLoaderTest, LinkInfoAndBackupCopy) {
  Exists("C:\\APP\\A.DLL");
  Exists("C:\\APP\\App.lnk");
  ASSERT_EQ(Load({"File Overwrite: C:\\APP\\A.DLL", "Backup Copy: C:\\APP\\BACKUP\\A.DLL",
                  "Shell Link: C:\\APP\\App.lnk", "Link Info: target|args|dir",
                  "Backup Copy: C:\\APP\\BACKUP\\App.lnk", "Link Info: stray"}),
            0);
  ASSERT_EQ(gStore.PrivateFiles.count, 2);
  EXPECT_STREQ(gStore.PrivateFiles[0]->backupPath.c_str(), "C:\\APP\\BACKUP\\A.DLL");
  EXPECT_EQ(gStore.PrivateFiles[0]->removeByDefault, 0);
  ASSERT_NE(gStore.PrivateFiles[1]->linkSpec, nullptr);
  EXPECT_STREQ(gStore.PrivateFiles[1]->linkSpec, "target|args|dir");
  EXPECT_STREQ(gStore.PrivateFiles[1]->backupPath.c_str(), "C:\\APP\\BACKUP\\App.lnk");
  EXPECT_TRUE(gRun.rollbackAvailable);
}

TEST_F(LogLoaderTest, RepeatsAcrossSections) {
  Exists("C:\\APP\\A.DLL");
  Exists("C:\\APP\\B.DLL");
  Exists("C:\\WINDOWS\\SYSTEM32\\S.DLL");
  ASSERT_EQ(Load({"File Copy: C:\\APP\\A.DLL | s1", "Shared DLL counter ignored:",
                  "File Copy: C:\\APP\\B.DLL", "File Copy: C:\\WINDOWS\\SYSTEM32\\S.DLL",
                  "File Copy: C:\\APP\\GONE.DLL|g1", "Link Info: L1", "*** second",
                  "Create Service: x", "*** third", "File Copy: c:\\app\\a.dll",
                  "Backup Copy: C:\\BK\\A.DLL", "File Copy: C:\\APP\\B.DLL",
                  "File Copy: C:\\WINDOWS\\SYSTEM32\\s.dll | s3", "File Copy: C:\\APP\\GONE.DLL"}),
            0);
  ASSERT_EQ(gStore.PrivateFiles.count, 2);
  FileItem* a = gStore.PrivateFiles[0];
  EXPECT_EQ(a->firstSection, 1);
  EXPECT_EQ(a->lastSection, 3);
  EXPECT_EQ(a->counterCount, 2);
  EXPECT_EQ(a->counterSection, 3);
  EXPECT_EQ(a->backupSection, 3);
  EXPECT_STREQ(a->backupPath.c_str(), "C:\\BK\\A.DLL");
  EXPECT_STREQ(a->stamp.c_str(), "");  // a repeat without a stamp clears it
  EXPECT_EQ(a->removeByDefault, 1);    // set once, when made
  FileItem* b = gStore.PrivateFiles[1];
  EXPECT_EQ(b->counterCount, 1);
  EXPECT_EQ(b->counterSection, 3);
  EXPECT_EQ(b->lastSection, 3);
  ASSERT_EQ(gStore.SystemFiles.count, 1);
  EXPECT_EQ(gStore.SystemFiles[0]->lastSection, 3);
  EXPECT_EQ(gStore.SystemFiles[0]->counterCount, 2);
  EXPECT_STREQ(gStore.SystemFiles[0]->stamp.c_str(), " s3");
  ASSERT_EQ(gStore.MissingFiles.count, 1);
  EXPECT_EQ(gStore.MissingFiles[0]->lastSection, 3);
  EXPECT_STREQ(gStore.MissingFiles[0]->stamp.c_str(), "");
  EXPECT_STREQ(gStore.MissingFiles[0]->linkSpec, "L1");  // kept: no new link spec
}

// Every kind of record that merges across sections remembers the section that logged it
// first, which a rollback needs to keep what an earlier installation also brought.
TEST_F(LogLoaderTest, MergedRecordsKeepTheirFirstSection) {
  Exists("C:\\APP\\A.DLL");
  Exists("C:\\WINDOWS\\A.INI");
  Exists("C:\\WINDOWS\\WIN.INI");
  const std::vector<std::string> once = {"File Copy: C:\\APP\\A.DLL",
                                         "Made Dir: C:\\DATA\\D",
                                         "File Tree: C:\\TREE\\T",
                                         "INI New: ",
                                         "INI File: C:\\WINDOWS\\A.INI",
                                         "INI File: C:\\WINDOWS\\WIN.INI",
                                         "INI Sect: S",
                                         "INI Item: K",
                                         "INI Val: v",
                                         "RegDB Key: Software\\S",
                                         "RegDB Val: 1",
                                         "RegDB Name: N",
                                         "RegDB Root: 2",
                                         "RegDB Key: Software\\S",
                                         "RegDB Val: 1",
                                         "RegDB Name: C",
                                         "RegDB Root: 2",
                                         "RegDB Old: 0",
                                         "RegDB Tree: Software\\S\\T",
                                         "RegDB Root: 2",
                                         "Create Service: Svc",
                                         "Execute Path: C:\\APP\\A.EXE",
                                         "Icon Group: G",
                                         "Icon Name: I",
                                         "Icon Cmd: C:\\APP\\A.EXE",
                                         "SubSystem: B"};
  std::vector<std::string> body = once;
  body.push_back("*** second");
  body.insert(body.end(), once.begin(), once.end());
  ASSERT_EQ(Load(body), 0);
  auto expect = [](const char* what, int first, int last) {
    EXPECT_EQ(first, 1) << what;
    EXPECT_EQ(last, 2) << what;
  };
  ASSERT_EQ(gStore.PrivateFiles.count, 1);
  expect("file", gStore.PrivateFiles[0]->firstSection, gStore.PrivateFiles[0]->lastSection);
  ASSERT_EQ(gStore.Directories.count, 3);  // the log's own, D and T
  EXPECT_EQ(gStore.Directories[0]->firstSection, kLogDirectorySection);
  expect("dir", gStore.Directories[1]->firstSection, gStore.Directories[1]->dirSection);
  expect("tree", gStore.Directories[2]->firstSection, gStore.Directories[2]->treeSection);
  expect("ini file", gStore.IniFiles[0]->firstSection, gStore.IniFiles[0]->section);
  expect("ini edit", gStore.IniEdits[0]->firstSection, gStore.IniEdits[0]->section);
  expect("value", gStore.RegKeys[0]->firstSection, gStore.RegKeys[0]->section);
  expect("changed value", gStore.RegEdits[0]->firstSection, gStore.RegEdits[0]->section);
  expect("reg tree", gStore.RegTrees[0]->firstSection, gStore.RegTrees[0]->section);
  expect("service", gStore.Services[0]->firstSection, gStore.Services[0]->section);
  expect("program", gStore.Programs[0]->firstSection, gStore.Programs[0]->section);
  expect("sub-system", gStore.subSystemFirstSection, gStore.subSystemSection);
  ASSERT_EQ(gStore.Icons.count, 1);
  EXPECT_EQ(gStore.Icons[0]->firstSection, 1);
}

TEST_F(LogLoaderTest, SkippedRecordsKeepTheirStampsForRepair) {
  SetDrives({{'A', kDriveRemovable}, {'C', kDriveFixed}});
  Exists("C:\\APP\\A.DLL");
  Exists("C:\\APP\\OLD.DLL");
  ASSERT_EQ(
      Load({"File Copy: C:\\APP\\A.DLL", "*** second",
            "File Overwrite: C:\\APP\\A.DLL | new stamp",  // no backup: skipped
            "File Overwrite: C:\\APP\\OLD.DLL",            // skipped, nothing to keep
            "File Copy: A:\\SETUP.DLL | a",                // removable
            "File Copy: a:\\NOSTAMP.DLL", "File Edit: A:\\X.INI", "Backup Copy: C:\\BK\\X.INI"}),
      0);
  ASSERT_EQ(gStore.PrivateFiles.count, 1);
  EXPECT_EQ(gStore.PrivateFiles[0]->infoSection, 2);
  EXPECT_EQ(gStore.PrivateFiles[0]->lastSection, 1);
  EXPECT_STREQ(gStore.PrivateFiles[0]->stamp.c_str(), " new stamp");
  ASSERT_EQ(gStore.MissingFiles.count, 1);
  EXPECT_STREQ(gStore.MissingFiles[0]->path.c_str(), "A:\\SETUP.DLL");
  EXPECT_EQ(gStore.EditedFiles.count, 0);
}

TEST_F(LogLoaderTest, DriveAIsOnlySkippedWhenRemovable) {
  SetDrives({{'A', kDriveFixed}, {'C', kDriveFixed}});
  Exists("A:\\DATA\\X.DLL");
  ASSERT_EQ(Load({"File Copy: A:\\DATA\\X.DLL"}), 0);
  EXPECT_EQ(gStore.PrivateFiles.count, 1);
}

TEST_F(LogLoaderTest, OemSectionsConvertPathsAndFindAnsiRepeats) {
  // 0x81 is u-umlaut in the OEM code page 437 and 0xFC in the ANSI code page 1252. A fifth
  // character other than a blank makes a section OEM; "***  " (two blanks) makes it ANSI.
  Exists("C:\\APP\\M\xFCLLER.DLL");
  std::string text =
      "*** OEM\r\nTitle: T\r\n"
      "File Copy: C:\\APP\\M\x81LLER.DLL\r\n"
      "Made Dir: D:\\D\x81\r\n"
      "Add Device: C:\\APP\\M\x81LLER.DLL\r\n"
      "Self-Register: C:\\APP\\M\x81LLER.DLL\r\n"
      "Manufacturer: M\x81\r\n"
      "***  ANSI\r\n"
      "File Copy: C:\\APP\\M\xFCLLER.DLL\r\n"
      "Made Dir: D:\\E\x81\r\n"
      "*** OEM again\r\n";
  ASSERT_EQ(LoadRaw(text), 0);
  ASSERT_EQ(gStore.PrivateFiles.count, 1);
  EXPECT_STREQ(gStore.PrivateFiles[0]->path.c_str(), "C:\\APP\\M\xFCLLER.DLL");
  EXPECT_EQ(gStore.PrivateFiles[0]->counterCount, 2);
  EXPECT_EQ(gStore.PrivateFiles[0]->lastSection, 2);
  // Device and self-registration values of an OEM section name the converted path too.
  EXPECT_EQ(gStore.PrivateFiles[0]->deviceSection, 1);
  EXPECT_EQ(gStore.PrivateFiles[0]->selfRegSection, 1);
  EXPECT_STREQ(gStore.manufacturer.c_str(), "M\x81");  // not a path: unchanged
  ASSERT_EQ(gStore.Directories.count, 3);
  EXPECT_STREQ(gStore.Directories[1]->path.c_str(), "D:\\D\xFC\\");
  EXPECT_STREQ(gStore.Directories[2]->path.c_str(), "D:\\E\x81\\");  // ANSI: as written
  EXPECT_FALSE(gStore.ansiLog);
}

// ---------------------------------------------------------------------------------------
// Registry groups.

TEST_F(LogLoaderTest, RegistryGroups) {
  ASSERT_EQ(Load({"RegDB Key: Software\\App",
                  "RegDB Val: first",
                  "RegDB Val: second",
                  "RegDB Val: third",
                  "RegDB Name: Path",
                  "RegDB Type: 1",
                  "RegDB Root: 2",
                  "RegDB Key: Software\\App",
                  "RegDB Val: x",
                  "RegDB Name: Path",
                  "RegDB Root: 1",  // another root
                  "RegDB Key: Software\\Dropped",
                  "RegDB Name: N",  // no value: dropped
                  "RegDB Key: Software\\Order",
                  "RegDB Val: v",
                  "RegDB Root: 3",
                  "RegDB Name: Late",  // out of order: stray
                  "RegDB Key: Software\\Edit",
                  "RegDB Val: new",
                  "RegDB Type: 2",
                  "RegDB Old: one",
                  "RegDB Old: two",
                  "Create Service: After"}),
            0);
  ASSERT_EQ(gStore.RepairValues.count, 4);
  RepairValue* first = gStore.RepairValues[0];
  EXPECT_EQ(first->isChange, 0);
  EXPECT_EQ(first->type, 1);
  EXPECT_EQ(std::string(first->data, 6), std::string("first\0", 6));
  EXPECT_EQ(first->data[6], '\0');  // reads as a one-string list too
  ASSERT_EQ(gStore.RegKeys.count, 3);
  EXPECT_EQ(first->item, gStore.RegKeys[0]);
  EXPECT_STREQ(gStore.RegKeys[0]->valueName.c_str(), "Path");
  EXPECT_STREQ(gStore.RegKeys[0]->rootText.c_str(), "2");
  EXPECT_EQ(gStore.RegKeys[0]->root, 2);
  EXPECT_EQ(gStore.RegKeys[1]->root, 1);
  EXPECT_STREQ(gStore.RegKeys[2]->key.c_str(), "Software\\Order");
  EXPECT_STREQ(gStore.RegKeys[2]->valueName.c_str(), "");
  EXPECT_EQ(gStore.RegKeys[2]->root, 3);

  ASSERT_EQ(gStore.RegEdits.count, 1);
  RegEditItem* edit = gStore.RegEdits[0];
  EXPECT_EQ(gStore.RepairValues[3]->isChange, 1);
  EXPECT_EQ(gStore.RepairValues[3]->type, 0);
  EXPECT_EQ(gStore.RepairValues[3]->item, edit);
  EXPECT_EQ(edit->type, 2);
  EXPECT_EQ(std::string(edit->firstOldData, 9), std::string("one\0two\0\0", 9));
  EXPECT_EQ(gStore.Services.count, 1);  // the line after the old lines is in hand
}

TEST_F(LogLoaderTest, ChangedValueAcrossSectionsKeepsFirstAndLastOldData) {
  ASSERT_EQ(
      Load({"RegDB Key: K", "RegDB Val: v1", "RegDB Name: N", "RegDB Old: s1", "*** two",
            "RegDB Key: k", "RegDB Val: v2", "RegDB Name: n", "RegDB Type: 4", "RegDB Old: s2a",
            "RegDB Old: s2b", "RegDB Key: K", "RegDB Val: v3", "RegDB Name: N"}),
      0);
  ASSERT_EQ(gStore.RegEdits.count, 1);
  RegEditItem* edit = gStore.RegEdits[0];
  EXPECT_EQ(std::string(edit->firstOldData, 4), std::string("s1\0\0", 4));
  EXPECT_EQ(std::string(edit->lastOldData, 9), std::string("s2a\0s2b\0\0", 9));
  EXPECT_EQ(edit->section, 2);
  EXPECT_EQ(edit->type, 0);            // name, root and type stay from the first record
  ASSERT_EQ(gStore.RegKeys.count, 1);  // the created value is a separate record
  EXPECT_EQ(gStore.RepairValues.count, 3);
}

TEST_F(LogLoaderTest, OldDataThatOverflowsItsFieldIsCutAndStillEnded) {
  std::vector<std::string> body = {"RegDB Key: K", "RegDB Val: v"};
  for (int i = 0; i < 5; ++i) body.push_back("RegDB Old: " + std::string(1000, 'a' + i));
  body.push_back("Create Service: After");
  ASSERT_EQ(Load(body), 0);
  ASSERT_EQ(gStore.RegEdits.count, 1);
  const char* data = gStore.RegEdits[0]->firstOldData;
  EXPECT_EQ(strlen(data), 1000u);
  EXPECT_EQ(strlen(data + 1001), 1000u);
  size_t third = strlen(data + 2002);
  EXPECT_EQ(2002 + third + 2, kOldDataSize);  // cut to fit, with the list's final zero
  EXPECT_EQ(data[kOldDataSize - 1], '\0');
  EXPECT_EQ(gStore.Services.count, 1);
}

// ---------------------------------------------------------------------------------------
// The other groups.

TEST_F(LogLoaderTest, EditedAndDeletedFiles) {
  Exists("C:\\APP\\CONFIG.SYS");
  ASSERT_EQ(Load({"File Edit: C:\\APP\\CONFIG.SYS", "Backup Copy: C:\\BK\\CONFIG.1",
                  "File Edit: C:\\APP\\NOBACKUP.SYS", "Create Service: Marker1",
                  "File Edit: C:\\APP\\MISSING.SYS", "Backup Copy: C:\\BK\\M",
                  "File Delete: C:\\APP\\OLD.TXT", "Backup Copy: C:\\BK\\OLD.1",
                  "File Delete: C:\\APP\\NONE.TXT", "Create Service: Marker2", "*** two",
                  "File Edit: c:\\app\\config.sys", "Backup Copy: C:\\BK\\CONFIG.2",
                  "File Delete: C:\\APP\\OLD.TXT", "Backup Copy: C:\\BK\\OLD.2"}),
            0);
  ASSERT_EQ(gStore.EditedFiles.count, 1);
  EXPECT_STREQ(gStore.EditedFiles[0]->backupPath.c_str(), "C:\\BK\\CONFIG.2");
  EXPECT_EQ(gStore.EditedFiles[0]->section, 2);
  ASSERT_EQ(gStore.DeletedFiles.count, 1);
  EXPECT_STREQ(gStore.DeletedFiles[0]->backupPath.c_str(), "C:\\BK\\OLD.2");
  EXPECT_EQ(gStore.DeletedFiles[0]->section, 2);
  EXPECT_EQ(gStore.Services.count, 2);  // the lines after dropped groups are in hand
  EXPECT_TRUE(gRun.rollbackAvailable);
}

TEST_F(LogLoaderTest, IniFilesAndEdits) {
  Exists("C:\\APP\\APP.INI");
  ASSERT_EQ(Load({"INI New: x",
                  "INI File: C:\\APP\\APP.INI",
                  "INI Sect: S",
                  "INI Item: K",
                  "INI Val: V",
                  "Ini Whatever",
                  "Create Service: AfterNew",
                  "INI New: x",
                  "INI File: C:\\APP\\ABSENT.INI",
                  "INI New: x",
                  "Create Service: NoFileLine",
                  "INI File: C:\\WINDOWS\\WIN.INI",
                  "INI Sect: Windows",
                  "INI Item: load",
                  "INI Val: app.exe",
                  "INI Old: old.exe",
                  "INI File: C:\\WINDOWS\\WIN.INI",
                  "INI Sect: Windows",
                  "INI Item: run",
                  "INI Val: x",
                  "Create Service: CreatedEntry",
                  "INI File: C:\\WINDOWS\\WIN.INI",
                  "INI Item: missing section",
                  "*** two",
                  "INI File: c:\\windows\\win.ini",
                  "INI Sect: WINDOWS",
                  "INI Item: LOAD",
                  "INI Val: app2.exe",
                  "INI Old: app.exe"}),
            0);
  ASSERT_EQ(gStore.IniFiles.count, 1);
  EXPECT_STREQ(gStore.IniFiles[0]->path.c_str(), "C:\\APP\\APP.INI");
  ASSERT_EQ(gStore.IniEdits.count, 2);
  IniEditItem* load = gStore.IniEdits[0];
  EXPECT_STREQ(load->firstOldValue.c_str(), "old.exe");
  EXPECT_STREQ(load->lastOldValue.c_str(), "app.exe");
  EXPECT_EQ(load->section, 2);
  EXPECT_STREQ(gStore.IniEdits[1]->key.c_str(), "run");
  EXPECT_STREQ(gStore.IniEdits[1]->firstOldValue.c_str(), "");
  ASSERT_EQ(gStore.Services.count, 3);
  EXPECT_STREQ(gStore.Services[0]->name.c_str(), "AfterNew");
}

TEST_F(LogLoaderTest, IniEditOnRemovableDriveDropsTheNextLineUnseen) {
  SetDrives({{'B', kDriveRemovable}, {'C', kDriveFixed}});
  ASSERT_EQ(Load({"INI File: B:\\A.INI", "Create Service: Dropped", "Create Service: Kept",
                  "INI Item: stray"}),
            0);
  EXPECT_EQ(gStore.IniEdits.count, 0);
  ASSERT_EQ(gStore.Services.count, 1);
  EXPECT_STREQ(gStore.Services[0]->name.c_str(), "Kept");
}

TEST_F(LogLoaderTest, ProgramsIconsServicesAndTrees) {
  ASSERT_EQ(Load({"Execute Path: C:\\APP\\CLEAN.EXE /x",
                  "Execute Name: Clean up",
                  "Execute Program: C:\\APP\\OTHER.EXE",
                  "Create Service: Svc",
                  "Icon Group: Sample",
                  "Icon Name: App",
                  "Icon Cmd: C:\\APP\\A.EXE",
                  "Icon Group: Sample",
                  "Icon Name: Broken",
                  "Create Service: svc",
                  "RegDB Tree: Software\\App",
                  "RegDB Root: 2",
                  "RegDB Tree: Software\\App",
                  "Create Service: Other",
                  "*** two",
                  "Execute Path: c:\\app\\clean.exe /X",
                  "Execute Name: stray",
                  "Icon Group: SAMPLE",
                  "Icon Name: app",
                  "Icon Cmd: C:\\APP\\NEW.EXE",
                  "RegDB Tree: software\\app",
                  "RegDB Root: 2"}),
            0);
  ASSERT_EQ(gStore.Programs.count, 2);
  EXPECT_STREQ(gStore.Programs[0]->command.c_str(), "C:\\APP\\CLEAN.EXE /x");
  EXPECT_STREQ(gStore.Programs[0]->displayName.c_str(), "Clean up");
  EXPECT_EQ(gStore.Programs[0]->section, 2);
  EXPECT_STREQ(gStore.Programs[1]->command.c_str(), "C:\\APP\\OTHER.EXE");
  ASSERT_EQ(gStore.Icons.count, 1);
  EXPECT_STREQ(gStore.Icons[0]->command.c_str(), "C:\\APP\\NEW.EXE");
  EXPECT_EQ(gStore.Icons[0]->section, 1);  // a repeat changes the command only
  ASSERT_EQ(gStore.Services.count, 2);
  EXPECT_EQ(gStore.Services[0]->section, 1);
  ASSERT_EQ(gStore.RegTrees.count, 2);
  EXPECT_EQ(gStore.RegTrees[0]->root, 2);
  EXPECT_EQ(gStore.RegTrees[0]->section, 2);
  EXPECT_EQ(gStore.RegTrees[1]->root, 0);
  EXPECT_EQ(gStore.RegTrees[1]->section, 1);
}

TEST_F(LogLoaderTest, DevicesAndSelfRegistrationMarkLoggedFiles) {
  Exists("C:\\APP\\VXD.386");
  Exists("C:\\WINDOWS\\SYSTEM32\\SERVER.DLL");
  ASSERT_EQ(
      Load({"File Copy: C:\\APP\\VXD.386", "File Copy: C:\\WINDOWS\\SYSTEM32\\SERVER.DLL",
            "*** two", "Add Device: c:\\app\\vxd.386",
            "Self-Register: C:\\WINDOWS\\SYSTEM32\\server.dll", "Add Device: C:\\NOT\\LOGGED.386"}),
      0);
  EXPECT_EQ(gStore.PrivateFiles[0]->deviceSection, 2);
  EXPECT_EQ(gStore.PrivateFiles[0]->selfRegSection, 0);
  EXPECT_EQ(gStore.SystemFiles[0]->selfRegSection, 2);
  EXPECT_EQ(gStore.SystemFiles[0]->deviceSection, 0);
}

TEST_F(LogLoaderTest, DirectoriesMergeIntoTheOutermost) {
  struct {
    const char* name;
    std::vector<std::string> body;
    std::vector<std::string> paths;  // after the log's own directory C:\APP\ .
  } cases[] = {
      {"inner then outer", {"Made Dir: D:\\X\\Y", "Made Dir: D:\\X"}, {"D:\\X\\"}},
      {"outer then inner", {"Made Dir: D:\\X", "Made Dir: D:\\X\\Y"}, {"D:\\X\\"}},
      {"siblings stay apart", {"Made Dir: D:\\XA", "Made Dir: D:\\X"}, {"D:\\XA\\", "D:\\X\\"}},
      {"bad shapes ignored", {"Made Dir: D:", "Made Dir: X\\Y", "Made Dir: \\\\"}, {}},
      {"network path", {"Made Dir: \\\\srv\\share\\d"}, {"\\\\srv\\share\\d\\"}},
      {"inside the log's directory", {"Made Dir: C:\\APP\\SUB"}, {}},
      {"file trees",
       {"File Tree: D:\\T\\*.*", "File Tree: D:\\U\\*.TXT", "File Tree: D:\\V\\"},
       {"D:\\T\\", "D:\\U\\*.TXT", "D:\\V\\"}},
      {"a created parent never widens a tree",
       {"File Tree: D:\\T\\DATA\\*.*", "Made Dir: D:\\T"},
       {"D:\\T\\DATA\\", "D:\\T\\"}},
      {"a pattern tree stays a pattern",
       {"File Tree: D:\\U\\*.TXT", "Made Dir: D:\\U"},
       {"D:\\U\\*.TXT", "D:\\U\\"}},
      {"a created subdirectory of a tree merges into it",
       {"File Tree: D:\\T", "Made Dir: D:\\T\\SUB"},
       {"D:\\T\\"}},
  };
  for (const auto& c : cases) {
    ResetRunWideState();
    ASSERT_EQ(Load(c.body), 0) << c.name;
    ASSERT_EQ(gStore.Directories.count, static_cast<int32_t>(c.paths.size()) + 1) << c.name;
    EXPECT_STREQ(gStore.Directories[0]->path.c_str(), "C:\\APP\\") << c.name;
    for (size_t i = 0; i < c.paths.size(); ++i) {
      EXPECT_EQ(gStore.Directories[static_cast<int32_t>(i) + 1]->path.c_str(), c.paths[i])
          << c.name;
    }
  }
}

TEST_F(LogLoaderTest, DirectorySectionsAcrossSections) {
  ASSERT_EQ(Load({"Made Dir: D:\\X", "File Tree: D:\\T", "*** two", "Made Dir: D:\\X\\Y",
                  "File Tree: d:\\t\\*.*", "Made Dir: C:\\APP"}),
            0);
  ASSERT_EQ(gStore.Directories.count, 3);
  EXPECT_EQ(gStore.Directories[0]->dirSection, 2);  // the log's directory named again
  EXPECT_EQ(gStore.Directories[1]->dirSection, 2);
  EXPECT_EQ(gStore.Directories[1]->treeSection, 0);
  EXPECT_EQ(gStore.Directories[2]->treeSection, 2);
  EXPECT_EQ(gStore.Directories[2]->dirSection, 2);
}

// ---------------------------------------------------------------------------------------
// Odd input.

TEST_F(LogLoaderTest, GroupsCutOffByTheEndOfTheFile) {
  const char* endings[] = {"RegDB Key: K",
                           "RegDB Key: K\r\nRegDB Val: v",
                           "RegDB Key: K\r\nRegDB Val: v\r\nRegDB Old: o",
                           "File Copy: C:\\APP\\A.DLL",
                           "File Edit: C:\\APP\\A",
                           "INI File: C:\\A.INI\r\nINI Sect: S",
                           "INI New: x",
                           "Icon Group: G\r\nIcon Name: N",
                           "File Delete: X",
                           "Execute Path: X",
                           "RegDB Tree: T",
                           "Non-System File:"};
  for (const char* ending : endings) {
    ResetRunWideState();
    EXPECT_EQ(LoadRaw(std::string("*** L\r\nTitle: T\r\n") + ending), 0) << ending;
  }
  EXPECT_EQ(gStore.PrivateFiles.count + gStore.MissingFiles.count, 0);
}

TEST_F(LogLoaderTest, LongValuesAreCutToTheirFields) {
  std::string longName(3000, 'n');
  ASSERT_EQ(Load({"Create Service: " + longName, "Create Service: " + longName,
                  "Manufacturer: " + longName, "Title: " + longName, "Made Dir: D:\\" + longName}),
            0);
  ASSERT_EQ(gStore.Services.count, 1);  // the cut name finds its record again
  EXPECT_EQ(gStore.Services[0]->name.Length(), 259u);
  EXPECT_EQ(gStore.manufacturer.Length(), 127u);
  EXPECT_EQ(gRun.appTitle.Length(), 255u);
  EXPECT_EQ(gStore.Directories[1]->path.Length(), 259u);
}

TEST_F(LogLoaderTest, ZeroBytesEndTheValue) {
  ASSERT_EQ(
      LoadRaw(std::string("*** L\r\nTitle: T\r\nCreate Service: AB\0CD\r\nProduct: P\r\n", 52)), 0);
  ASSERT_EQ(gStore.Services.count, 1);
  EXPECT_STREQ(gStore.Services[0]->name.c_str(), "AB");
  EXPECT_STREQ(gStore.product.c_str(), "P");
}

TEST_F(LogLoaderTest, ListsGrowPastTheirCapacity) {
  std::string text = "*** L\r\nTitle: T\r\n";
  const int n = kListCapacity + 5;
  for (int i = 0; i < n; ++i) text += "RegDB Tree: K" + std::to_string(i) + "\r\n";
  ASSERT_EQ(LoadRaw(text), 0);
  ASSERT_EQ(gStore.RegTrees.count, n);
  EXPECT_STREQ(gStore.RegTrees[n - 1]->key.c_str(), ("K" + std::to_string(n - 1)).c_str());
  EXPECT_STREQ(gStore.RegTrees[0]->key.c_str(), "K0");
}

}  // namespace
