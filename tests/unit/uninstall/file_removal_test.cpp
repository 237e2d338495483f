// File and directory removal on the simulated machine: help companions, patterns and the
// refusal of patterns and trees that would reach the system's directories under any name,
// trees with and without files, links that must not be entered, the program's own file,
// and in-use files on both platform kinds.
#include "uninstall/file_removal.h"

#include <string>
#include <vector>

#include "run/run_reset.h"
#include "support/engine_fixture.h"
#include "support/fault_platform.h"

namespace {

using FileRemovalTest = EngineTest;

TEST_F(FileRemovalTest, HelpFilesTakeTheirIndexCompanionsAndNothingElse) {
  struct Case {
    const char* file;
    std::vector<std::string> deleted;  // besides the file itself
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {"C:\\APP\\HELP\\APP.HLP",
       {"C:\\APP\\HELP\\APP.GID", "C:\\APP\\HELP\\APP.FTS"},
       {"C:\\APP\\HELP\\APP.CNT", "C:\\APP\\HELP\\APP.GI"}},
      {"C:\\APP\\readme.hlp", {"C:\\APP\\readme.gid", "C:\\APP\\README.FTS"}, {}},
      {"C:\\APP\\NOTES.TXT", {}, {"C:\\APP\\NOTES.GID", "C:\\APP\\NOTES.FTS"}},
      {"C:\\APP\\HLP", {}, {"C:\\APP\\HLP.GID"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Write(c.file);
    for (const std::string& path : c.deleted) Write(path);
    for (const std::string& path : c.kept) Write(path);
    EXPECT_EQ(RemoveFileItem(c.file, "", false), 0);
    EXPECT_FALSE(machine.FileExists(c.file));
    for (const std::string& path : c.deleted) EXPECT_FALSE(machine.FileExists(path)) << path;
    for (const std::string& path : c.kept) EXPECT_TRUE(machine.FileExists(path)) << path;
  }
}

TEST_F(FileRemovalTest, PatternDeletesMatchesInItsDirectoryOnlyAndIgnoresBackup) {
  Write("C:\\APP\\A.TMP");
  Write("C:\\APP\\b.tmp");
  Write("C:\\APP\\KEEP.TXT");
  Write("C:\\APP\\SUB\\C.TMP");
  ASSERT_EQ(machine.MakeDirectories("C:\\APP\\DIR.TMP"), 0);
  Write("C:\\BACKUP\\A.TMP", "backup");

  EXPECT_EQ(RemoveFileItem("C:\\APP\\*.TMP", "C:\\BACKUP\\A.TMP", true), 0);
  EXPECT_FALSE(machine.FileExists("C:\\APP\\A.TMP"));
  EXPECT_FALSE(machine.FileExists("C:\\APP\\b.tmp"));
  EXPECT_TRUE(machine.FileExists("C:\\APP\\KEEP.TXT"));
  EXPECT_TRUE(machine.FileExists("C:\\APP\\SUB\\C.TMP"));
  EXPECT_TRUE(machine.DirectoryExists("C:\\APP\\DIR.TMP"));
  EXPECT_TRUE(machine.FileExists("C:\\BACKUP\\A.TMP"));
}

// Every form under which a logged pattern may name a protected directory, and the file
// that must survive it.
TEST_F(FileRemovalTest, PatternsOverSystemDirectoriesAreRefusedInAnyDisguise) {
  Write("C:\\WINDOWS\\WIN.INI");
  Write("C:\\WINDOWS\\SYSTEM32\\KERNEL32.DLL");
  Write("C:\\Program Files\\Common Files\\SHARED.DLL");
  Write("C:\\Program Files\\README.TXT");
  Write("C:\\BOOT.INI");
  ASSERT_EQ(machine.MakeDirectories("C:\\APP"), 0);
  const SimNode* programFiles = machine.Find("C:\\Program Files");
  ASSERT_NE(programFiles, nullptr);
  ASSERT_FALSE(programFiles->shortName.empty());
  const std::string shortProgramFiles = "C:\\" + programFiles->shortName;

  struct Case {
    std::string pattern;
    const char* survivor;
  };
  const Case cases[] = {
      {"*.*", "C:\\BOOT.INI"},
      {"C:\\WINDOWS\\*.*", "C:\\WINDOWS\\WIN.INI"},
      {"c:\\windows\\*.*", "C:\\WINDOWS\\WIN.INI"},
      {"C:\\WINDOWS\\*", "C:\\WINDOWS\\WIN.INI"},
      {"C:\\WINDOWS\\*.*.*", "C:\\WINDOWS\\WIN.INI"},
      {"C:\\WINDOWS\\.\\*.*", "C:\\WINDOWS\\WIN.INI"},
      {"C:\\WINDOWS\\\\*.*", "C:\\WINDOWS\\WIN.INI"},
      {"C:\\APP\\..\\WINDOWS\\*.*", "C:\\WINDOWS\\WIN.INI"},
      {"C:\\WINDOWS\\SYSTEM32\\..\\*.*", "C:\\WINDOWS\\WIN.INI"},
      {"C:/WINDOWS/*.*", "C:\\WINDOWS\\WIN.INI"},
      {"\\WINDOWS\\*.*", "C:\\WINDOWS\\WIN.INI"},
      {"C:\\WINDOWS\\SYSTEM32\\*.*", "C:\\WINDOWS\\SYSTEM32\\KERNEL32.DLL"},
      {"C:\\WINDOWS\\system32\\.\\*.*", "C:\\WINDOWS\\SYSTEM32\\KERNEL32.DLL"},
      {"C:\\Program Files\\*.*", "C:\\Program Files\\README.TXT"},
      {shortProgramFiles + "\\*.*", "C:\\Program Files\\README.TXT"},
      {"C:\\*.*", "C:\\BOOT.INI"},
      {"C:\\APP\\..\\*.*", "C:\\BOOT.INI"},
      {"C:\\WIN*\\*.*", "C:\\WINDOWS\\WIN.INI"},
      {"C:\\Program Files\\Comm*\\*.DLL", "C:\\Program Files\\Common Files\\SHARED.DLL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(RemoveFileItem(c.pattern.c_str(), "", false), kPatternRefused);
    EXPECT_TRUE(machine.FileExists(c.survivor));
  }
}

TEST_F(FileRemovalTest, EveryFilePatternOfAnOrdinaryDirectoryIsCarriedOut) {
  Write("C:\\APP\\DATA\\ONE.DAT");
  Write("C:\\APP\\DATA\\TWO");
  EXPECT_EQ(RemoveFileItem("C:\\APP\\DATA\\*.*", "", false), 0);
  EXPECT_FALSE(machine.FileExists("C:\\APP\\DATA\\ONE.DAT"));
  EXPECT_FALSE(machine.FileExists("C:\\APP\\DATA\\TWO"));
  EXPECT_TRUE(machine.DirectoryExists("C:\\APP\\DATA"));
}

TEST_F(FileRemovalTest, ProtectedTreesAreLeftWhateverFormTheirPathTakes) {
  Write("C:\\WINDOWS\\WIN.INI");
  Write("C:\\WINDOWS\\SYSTEM32\\KERNEL32.DLL");
  Write("C:\\Program Files\\README.TXT");
  Write("C:\\BOOT.INI");
  ASSERT_EQ(machine.MakeDirectories("C:\\APP"), 0);
  const SimNode* programFiles = machine.Find("C:\\Program Files");
  ASSERT_NE(programFiles, nullptr);
  const std::string shortProgramFiles = "C:\\" + programFiles->shortName;

  const char* const survivors[] = {"C:\\WINDOWS\\WIN.INI", "C:\\WINDOWS\\SYSTEM32\\KERNEL32.DLL",
                                   "C:\\Program Files\\README.TXT", "C:\\BOOT.INI"};
  const std::string directories[] = {
      "C:\\WINDOWS",
      "c:\\windows\\",
      "C:\\WINDOWS\\.",
      "C:\\WINDOWS.",
      "C:\\WINDOWS\\SYSTEM32\\..",
      "C:\\APP\\..\\WINDOWS",
      "C:/Windows/System32",
      "C:\\WINDOWS\\SYSTEM32",
      "C:\\WINDOWS\\SYSTEM32\\*.*",
      "C:\\Program Files",
      "C:\\PROGRAM FILES\\",
      shortProgramFiles,
      shortProgramFiles + "\\.",
      "C:\\",
      "C:",
      "C:\\APP\\..",
      "\\",
      "",
  };
  for (const std::string& directory : directories) {
    SCOPED_TRACE(directory);
    if (directory.find('*') == std::string::npos) {
      EXPECT_TRUE(IsProtectedDirectory(directory.c_str()));
    }
    RemoveDirectoryTree(directory.c_str(), true);
    for (const char* survivor : survivors) EXPECT_TRUE(machine.FileExists(survivor)) << survivor;
  }
  // Directories beside and below the protected ones are not protected.
  const char* const ordinary[] = {"C:\\WINDOWS\\APPDATA", "C:\\Program Files\\Sample App",
                                  "C:\\WINDOWSX", "C:\\APP"};
  for (const char* directory : ordinary) EXPECT_FALSE(IsProtectedDirectory(directory)) << directory;

  // Without the Windows or the system directory every directory counts as protected, and
  // an empty folder below the Windows directory stays.
  ASSERT_EQ(machine.MakeDirectories("C:\\WINDOWS\\EMPTY"), 0);
  for (FaultOp op : {FaultOp::WindowsDirectory, FaultOp::SystemDirectory}) {
    SCOPED_TRACE(FaultOpName(op));
    FaultPlatform fault(machine);
    fault.FailOperation(op);
    InstallPlatform(&fault);
    RemoveDirectoryTree("C:\\WINDOWS", false);
    fault.FailOperation(op);
    EXPECT_TRUE(IsProtectedDirectory("C:\\APP"));
    InstallPlatform(&machine);
    EXPECT_TRUE(machine.DirectoryExists("C:\\WINDOWS\\EMPTY"));
  }
}

TEST_F(FileRemovalTest, TreeWithFilesGoesEntirely) {
  Write("C:\\APP\\APP.EXE");
  Write("C:\\APP\\DATA\\ONE.DAT");
  Write("C:\\APP\\DATA\\DEEP\\TWO.DAT");
  ASSERT_EQ(machine.SetAttributes("C:\\APP\\DATA\\DEEP\\TWO.DAT", kAttrReadOnly | kAttrHidden), 0);
  ASSERT_EQ(machine.MakeDirectories("C:\\APP\\EMPTY"), 0);
  Write("C:\\OTHER\\KEEP.TXT");

  RemoveDirectoryTree("C:\\APP", true);
  EXPECT_FALSE(machine.DirectoryExists("C:\\APP"));
  EXPECT_TRUE(machine.FileExists("C:\\OTHER\\KEEP.TXT"));
}

TEST_F(FileRemovalTest, TreeWithoutFilesLosesOnlyItsEmptyDirectories) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    std::vector<std::string> directories;
    std::vector<std::string> gone;
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {"only file deepest",
       {"C:\\APP\\A\\B\\C\\FILE.TXT"},
       {},
       {},
       {"C:\\APP\\A\\B\\C", "C:\\APP\\A\\B", "C:\\APP\\A", "C:\\APP"}},
      {"file at the top",
       {"C:\\APP\\FILE.TXT"},
       {"C:\\APP\\A\\B", "C:\\APP\\C"},
       {"C:\\APP\\A\\B", "C:\\APP\\A", "C:\\APP\\C"},
       {"C:\\APP"}},
      {"all empty", {}, {"C:\\APP\\A\\B", "C:\\APP\\C"}, {"C:\\APP"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& file : c.files) Write(file);
    for (const std::string& directory : c.directories) {
      ASSERT_EQ(machine.MakeDirectories(directory), 0);
    }
    RemoveDirectoryTree("C:\\APP", false);
    for (const std::string& file : c.files) EXPECT_TRUE(machine.FileExists(file)) << file;
    for (const std::string& path : c.gone) EXPECT_FALSE(machine.DirectoryExists(path)) << path;
    for (const std::string& path : c.kept) EXPECT_TRUE(machine.DirectoryExists(path)) << path;
    RemoveDirectoryTree("C:\\APP", true);
    ASSERT_FALSE(machine.DirectoryExists("C:\\APP"));
  }
}

TEST_F(FileRemovalTest, TreePatternIsCarriedIntoSubdirectories) {
  Write("C:\\APP\\A.LOG");
  Write("C:\\APP\\KEEP.TXT");
  Write("C:\\APP\\SUB\\B.LOG");
  Write("C:\\APP\\EMPTIED\\C.LOG");
  RemoveDirectoryTree("C:\\APP\\*.LOG", true);
  EXPECT_FALSE(machine.FileExists("C:\\APP\\A.LOG"));
  EXPECT_FALSE(machine.FileExists("C:\\APP\\SUB\\B.LOG"));
  EXPECT_FALSE(machine.DirectoryExists("C:\\APP\\EMPTIED"));
  EXPECT_TRUE(machine.FileExists("C:\\APP\\KEEP.TXT"));
}

TEST_F(FileRemovalTest, DotDirectoriesAreNotEnteredAndKeepTheirParents) {
  Write("C:\\APP\\APP.EXE");
  Write("C:\\APP\\.cache\\STATE.DAT");
  Write("C:\\APP\\SUB\\.git\\HEAD");
  Write("C:\\APP\\SUB\\FILE.TXT");
  RemoveDirectoryTree("C:\\APP", true);
  EXPECT_FALSE(machine.FileExists("C:\\APP\\APP.EXE"));
  EXPECT_FALSE(machine.FileExists("C:\\APP\\SUB\\FILE.TXT"));
  EXPECT_TRUE(machine.FileExists("C:\\APP\\.cache\\STATE.DAT"));
  EXPECT_TRUE(machine.FileExists("C:\\APP\\SUB\\.git\\HEAD"));
  EXPECT_TRUE(machine.DirectoryExists("C:\\APP\\SUB"));
  EXPECT_TRUE(machine.DirectoryExists("C:\\APP"));
}

TEST_F(FileRemovalTest, JunctionsAreRemovedAsLinksNeverEntered) {
  Write("C:\\DATA\\PRECIOUS.TXT");
  Write("C:\\DATA\\NESTED\\MORE.TXT");

  struct Case {
    const char* directory;
    bool withFiles;
    bool linkGoes;  // the link itself is removed (as a link)
  };
  const Case cases[] = {
      {"C:\\APP", true, true},
      {"C:\\APP", false, false},
      {"C:\\TOPLINK", true, true},
      {"C:\\TOPLINK", false, false},
      {"C:\\TOPLINK\\NESTED", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.directory) + (c.withFiles ? " with files" : " empty only"));
    Write("C:\\APP\\APP.EXE");
    if (machine.Find("C:\\APP\\LINK") == nullptr) {
      ASSERT_EQ(machine.MakeJunction("C:\\APP\\LINK", "C:\\DATA"), 0);
    }
    if (machine.Find("C:\\TOPLINK") == nullptr) {
      ASSERT_EQ(machine.MakeJunction("C:\\TOPLINK", "C:\\DATA"), 0);
    }
    RemoveDirectoryTree(c.directory, c.withFiles);
    EXPECT_TRUE(machine.FileExists("C:\\DATA\\PRECIOUS.TXT"));
    EXPECT_TRUE(machine.FileExists("C:\\DATA\\NESTED\\MORE.TXT"));
    EXPECT_TRUE(machine.DirectoryExists("C:\\DATA\\NESTED"));
    const char* link =
        std::string(c.directory).rfind("C:\\APP", 0) == 0 ? "C:\\APP\\LINK" : "C:\\TOPLINK";
    EXPECT_EQ(machine.Find(link) == nullptr, c.linkGoes) << link;
  }
}

TEST_F(FileRemovalTest, LinkToTheSystemIsNeitherListedNorWalked) {
  Write("C:\\WINDOWS\\SYSTEM32\\KERNEL32.DLL");
  ASSERT_EQ(machine.MakeJunction("C:\\APP\\WIN", "C:\\WINDOWS"), 0);
  EXPECT_EQ(RemoveFileItem("C:\\APP\\WIN\\SYSTEM32\\*.*", "", false), kPatternRefused);
  EXPECT_EQ(RemoveFileItem("C:\\APP\\WIN\\SYSTEM32\\*.DLL", "", false), kPatternRefused);
  RemoveDirectoryTree("C:\\APP\\WIN\\SYSTEM32", true);
  EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\SYSTEM32\\KERNEL32.DLL"));
}

TEST_F(FileRemovalTest, OwnFileIsNotedInAnyFormAndNeverScheduled) {
  gStore.deleteInUse = true;
  const std::string own = gRun.modulePath.c_str();
  Write(own);
  ASSERT_EQ(machine.SetInUse(own, true), 0);
  const SimNode* programFiles = machine.Find("C:\\Program Files");
  const SimNode* app = machine.Find("C:\\Program Files\\Sample App");
  ASSERT_NE(programFiles, nullptr);
  ASSERT_NE(app, nullptr);
  const std::string shortOwn =
      "C:\\" + programFiles->shortName + "\\" + app->shortName + "\\UNTARN32.EXE";

  EXPECT_EQ(DeleteFileNow(shortOwn.c_str()), 1);
  EXPECT_TRUE(gRun.selfDeletePending);
  EXPECT_FALSE(gRun.rebootNeeded);
  EXPECT_TRUE(PendingOperations().empty());
  EXPECT_TRUE(machine.FileExists(own));

  // Not in use: the file goes, and the run still knows that it asked for it.
  gRun.selfDeletePending = false;
  ASSERT_EQ(machine.SetInUse(own, false), 0);
  EXPECT_EQ(DeleteFileNow(own.c_str()), 0);
  EXPECT_TRUE(gRun.selfDeletePending);

  gRun.selfDeletePending = false;
  Write("C:\\Program Files\\Sample App\\OTHER.EXE");
  EXPECT_EQ(DeleteFileNow("C:\\Program Files\\Sample App\\OTHER.EXE"), 0);
  EXPECT_FALSE(gRun.selfDeletePending);
}

// A logged file is deleted before its attributes are looked at; one that refuses has the
// read-only, hidden and system bits cleared, and one still held is scheduled without them,
// so that the restart can delete it.
TEST_F(FileRemovalTest, FileItemsLoseTheAttributesThatStopTheirDelete) {
  gRun.platformKind = kPlatformNt;
  gStore.deleteInUse = true;
  const std::string plain = "C:\\APP\\PLAIN.DLL";
  const std::string locked = "C:\\APP\\LOCKED.DLL";
  const std::string held = "C:\\APP\\HELD.DLL";
  for (const std::string& path : {plain, locked, held}) Write(path);
  ASSERT_EQ(machine.SetAttributes(locked.c_str(), kAttrReadOnly | kAttrSystem), 0);
  ASSERT_EQ(machine.SetAttributes(held.c_str(), kAttrReadOnly), 0);
  ASSERT_EQ(machine.SetInUse(held, true), 0);

  for (const std::string& path : {plain, locked, held, std::string("C:\\APP\\GONE.DLL")})
    EXPECT_EQ(RemoveFileItem(path.c_str(), "", false), 0) << path;
  EXPECT_FALSE(machine.FileExists(plain));
  EXPECT_FALSE(machine.FileExists(locked));
  ASSERT_TRUE(machine.FileExists(held));
  EXPECT_EQ(machine.GetAttributes(held.c_str()) & kAttrReadOnly, 0u);
  EXPECT_EQ(PendingOperations().size(), 2u);  // only the held file, not the missing one
  machine.SimulateRestart();
  EXPECT_FALSE(machine.FileExists(held));

  gRun.selfDeletePending = false;
  Write(gRun.modulePath.c_str());
  RemoveFileItem(gRun.modulePath.c_str(), "", false);
  EXPECT_TRUE(gRun.selfDeletePending);
}

TEST_F(FileRemovalTest, InUseFilesOnTheNtKindBecomeDelayedDeletions) {
  struct Case {
    const char* name;
    bool deleteInUse;
    bool exists;
    bool scheduled;
  };
  const Case cases[] = {
      {"allowed", true, true, true},
      {"not allowed by the log", false, true, false},
      {"missing file", true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetRunWideState();
    gRun.platformKind = kPlatformNt;
    gStore.deleteInUse = c.deleteInUse;
    const std::string path = "C:\\Program Files\\Sample App\\ENGINE.DLL";
    if (c.exists) {
      Write(path);
      ASSERT_EQ(machine.SetInUse(path, true), 0);
    }
    const size_t before = PendingOperations().size();
    EXPECT_EQ(DeleteFileNow(path.c_str()), 1);
    EXPECT_EQ(gRun.rebootNeeded, c.scheduled);
    std::vector<std::string> pending = PendingOperations();
    if (c.scheduled) {
      // The delayed move receives the path as logged, not its short form.
      ASSERT_EQ(pending.size(), before + 2);
      EXPECT_EQ(pending[before], "\\??\\" + path);
      EXPECT_EQ(pending[before + 1], "");
      machine.SimulateRestart();
      EXPECT_FALSE(machine.FileExists(path));
    } else {
      EXPECT_EQ(pending.size(), before);
      if (c.exists) {
        EXPECT_TRUE(machine.FileExists(path));
      }
    }
    machine.SetInUse(path, false);
    machine.RemoveFile(path.c_str());
  }
}

TEST_F(FileRemovalTest, InUseFilesOnTheOtherKindAreListedInWininitByShortName) {
  UseOtherPlatform();
  gStore.deleteInUse = true;
  Write("C:\\Program Files\\Sample App\\ENGINE.DLL");
  Write("C:\\APP\\HELPER.DLL");
  ASSERT_EQ(machine.SetInUse("C:\\Program Files\\Sample App\\ENGINE.DLL", true), 0);
  ASSERT_EQ(machine.SetInUse("C:\\APP\\HELPER.DLL", true), 0);
  const SimNode* programFiles = machine.Find("C:\\Program Files");
  const SimNode* app = machine.Find("C:\\Program Files\\Sample App");
  ASSERT_NE(programFiles, nullptr);
  ASSERT_NE(app, nullptr);

  EXPECT_EQ(DeleteFileNow("C:\\Program Files\\Sample App\\ENGINE.DLL"), 1);
  EXPECT_EQ(DeleteFileNow("C:\\APP\\HELPER.DLL"), 1);
  EXPECT_TRUE(gRun.rebootNeeded);
  EXPECT_TRUE(PendingOperations().empty());
  EXPECT_EQ(machine.FileContents("C:\\WINDOWS\\WININIT.INI"),
            "[rename]\r\nNUL=C:\\" + programFiles->shortName + "\\" + app->shortName +
                "\\ENGINE.DLL\r\nNUL=C:\\APP\\HELPER.DLL\r\n");

  machine.SimulateRestart();
  EXPECT_FALSE(machine.FileExists("C:\\Program Files\\Sample App\\ENGINE.DLL"));
  EXPECT_FALSE(machine.FileExists("C:\\APP\\HELPER.DLL"));
}

// The entry goes at the end of the file, but never glued to an unterminated last line and
// never inside another section: either would lose it and spoil the line before it.
TEST_F(FileRemovalTest, WininitEntryIsAppendedWithoutSpoilingTheFile) {
  UseOtherPlatform();
  gStore.deleteInUse = true;
  struct Case {
    const char* before;
    const char* after;
  } kCases[] = {
      {"[rename]\r\nA=B", "[rename]\r\nA=B\r\nNUL=C:\\APP\\HELPER.DLL\r\n"},
      {"[rename]\r\nNUL=C:\\OLD.DLL\r\n[boot]\r\nshell=x",
       "[rename]\r\nNUL=C:\\OLD.DLL\r\n[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\APP\\HELPER."
       "DLL\r\n"},
  };
  for (const Case& c : kCases) {
    Write("C:\\WINDOWS\\WININIT.INI", c.before);
    Write("C:\\APP\\HELPER.DLL");
    ASSERT_EQ(machine.SetInUse("C:\\APP\\HELPER.DLL", true), 0);
    EXPECT_EQ(DeleteFileNow("C:\\APP\\HELPER.DLL"), 1);
    EXPECT_EQ(machine.FileContents("C:\\WINDOWS\\WININIT.INI"), c.after) << c.before;
    // The system carries out both the old entries and the new one.
    Write("C:\\OLD.DLL");
    machine.SimulateRestart();
    EXPECT_FALSE(machine.FileExists("C:\\APP\\HELPER.DLL")) << c.before;
  }
}

TEST_F(FileRemovalTest, ShellHearsOfEveryRemovalWhenItCanListen) {
  gRun.shellLibrary = machine.LoadSystemLib("SHELL32.DLL");
  gRun.hasShellNotify = true;
  Write("C:\\APP\\SUB\\A.TXT");
  Write("C:\\KEEP\\GONE\\B.TXT");
  Write("C:\\KEEP\\C.TXT");
  RemoveDirectoryTree("C:\\APP", true);
  RemoveFileItem("C:\\KEEP\\GONE\\B.TXT", "", false);
  RemoveFileItem("C:\\KEEP\\C.TXT", "", false);
  ASSERT_EQ(Sys().RemoveEmptyDirectory("C:\\KEEP\\GONE"), 0);  // as the driver does, untold
  FlushShellNotifications();

  // Only the topmost removed folder gets SHCNE_RMDIR (0x10): the folder that lost a file
  // went with it. A folder that lost files gets SHCNE_UPDATEDIR (0x1000), or when it is
  // gone, the nearest folder above it that stays does; each with SHCNF_PATHA (1).
  auto notices = [this] {
    std::vector<std::vector<std::string>> seen;
    for (const SimLibraryCall& call : machine.libraryCalls) {
      if (call.entry == "SHChangeNotify") seen.push_back(call.arguments);
    }
    return seen;
  };
  const std::vector<std::vector<std::string>> expected = {{"4096", "1", "C:\\KEEP"},
                                                          {"16", "1", "C:\\APP"}};
  EXPECT_EQ(notices(), expected);

  // Deleted files are told per folder, in whatever order they come: three files in two
  // folders give two notices, when the pass flushes.
  machine.libraryCalls.clear();
  Write("C:\\APP3\\X\\1.TXT");
  Write("C:\\APP3\\X\\2.TXT");
  Write("C:\\APP3\\Y\\3.TXT");
  for (const char* file : {"C:\\APP3\\X\\1.TXT", "C:\\APP3\\Y\\3.TXT", "C:\\APP3\\X\\2.TXT"})
    RemoveFileItem(file, "", false);
  FlushShellNotifications();
  const std::vector<std::vector<std::string>> perFolder = {{"4096", "1", "C:\\APP3\\X"},
                                                           {"4096", "1", "C:\\APP3\\Y"}};
  EXPECT_EQ(notices(), perFolder);

  // An old shell gets no notices.
  machine.libraryCalls.clear();
  gRun.newShell = false;
  Write("C:\\APP2\\B.TXT");
  RemoveDirectoryTree("C:\\APP2", true);
  EXPECT_TRUE(machine.libraryCalls.empty());
}

}  // namespace
