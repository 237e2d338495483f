// Path helpers on the simulated machine: existence, the double-byte-safe search, the file
// name part and the long/short conversion, including its bounds.
#include "base/path_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/fixed_text.h"
#include "base/run_state.h"
#include "base/text.h"
#include "platform/sim/sim_machine.h"

namespace {

class PathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallPlatform(&machine);
    InstallUserInterface(&ui);
    LoadTextRules();
    machine.WriteFile("C:\\Program Files\\App\\UNINST.EXE", "MZ");
    machine.WriteFile("C:\\Program Files\\App\\Long Name Library.dll", "MZ");
    machine.WriteFile("C:\\Program Files\\App\\README.TXT", "x");
    machine.MakeDirectories("C:\\Program Files\\Common Files");
  }
  void TearDown() override {
    machine.settings.ansiCodePage = 1252;
    LoadTextRules();
  }
  void UseCodePage(uint32_t codePage) {
    machine.settings.ansiCodePage = codePage;
    LoadTextRules();
  }
  std::string Normalized(const char* path, bool longForm) {
    char buffer[256];
    CopyText(buffer, sizeof buffer, path);
    NormalizePath(buffer, sizeof buffer, longForm);
    return buffer;
  }

  SimMachine machine;
  SimUi ui;
};

TEST_F(PathTest, FileExistsForFilesAndDirectories) {
  EXPECT_TRUE(FileExists("C:\\Program Files\\App\\UNINST.EXE"));
  EXPECT_TRUE(FileExists("c:\\progra~1\\app\\uninst.exe"));
  EXPECT_TRUE(FileExists("C:\\Program Files\\App"));
  EXPECT_FALSE(FileExists("C:\\Program Files\\App\\MISSING.EXE"));
  EXPECT_FALSE(FileExists("C:\\Nowhere\\UNINST.EXE"));
}

TEST_F(PathTest, FindCharStepsOverDoubleByteCharacters) {
  struct Case {
    const char* text;
    char c;
    int expected;  // offset, -1 for none
  };
  // 0x83 0x5C is one character in code page 932 whose second byte is a backslash.
  const Case kCases[] = {
      {"C:\\APP", '\\', 2},   {"APP", '\\', -1},      {"", '\\', -1},     {"\x83\x5C\\X", '\\', 2},
      {"\x83\x5C", '\\', -1}, {"A\x83\x7C|", '|', 3}, {"\x83", '\\', -1}, {"abc", '\0', 3},
  };
  UseCodePage(932);
  for (const Case& c : kCases) {
    const char* found = FindChar(c.text, c.c);
    int offset = found == nullptr ? -1 : static_cast<int>(found - c.text);
    EXPECT_EQ(offset, c.expected) << "text [" << c.text << "] char " << int(c.c);
  }
  // The same bytes in a single-byte code page are two characters.
  UseCodePage(1252);
  EXPECT_EQ(FindChar("\x83\x5C\\X", '\\') - "\x83\x5C\\X", 1);
}

// In code page 932 ヂ is 0x83 0x61 and ア 0x83 0x41: their second bytes are 'a' and 'A'.
// A prefix compares whole characters, and only single bytes fold.
TEST_F(PathTest, PrefixesAndFoldingTakeWholeCharacters) {
  struct Case {
    const char* text;
    const char* prefix;
    uint32_t codePage;
    bool starts;
  };
  const Case kCases[] = {
      {"C:\\\x83\x61\\App\\", "C:\\\x83\x41\\", 932, false},  // C:\ヂ\App is not inside C:\ア
      {"C:\\\x83\x61\\App\\", "c:\\\x83\x61\\", 932, true},   // the drive still folds
      {"C:\\\x95\x5C", "C:\\\x95", 932, false},               // the prefix ends inside 表
      {"C:\\\x95", "C:\\\x95\x5C", 932, false},               // the text ends first
      {"C:\\PROGRA~1\\A", "c:\\progra~1\\", 932, true},
      {"C:\\A", "", 932, true},
      {"C:\\\x83\x61", "C:\\\x83\x41", 1252, true},  // two single bytes each: a folds to A
      {"C:\\\xE9", "c:\\\xC9", 1252, true},          // é and É
      {"C:", "C:\\", 1252, false},
  };
  for (const Case& c : kCases) {
    UseCodePage(c.codePage);
    EXPECT_EQ(StartsWithNoCase(c.text, c.prefix), c.starts)
        << "[" << c.text << "] [" << c.prefix << "] cp " << c.codePage;
  }
  UseCodePage(932);
  char folded[] =
      "c:\\\x83\x61\\\x83\x41"
      "b\x83";  // c:\ヂ\アb and a lone lead byte
  FoldCase(folded);
  EXPECT_STREQ(folded,
               "C:\\\x83\x61\\\x83\x41"
               "B\x83");
}

TEST_F(PathTest, FileNamePart) {
  struct Case {
    const char* path;
    int offset;
    uint32_t codePage;
  };
  const Case kCases[] = {
      {"C:\\APP\\", 7, 1252},         {"APP.EXE", 0, 1252}, {"C:\\A\\B.TXT", 5, 1252},
      {"\\\\S\\SHARE\\F", 10, 1252},  {"", 0, 1252},        {"C:\\\x83\x5CX.TXT", 3, 932},
      {"C:\\\x83\x5CX.TXT", 5, 1252},
  };
  for (const Case& c : kCases) {
    UseCodePage(c.codePage);
    EXPECT_EQ(FileNamePart(c.path) - c.path, c.offset) << c.path << " cp " << c.codePage;
  }
}

TEST_F(PathTest, NormalizesToLongAndShortForms) {
  struct Case {
    const char* path;
    bool longForm;
    const char* expected;
  };
  const Case kCases[] = {
      // Without '~' the long form is the path itself, even relative and lower-case.
      {"c:\\program files\\app", true, "c:\\program files\\app"},
      {"relative\\path.txt", true, "relative\\path.txt"},
      {"C:\\Program Files\\App\\UNINST.EXE /X", false, "C:\\PROGRA~1\\App\\UNINST.EXE /X"},
      {"c:\\program files\\app\\long name library.dll", false, "C:\\PROGRA~1\\App\\LONGNA~1.DLL"},
      {"c:\\progra~1\\app\\longna~1.dll", true, "C:\\Program Files\\App\\Long Name Library.dll"},
      {"c:\\progra~1\\Missing\\x~1.txt", true, "C:\\Program Files\\Missing\\x~1.txt"},
      // A name that is already 8.3 ("App", "README.TXT") has no short name of its own and
      // keeps its long one, in the case the file system stores.
      {"c:\\program files\\app\\readme.txt", false, "C:\\PROGRA~1\\App\\README.TXT"},
      {"C:\\Program Files\\\\App", false, "C:\\PROGRA~1\\\\App"},
      {"C:\\Program Files\\", false, "C:\\PROGRA~1\\"},
      {"C:\\", false, "C:\\"},
      // A pattern stays a pattern: it is not replaced by the first file it matches.
      {"C:\\Program Files\\App\\*.EXE", false, "C:\\PROGRA~1\\App\\*.EXE"},
      {"C:\\Program Files\\Ap?\\UNINST.EXE", false, "C:\\PROGRA~1\\Ap?\\UNINST.EXE"},
      // The server and share of a UNC path are not searched for.
      {"\\\\server\\share\\Some Dir", false, "\\\\server\\share\\Some Dir"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Normalized(c.path, c.longForm), c.expected)
        << c.path << (c.longForm ? " (long)" : " (short)");
  }
}

TEST_F(PathTest, BarePathTakesTheCurrentDirectory) {
  machine.settings.currentDirectory = "C:\\Program Files\\App";
  machine.SetCurrentDir("C:\\Program Files\\App");
  EXPECT_EQ(Normalized("uninst.exe", false), "C:\\PROGRA~1\\App\\UNINST.EXE");
  EXPECT_EQ(Normalized("x~1", true), "C:\\Program Files\\App\\x~1");
  // The root's current directory already ends in a backslash.
  machine.SetCurrentDir("C:\\");
  EXPECT_EQ(Normalized("Program Files", false), "C:\\PROGRA~1");
}

// Expansion to long names is cut at the buffer's end; nothing past it is touched.
TEST_F(PathTest, NeverWritesPastTheBuffer) {
  const size_t kSizes[] = {2, 5, 12, 20, 64, 256};
  for (size_t size : kSizes) {
    for (bool longForm : {true, false}) {
      char buffer[300];
      memset(buffer, '#', sizeof buffer);
      std::string path = "c:\\progra~1\\app\\longna~1.dll";
      if (size == 256) path += "\\" + std::string(230, 'Z') + "~";
      CopyText(buffer, size, path.c_str());
      NormalizePath(buffer, size, longForm);
      size_t length = strnlen(buffer, sizeof buffer);
      EXPECT_LT(length, size) << "size " << size;
      for (size_t i = size; i < sizeof buffer; ++i) {
        ASSERT_EQ(buffer[i], '#') << "byte " << i << " written, size " << size;
      }
    }
  }
  char buffer[256];
  CopyText(buffer, sizeof buffer,
           ("c:\\progra~1\\app\\longna~1.dll\\" + std::string(225, 'Z') + "~").c_str());
  NormalizePath(buffer, sizeof buffer, true);
  std::string expected = "C:\\Program Files\\App\\Long Name Library.dll\\" + std::string(225, 'Z');
  EXPECT_EQ(std::string(buffer), expected.substr(0, 255));
}

// Paths converted with remembered lookups come out exactly as with a search for every
// folder, whichever conversions came before them, in either direction and at any size.
TEST_F(PathTest, RememberedLookupsConvertAsTheSearchesDo) {
  machine.MakeDirectories("C:\\Program Files\\App\\Deep Folder\\Deeper");
  const char* kPaths[] = {
      "C:\\Program Files\\App\\UNINST.EXE",
      "c:\\program files\\app\\long name library.dll",
      "c:\\progra~1\\app\\longna~1.dll",
      "c:\\progra~1\\Missing\\x~1.txt",
      "C:\\Program Files\\Missing\\x.txt",
      "C:\\Program Files\\\\App",
      "C:\\Program Files\\App\\*.EXE",
      "C:\\Program Files\\App\\Deep Folder\\Deeper\\",
      "C:\\PROGRA~1\\App\\DEEPFO~1\\DEEPER\\A~1",
      "\\\\server\\share\\Some Dir",
  };
  static FolderLookups lookups;
  ForgetFolderLookups(&lookups);
  for (int pass = 0; pass < 2; ++pass) {
    int searches = 0;
    int rememberedSearches = 0;
    for (const char* path : kPaths) {
      for (bool longForm : {false, true}) {
        for (size_t size : {size_t{14}, size_t{24}, size_t{256}}) {
          char searched[256];
          char remembered[256];
          CopyText(searched, size, path);
          CopyText(remembered, size, path);
          int before = machine.directorySearches;
          NormalizePath(searched, size, longForm);
          searches += machine.directorySearches - before;
          before = machine.directorySearches;
          NormalizePath(remembered, size, longForm, &lookups);
          rememberedSearches += machine.directorySearches - before;
          EXPECT_STREQ(remembered, searched) << path << (longForm ? " (long)" : " (short)")
                                             << " size " << size << " pass " << pass;
        }
      }
    }
    if (pass == 0) {
      EXPECT_LT(rememberedSearches, searches);
    } else {
      EXPECT_EQ(rememberedSearches, 0);
    }
  }
}

// Each folder is searched for once while the lookups are kept, a folder that is not there
// included; forgetting them searches again.
TEST_F(PathTest, RememberedLookupsSearchEachFolderOnce) {
  struct Step {
    const char* path;
    bool longForm;
    int searches;
  };
  const Step kSteps[] = {
      // C:\Program Files, C:\PROGRA~1\App, C:\PROGRA~1\App\UNINST.EXE
      {"C:\\Program Files\\App\\UNINST.EXE", false, 3},
      {"C:\\Program Files\\App\\README.TXT", false, 1},
      {"C:\\Program Files\\App", false, 0},
      {"C:\\Program Files\\Common Files", false, 1},
      // Missing is not found, and the file below it is searched for as written.
      {"C:\\Program Files\\Missing\\A.TXT", false, 2},
      {"C:\\Program Files\\Missing\\A.TXT", false, 0},
      // The short names are other texts to search for: C:\progra~1, then the long forms.
      {"c:\\progra~1\\app\\longna~1.dll", true, 3},
      {"c:\\progra~1\\app\\longna~1.dll", true, 0},
      // A long path without '~' is not converted at all.
      {"C:\\Program Files\\Other\\B.TXT", true, 0},
  };
  static FolderLookups lookups;
  ForgetFolderLookups(&lookups);
  for (const Step& step : kSteps) {
    char buffer[256];
    CopyText(buffer, sizeof buffer, step.path);
    int before = machine.directorySearches;
    NormalizePath(buffer, sizeof buffer, step.longForm, &lookups);
    EXPECT_EQ(machine.directorySearches - before, step.searches)
        << step.path << (step.longForm ? " (long)" : " (short)");
  }
  ForgetFolderLookups(&lookups);
  char buffer[256];
  CopyText(buffer, sizeof buffer, "C:\\Program Files\\App");
  int before = machine.directorySearches;
  NormalizePath(buffer, sizeof buffer, false, &lookups);
  EXPECT_EQ(machine.directorySearches - before, 2);
}

// Full lookups make room by dropping the folder used longest ago: a folder in constant use
// stays, and a dropped one is searched for again and still converted right.
TEST_F(PathTest, FullLookupsDropTheFolderUsedLongestAgo) {
  static FolderLookups lookups;
  ForgetFolderLookups(&lookups);
  auto convert = [&](const std::string& path) {
    char buffer[256];
    CopyText(buffer, sizeof buffer, path.c_str());
    int before = machine.directorySearches;
    NormalizePath(buffer, sizeof buffer, false, &lookups);
    return std::make_pair(std::string(buffer), machine.directorySearches - before);
  };
  const int kFolders = FolderLookups::kEntries + 6;
  for (int i = 0; i < kFolders; ++i) {
    machine.MakeDirectories("C:\\Folder Number " + std::to_string(i));
  }
  EXPECT_EQ(convert("C:\\Program Files").second, 1);
  for (int i = 0; i < kFolders; ++i) {
    EXPECT_EQ(convert("C:\\Folder Number " + std::to_string(i)).second, 1) << i;
    EXPECT_EQ(convert("C:\\Program Files").second, 0) << "after folder " << i;
  }
  EXPECT_EQ(lookups.count, FolderLookups::kEntries);
  auto first = convert("C:\\Folder Number 0");
  EXPECT_EQ(first.second, 1);
  char searched[256];
  CopyText(searched, sizeof searched, "C:\\Folder Number 0");
  NormalizePath(searched, sizeof searched, false);
  EXPECT_EQ(first.first, searched);
  EXPECT_EQ(convert("C:\\Folder Number " + std::to_string(kFolders - 1)).second, 0);
}

}  // namespace

// In code page 932 the second byte of 表 (0x95 0x5C) is the backslash's byte: a path ending in
// it does not end in a separator, and no cut or trim may leave its lead byte alone.
TEST_F(PathTest, DoubleByteCharactersAreNeverSplit) {
  UseCodePage(932);
  const char kFolder[] = "C:\\\x95\x5C";  // C:\表
  EXPECT_FALSE(EndsWithBackslash(kFolder));
  EXPECT_TRUE(EndsWithBackslash("C:\\\x95\x5C\\"));
  EXPECT_FALSE(EndsWithBackslash(""));

  char path[16];
  CopyText(path, sizeof path, kFolder);
  EnsureTrailingBackslash(path, sizeof path);
  EXPECT_STREQ(path, "C:\\\x95\x5C\\");
  DropTrailingBackslash(path);
  DropTrailingBackslash(path);  // the second finds no separator: the character stays
  EXPECT_STREQ(path, kFolder);

  // Cuts: "AB" then 表 in a buffer with room for three bytes keeps "AB".
  char cut[4];
  CopyText(cut, sizeof cut, "AB\x95\x5C");
  EXPECT_STREQ(cut, "AB");
  CopyText(cut, sizeof cut, "A");
  AppendText(cut, sizeof cut, "B\x95\x5C");
  EXPECT_STREQ(cut, "AB");
  FixedText<4> field;
  field.Set("AB\x95\x5C");
  EXPECT_STREQ(field.c_str(), "AB");
  field.Set("A");
  field.Append("B\x95\x5C");
  EXPECT_STREQ(field.c_str(), "AB");
  field.Set("A\x95\x5C");  // fits exactly
  EXPECT_STREQ(field.c_str(), "A\x95\x5C");

  char canonical[64];
  ASSERT_TRUE(CanonicalPath("C:\\\x95\x5C\\X\\..\\", canonical, sizeof canonical));
  EXPECT_STREQ(canonical, kFolder);
  ASSERT_TRUE(CanonicalPath("C:\\A\\\x95\x5C\\..\\B", canonical, sizeof canonical));
  EXPECT_STREQ(canonical, "C:\\A\\B");

  // In a single-byte code page the same bytes end in a backslash.
  UseCodePage(1252);
  EXPECT_TRUE(EndsWithBackslash(kFolder));
}
