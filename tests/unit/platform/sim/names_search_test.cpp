// The simulated file system's naming rules: generated 8.3 names, lookups by either name,
// and the DOS wildcard dialect of directory searches.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace {

class SimNames : public SimFixture {
 protected:
  std::vector<std::string> Search(const std::string& pattern) {
    std::vector<std::string> names;
    FindEntry entry;
    SearchHandle search = Sys().FindFirst(pattern.c_str(), &entry);
    if (search == kNoSearch) return names;
    do names.push_back(entry.name);
    while (Sys().FindNext(search, &entry) == 0);
    Sys().FindEnd(search);
    return names;
  }
  std::string ShortOf(const std::string& path) {
    FindEntry entry;
    SearchHandle search = Sys().FindFirst(path.c_str(), &entry);
    if (search == kNoSearch) return "<none>";
    Sys().FindEnd(search);
    return entry.shortName;
  }
};

TEST_F(SimNames, GeneratesShortNamesOnlyForLongNames) {
  struct Case {
    const char* name;
    const char* shortName;
  } cases[] = {
      {"README.TXT", ""},          {"readme.txt", ""},  // 8.3 in any case needs none
      {"Program Files", "PROGRA~1"}, {"LongFileName.txt", "LONGFI~1.TXT"},
      {"a.html", "A~1.HTM"},       {"my file+x.doc", "MYFILE~1.DOC"},
      {".profile", "PROFIL~1"},    {"two.dots.txt", "TWODOT~1.TXT"},
      {"ab[1].txt", "AB_1_~1.TXT"}, {"NAME", ""},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(machine().WriteFile(std::string("C:\\names\\") + c.name, "x"), 0) << c.name;
    EXPECT_EQ(ShortOf(std::string("C:\\names\\") + c.name), c.shortName) << c.name;
  }
}

TEST_F(SimNames, ShortNamesAreUniquePerDirectoryAndFindTheFile) {
  ASSERT_EQ(machine().WriteFile("C:\\d\\LongFileOne.txt", "1"), 0);
  ASSERT_EQ(machine().WriteFile("C:\\d\\LongFileTwo.txt", "2"), 0);
  ASSERT_EQ(machine().WriteFile("C:\\e\\LongFileTwo.txt", "3"), 0);
  EXPECT_EQ(ShortOf("C:\\d\\LongFileOne.txt"), "LONGFI~1.TXT");
  EXPECT_EQ(ShortOf("C:\\d\\LongFileTwo.txt"), "LONGFI~2.TXT");
  EXPECT_EQ(ShortOf("C:\\e\\LongFileTwo.txt"), "LONGFI~1.TXT");
  EXPECT_EQ(machine().FileContents("c:\\D\\longfi~2.txt"), "2");
  EXPECT_EQ(machine().FileContents("C:\\PROGRA~1\\..\\d\\.\\LongFileOne.txt"), "1");
}

TEST_F(SimNames, PathsResolveAgainstTheCurrentDirectory) {
  ASSERT_EQ(machine().WriteFile("C:\\work\\sub\\f.txt", "f"), 0);
  ASSERT_EQ(Sys().SetCurrentDir("C:\\work"), 0);
  EXPECT_EQ(machine().FileContents("sub\\f.txt"), "f");
  EXPECT_EQ(machine().FileContents("sub/../sub/f.txt"), "f");
  EXPECT_EQ(machine().FileContents("\\work\\sub\\f.txt"), "f");
  EXPECT_EQ(machine().FileContents("C:sub\\f.txt"), "f");
  EXPECT_EQ(machine().FullPath("sub\\name. "), "C:\\work\\sub\\name");
  EXPECT_NE(Sys().SetCurrentDir("C:\\work\\sub\\f.txt"), 0);
}

TEST_F(SimNames, WildcardsFollowTheDosRules) {
  for (const char* name : {"a.txt", "b.TXT", "noext", "x.txtx", "page.html", "abc", "ab", "a.b.c"})
    ASSERT_EQ(machine().WriteFile(std::string("C:\\w\\") + name, ""), 0);
  struct Case {
    const char* pattern;
    std::vector<std::string> expected;
  } cases[] = {
      {"*", {".", "..", "a.b.c", "a.txt", "ab", "abc", "b.TXT", "noext", "page.html", "x.txtx"}},
      {"*.*", {".", "..", "a.b.c", "a.txt", "ab", "abc", "b.TXT", "noext", "page.html", "x.txtx"}},
      {"*.txt", {"a.txt", "b.TXT", "x.txtx"}},  // x.txtx by its short name X~1.TXT
      {"*.htm", {"page.html"}},                  // PAGE~1.HTM
      {"*.", {".", "..", "ab", "abc", "noext"}},  // no extension
      {"ab?", {"ab", "abc"}},                    // a final '?' may match nothing
      {"a?.txt", {"a.txt"}},
      {"?.txt", {"a.txt", "b.TXT"}},
      {"*.c", {"a.b.c"}},
      {"zz*", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> found = Search(std::string("C:\\w\\") + c.pattern);
    EXPECT_EQ(found, c.expected) << c.pattern;
  }
  EXPECT_EQ(Sys().LastError(), static_cast<uint32_t>(kErrFileNotFound));
  EXPECT_EQ(Search("C:\\nowhere\\*"), std::vector<std::string>());
  EXPECT_EQ(Sys().LastError(), static_cast<uint32_t>(kErrPathNotFound));
}

TEST_F(SimNames, PlainPathFindsThatEntryAndJunctionsLeadToTheirTarget) {
  ASSERT_EQ(machine().WriteFile("C:\\target\\inside.txt", "in"), 0);
  ASSERT_EQ(machine().MakeJunction("C:\\link", "C:\\target"), 0);
  EXPECT_EQ(Search("C:\\target\\INSIDE.TXT"), std::vector<std::string>({"inside.txt"}));
  EXPECT_EQ(Search("C:\\link\\*.txt"), std::vector<std::string>({"inside.txt"}));
  EXPECT_EQ(machine().FileContents("C:\\link\\inside.txt"), "in");
  EXPECT_EQ(Sys().GetAttributes("C:\\link"), kAttrDirectory | kAttrReparsePoint);
  // The link goes as a link: the target and its contents stay.
  EXPECT_EQ(Sys().RemoveEmptyDirectory("C:\\link"), 0);
  EXPECT_TRUE(machine().FileExists("C:\\target\\inside.txt"));
  EXPECT_EQ(Sys().RemoveEmptyDirectory("C:\\target"), kErrDirNotEmpty);
}

// Lookups remember the folders they passed through; every change to names must make them
// look again, or a moved or removed folder would still be found under its old path.
TEST_F(SimNames, LookupsFollowChangesToTheFolders) {
  ASSERT_EQ(machine().WriteFile("C:\\a\\b\\f.txt", "old"), 0);
  ASSERT_EQ(machine().WriteFile("C:\\a\\c\\f.txt", "other"), 0);
  EXPECT_EQ(machine().FileContents("C:\\a\\b\\f.txt"), "old");
  ASSERT_EQ(Sys().MoveFileFlags("C:\\a\\b", "C:\\a\\moved", 0), 0);
  EXPECT_EQ(Sys().GetAttributes("C:\\a\\b\\f.txt"), kNoAttributes);
  EXPECT_EQ(machine().FileContents("C:\\a\\moved\\f.txt"), "old");
  ASSERT_EQ(Sys().RemoveFile("C:\\a\\moved\\f.txt"), 0);
  ASSERT_EQ(Sys().RemoveEmptyDirectory("C:\\a\\moved"), 0);
  ASSERT_EQ(machine().WriteFile("C:\\a\\b\\f.txt", "new"), 0);
  EXPECT_EQ(machine().FileContents("C:\\a\\b\\f.txt"), "new");
  ASSERT_EQ(machine().MakeJunction("C:\\j", "C:\\a\\c"), 0);
  EXPECT_EQ(machine().FileContents("C:\\j\\f.txt"), "other");
  machine().settings.ansiCodePage = 932;  // names fold differently: nothing is kept
  EXPECT_EQ(machine().FileContents("C:\\A\\B\\F.TXT"), "new");
}

// Code page 932: the second byte of 表 (0x95 0x5C) is the backslash's, of ポ (0x83 0x7C) the
// bar's, of ヂ (0x83 0x61) a small letter's, of ー (0x81 0x5B) a bracket's. Such bytes
// separate nothing, are allowed in names and never fold; short names keep whole characters.
TEST_F(SimNames, DoubleByteNamesAreTakenByCharacters) {
  machine().settings.ansiCodePage = 932;
  const std::string hyo = "\x95\x5C", po = "\x83\x7C", di = "\x83\x61", a = "\x83\x41";
  const std::string dir = "C:\\" + hyo;  // a folder whose name ends in the backslash's byte
  for (const std::string& name : {po + ".DAT", di + ".TXT", a + ".TXT"})
    ASSERT_EQ(machine().WriteFile(dir + "\\" + name, name), 0) << name;
  EXPECT_EQ(machine().FileContents(dir + "\\X\\..\\" + po + ".DAT"), po + ".DAT");
  EXPECT_EQ(Sys().GetAttributes("C:\\\x95"), kNoAttributes);
  const std::pair<std::string, std::vector<std::string>> searches[] = {
      {di + "*", {di + ".TXT"}},             // not ア.TXT
      {"?.TXT", {a + ".TXT", di + ".TXT"}},  // one character each
      {"*" + po + "*", {po + ".DAT"}},
  };
  for (const auto& search : searches) {
    std::vector<std::string> found = Search(dir + "\\" + search.first);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, search.second) << search.first;
  }
  const std::pair<std::string, std::string> shortNames[] = {
      {"\x81\x5B\x81\x5B.TXT", ""},
      {hyo + hyo + hyo + hyo + hyo + ".TXT", hyo + hyo + hyo + "~1.TXT"},
      {"A" + hyo + hyo + hyo + hyo + ".TXT", "A" + hyo + hyo + "~1.TXT"},
  };
  for (const auto& n : shortNames) {
    ASSERT_EQ(machine().WriteFile("C:\\short\\" + n.first, "x"), 0) << n.first;
    EXPECT_EQ(ShortOf("C:\\short\\" + n.first), n.second) << n.first;
  }
  // The machine's own folders may end in such a character too.
  char temp[64];
  ASSERT_NE(Sys().TempFileName(dir.c_str(), "KTC", 0x12, temp), 0u);
  EXPECT_EQ(std::string(temp), dir + "\\KTC12.TMP");
  ASSERT_EQ(Sys().WriteIniString("S", "K", "V", (hyo + ".INI").c_str()), 0);
  EXPECT_TRUE(machine().FileExists(machine().settings.windowsDirectory + "\\" + hyo + ".INI"));
}

TEST_F(SimNames, InUseAndReadOnlyFilesRefuseChange) {
  ASSERT_EQ(machine().WriteFile("C:\\f\\busy.dll", "busy"), 0);
  ASSERT_EQ(machine().WriteFile("C:\\f\\locked.txt", "ro"), 0);
  ASSERT_EQ(machine().SetInUse("C:\\f\\busy.dll", true), 0);
  ASSERT_EQ(Sys().SetAttributes("C:\\f\\locked.txt", kAttrReadOnly), 0);
  struct Case {
    const char* path;
    int removeError;
    bool opensForWrite;
  } cases[] = {{"C:\\f\\busy.dll", kErrSharingViolation, false},
               {"C:\\f\\locked.txt", kErrAccessDenied, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(Sys().RemoveFile(c.path), c.removeError) << c.path;
    EXPECT_EQ(Sys().OpenForWrite(c.path) != kNoFile, c.opensForWrite) << c.path;
    EXPECT_EQ(Sys().CreateTruncated(c.path), kNoFile) << c.path;
    FileHandle reader = Sys().OpenForRead(c.path);
    EXPECT_NE(reader, kNoFile) << c.path;
    Sys().CloseFile(reader);
  }
  EXPECT_EQ(Sys().MoveFileFlags("C:\\f\\busy.dll", "C:\\f\\moved.dll", 0), kErrSharingViolation);
  EXPECT_EQ(Sys().CopyFileTo("C:\\f\\busy.dll", "C:\\f\\copy.dll", true), 0);  // reading works
  EXPECT_EQ(Sys().CopyFileTo("C:\\f\\copy.dll", "C:\\f\\locked.txt", false), kErrAccessDenied);
  EXPECT_EQ(Sys().CopyFileTo("C:\\f\\copy.dll", "C:\\f\\busy.dll", true), kErrFileExists);
}

TEST_F(SimNames, TempFileNamesUseThePrefixAndTheNumber) {
  char out[260];
  EXPECT_EQ(Sys().TempFileName("C:\\TEMP", "KTCX", 0x1A2B, out), 0x1A2Bu);
  EXPECT_STREQ(out, "C:\\TEMP\\KTC1A2B.TMP");
  EXPECT_FALSE(machine().FileExists(out));
  uint32_t number = Sys().TempFileName("C:\\TEMP\\", "KTC", 0, out);
  EXPECT_NE(number, 0u);
  EXPECT_TRUE(machine().FileExists(out)) << out;
  char second[260];
  EXPECT_NE(Sys().TempFileName("C:\\TEMP\\", "KTC", 0, second), number);
  EXPECT_STRNE(out, second);
}

}  // namespace
