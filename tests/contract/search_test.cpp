// Contract of directory search: wildcard patterns, the entries' fields, the end of a
// search, and long names with their 8.3 short names.
#include "contract/contract_support.h"

#include <cstring>

namespace {

using SearchContract = ContractTest;

bool IsEightDotThree(const char* name) {
  const char* dot = strchr(name, '.');
  size_t base = dot != nullptr ? static_cast<size_t>(dot - name) : strlen(name);
  size_t extension = dot != nullptr ? strlen(dot + 1) : 0;
  if (base == 0 || base > 8 || extension > 3) return false;
  if (dot != nullptr && strchr(dot + 1, '.') != nullptr) return false;
  return strchr(name, ' ') == nullptr;
}

TEST_F(SearchContract, Wildcards) {
  const char* files[] = {"A.TXT", "b.tmp", "C.TMP", "X1", "X2", "XX3", "Y1", "NOEXT"};
  for (const char* name : files) ASSERT_EQ(WriteWholeFile(PathOf(name), "x"), 0) << name;
  ASSERT_EQ(Sys().MakeDirectory(PathOf("SUBDIR").c_str()), 0);

  struct Case {
    const char* pattern;
    std::vector<std::string> expected;
  } cases[] = {
      {"*.*", {"A.TXT", "b.tmp", "C.TMP", "NOEXT", "SUBDIR", "X1", "X2", "XX3", "Y1"}},
      {"*", {"A.TXT", "b.tmp", "C.TMP", "NOEXT", "SUBDIR", "X1", "X2", "XX3", "Y1"}},
      {"*.TMP", {"b.tmp", "C.TMP"}},
      {"*.tmp", {"b.tmp", "C.TMP"}},
      {"X?", {"X1", "X2"}},
      {"?1", {"X1", "Y1"}},
      {"X*", {"X1", "X2", "XX3"}},
      {"a.txt", {"A.TXT"}},
      {"?.T?P", {"b.tmp", "C.TMP"}},
      {"*.DOC", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(SearchNames(PathOf(c.pattern)), c.expected);
  }
}

TEST_F(SearchContract, EntriesAndEnd) {
  ASSERT_EQ(WriteWholeFile(PathOf("SIZED.DAT"), std::string(1234, 'z')), 0);
  ASSERT_EQ(Sys().MakeDirectory(PathOf("DIR").c_str()), 0);

  // A subdirectory lists "." and ".." as well.
  bool dot = false, dotDot = false;
  FindEntry entry;
  SearchHandle search = Sys().FindFirst(PathOf("*.*").c_str(), &entry);
  ASSERT_NE(search, kNoSearch);
  int count = 0;
  int next = 0;
  do {
    ++count;
    if (strcmp(entry.name, ".") == 0) dot = true;
    if (strcmp(entry.name, "..") == 0) dotDot = true;
    if (strcmp(entry.name, "SIZED.DAT") == 0) {
      EXPECT_EQ(entry.size, 1234u);
      EXPECT_EQ(entry.attributes & kAttrDirectory, 0u);
    }
    if (strcmp(entry.name, "DIR") == 0) {
      EXPECT_NE(entry.attributes & kAttrDirectory, 0u);
    }
  } while ((next = Sys().FindNext(search, &entry)) == 0);
  EXPECT_EQ(next, kErrNoMoreFiles);
  Sys().FindEnd(search);
  EXPECT_TRUE(dot);
  EXPECT_TRUE(dotDot);
  EXPECT_EQ(count, 4);

  struct Missing {
    std::string pattern;
    uint32_t error;
  } missing[] = {
      {PathOf("*.zzz"), kErrFileNotFound},
      {PathOf("nothere.txt"), kErrFileNotFound},
      {PathOf("nodir\\*.*"), kErrPathNotFound},
  };
  for (const Missing& m : missing) {
    SCOPED_TRACE(m.pattern);
    EXPECT_EQ(Sys().FindFirst(m.pattern.c_str(), &entry), kNoSearch);
    EXPECT_EQ(Sys().LastError(), m.error);
  }
}

// Short names are compared by what they find, not by their letters: Windows makes
// "LONGFI~1.DOC" and Wine its own hashed form ("LONGF~KB.DOC").
TEST_F(SearchContract, LongAndShortNames) {
  const char* longNames[] = {"Long File Name.Document", "with spaces.txt", "two.dots.here",
                             "lowercaselongname.txt"};
  for (const char* name : longNames) {
    SCOPED_TRACE(name);
    std::string path = PathOf(name);
    ASSERT_EQ(WriteWholeFile(path, name), 0);

    FindEntry entry;
    SearchHandle search = Sys().FindFirst(path.c_str(), &entry);
    ASSERT_NE(search, kNoSearch);
    Sys().FindEnd(search);
    EXPECT_STREQ(entry.name, name);
    ASSERT_NE(entry.shortName[0], '\0');
    EXPECT_TRUE(IsEightDotThree(entry.shortName)) << entry.shortName;

    // The short name is itself a name of the same file.
    std::string shortPath = PathOf(entry.shortName);
    FindEntry again;
    search = Sys().FindFirst(shortPath.c_str(), &again);
    ASSERT_NE(search, kNoSearch) << shortPath;
    Sys().FindEnd(search);
    EXPECT_STREQ(again.name, name);
    EXPECT_STREQ(again.shortName, entry.shortName);
    EXPECT_EQ(ReadWholeFile(shortPath), name);
  }

  // A name that is already 8.3 has no separate short name.
  ASSERT_EQ(WriteWholeFile(PathOf("SHORT.TXT"), "s"), 0);
  FindEntry entry;
  SearchHandle search = Sys().FindFirst(PathOf("SHORT.TXT").c_str(), &entry);
  ASSERT_NE(search, kNoSearch);
  Sys().FindEnd(search);
  EXPECT_STREQ(entry.shortName, "");
}

TEST_F(SearchContract, ShortNameOfADirectoryLeadsIntoIt) {
  std::string dir = PathOf("Program Files Long");
  ASSERT_EQ(Sys().MakeDirectory(dir.c_str()), 0);
  ASSERT_EQ(WriteWholeFile(dir + "\\inside.txt", "in"), 0);

  FindEntry entry;
  SearchHandle search = Sys().FindFirst(dir.c_str(), &entry);
  ASSERT_NE(search, kNoSearch);
  Sys().FindEnd(search);
  EXPECT_NE(entry.attributes & kAttrDirectory, 0u);
  ASSERT_NE(entry.shortName[0], '\0');
  EXPECT_EQ(ReadWholeFile(PathOf(entry.shortName) + "\\inside.txt"), "in");
  EXPECT_EQ(SearchNames(PathOf(entry.shortName) + "\\*.*"), std::vector<std::string>{"inside.txt"});
}

}  // namespace
