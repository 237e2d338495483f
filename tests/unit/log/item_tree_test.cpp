// ReverseCompare and the loader's search trees.
#include "log/item_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "log/item_store.h"
#include "run/run_reset.h"

namespace {

TEST(ReverseCompareTest, Table) {
  struct {
    const char* stored;
    const char* sought;
    int expected;
  } cases[] = {
      {"C:\\APP\\A.DLL", "c:\\app\\a.dll", 0},  // case does not count
      {"", "", 0},
      {"A.DLL", "C:\\APP\\A.DLL", 1},   // stored is a trailing part of sought
      {"C:\\APP\\A.DLL", "A.DLL", -1},  // sought is a trailing part of stored
      {"", "X", 1},
      {"X", "", -1},
      {"C:\\A.DLL", "C:\\B.DLL", 'A' - 'B'},                  // first difference from the end
      {"AZ", "BY", 'Z' - 'Y'},                                // the last character decides first
      {"a", "B", 'A' - 'B'},                                  // compared upper-cased
      {"\xE9", "e", static_cast<signed char>('\xE9') - 'E'},  // signed 8-bit
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReverseCompare(c.stored, c.sought), c.expected) << c.stored << " / " << c.sought;
  }
}

class ItemTreeTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetRunWideState(); }
  void TearDown() override { ArenaRelease(); }
};

FileItem* Insert(const char* path, bool* created) {
  return TreeFindOrInsert(gStore.PrivateFiles, path, created);
}

TEST_F(ItemTreeTest, FileTreeFindsRepeatsAndAppendsNewPaths) {
  struct {
    const char* path;
    bool created;
    int index;  // index of the record found or made
  } steps[] = {
      {"C:\\APP\\MAIN.EXE", true, 0},
      {"C:\\APP\\A.DLL", true, 1},
      {"c:\\app\\main.exe", false, 0},  // differs only in case
      {"A.DLL", true, 2},               // a trailing part is a different path
      {"C:\\APP\\B.DLL", true, 3},
      {"C:\\APP\\A.DLL", false, 1},
      {"C:\\OTHER\\A.DLL", true, 4},
      {"A.DLL", false, 2},
  };
  for (const auto& s : steps) {
    bool created = false;
    FileItem* item = Insert(s.path, &created);
    EXPECT_EQ(created, s.created) << s.path;
    ASSERT_LT(s.index, gStore.PrivateFiles.count) << s.path;
    EXPECT_EQ(item, gStore.PrivateFiles[s.index]) << s.path;
    if (s.created) {
      EXPECT_STREQ(item->path.c_str(), s.path);
    }
  }
  EXPECT_EQ(gStore.PrivateFiles.count, 5);
  EXPECT_EQ(TreeLookup(gStore.PrivateFiles, "C:\\OTHER\\B.DLL"), nullptr);
  EXPECT_EQ(TreeLookup(gStore.PrivateFiles, "C:\\OTHER\\a.dll"), gStore.PrivateFiles[4]);
  EXPECT_EQ(gStore.PrivateFiles.count, 5);  // a lookup never inserts
}

TEST_F(ItemTreeTest, ShapeFollowsLogOrder) {
  // Stored "X\A" against sought "X\B" is negative: the first link. "A" is a trailing part
  // of "X\A" (negative again, on to b), and "X\B" against "A" is positive: b's second link.
  bool created = false;
  FileItem* root = Insert("X\\A", &created);
  FileItem* b = Insert("X\\B", &created);
  FileItem* tail = Insert("A", &created);
  EXPECT_EQ(root->links.before, b);
  EXPECT_EQ(root->links.after, nullptr);
  EXPECT_EQ(b->links.before, nullptr);
  EXPECT_EQ(b->links.after, tail);
}

TEST_F(ItemTreeTest, RegistryKeysUseNameAndRootAsFurtherKeys) {
  struct {
    const char* key;
    const char* name;
    const char* root;
    bool created;
    int index;
  } steps[] = {
      {"Software\\App", "Path", "2", true, 0},
      {"Software\\App", "Path", "1", true, 1},  // differs only in the root
      {"SOFTWARE\\APP", "PATH", "2", false, 0},
      {"Software\\App", "", "2", true, 2},  // the key's default value
      {"Software\\App", "Path", "1", false, 1},
      {"Software\\App", "", "2", false, 2},
  };
  for (const auto& s : steps) {
    bool created = false;
    RegKeyItem* item = TreeFindOrInsert(gStore.RegKeys, s.key, s.name, s.root, &created);
    EXPECT_EQ(created, s.created) << s.key << " " << s.name << " " << s.root;
    EXPECT_EQ(item, gStore.RegKeys[s.index]);
  }
  EXPECT_EQ(TreeLookup(gStore.RegKeys, "Software\\App", "Path", "3"), nullptr);
}

TEST_F(ItemTreeTest, IniEditsAndRegEditsKeepTheirKeys) {
  bool created = false;
  IniEditItem* a = TreeFindOrInsert(gStore.IniEdits, "C:\\W\\A.INI", "Boot", "Shell", &created);
  EXPECT_TRUE(created);
  EXPECT_STREQ(a->sectionName.c_str(), "Boot");
  EXPECT_STREQ(a->key.c_str(), "Shell");
  EXPECT_EQ(TreeFindOrInsert(gStore.IniEdits, "c:\\w\\a.ini", "BOOT", "shell", &created), a);
  EXPECT_FALSE(created);
  TreeFindOrInsert(gStore.IniEdits, "C:\\W\\A.INI", "Boot", "Other", &created);
  EXPECT_TRUE(created);
  RegEditItem* e = TreeFindOrInsert(gStore.RegEdits, "K", "N", "0", &created);
  EXPECT_TRUE(created);
  EXPECT_EQ(TreeLookup(gStore.RegEdits, "k", "n", "0"), e);
}

// The log-order links must be exactly those of a plain insertion walk from the root, and
// every record must stay findable, whatever order the log brings them in: shuffled, or
// sorted so that a plain tree becomes a chain.
TEST_F(ItemTreeTest, LogOrderLinksMatchAPlainInsertionWalk) {
  struct PlainWalk {
    IniEditItem* found = nullptr;
    void** slot = nullptr;  // null for an empty list
  };
  auto plainWalk = [](const char* file, const char* section, const char* key) {
    PlainWalk walk;
    IniEditItem* node = gStore.IniEdits.count > 0 ? gStore.IniEdits[0] : nullptr;
    while (node != nullptr) {
      int result = ReverseCompare(node->file.c_str(), file);
      if (result == 0) result = CompareNoCase(node->sectionName.c_str(), section);
      if (result == 0) result = CompareNoCase(node->key.c_str(), key);
      if (result == 0) {
        walk.found = node;
        return walk;
      }
      void** link = result < 0 ? &node->links.before : &node->links.after;
      if (*link == nullptr) {
        walk.slot = link;
        return walk;
      }
      node = static_cast<IniEditItem*>(*link);
    }
    return walk;
  };
  for (bool sorted : {false, true}) {
    ResetRunWideState();
    uint32_t seed = 12345;
    std::vector<std::string> keys;
    for (int i = 0; i < 600; ++i) {
      seed = seed * 1103515245u + 12345u;
      keys.push_back("Key" + std::to_string(sorted ? i : static_cast<int>(seed >> 16) % 400));
    }
    for (const std::string& key : keys) {
      const char* file = key.size() % 2 == 0 ? "C:\\W\\A.INI" : "C:\\APP\\A.INI";
      PlainWalk expected = plainWalk(file, "S", key.c_str());
      bool created = false;
      IniEditItem* item = TreeFindOrInsert(gStore.IniEdits, file, "s", key.c_str(), &created);
      ASSERT_EQ(created, expected.found == nullptr) << key;
      if (!created) {
        EXPECT_EQ(item, expected.found) << key;
      } else if (expected.slot == nullptr) {
        EXPECT_EQ(item, gStore.IniEdits[0]);
      } else {
        EXPECT_EQ(*expected.slot, item) << key << (sorted ? " (sorted)" : " (shuffled)");
      }
    }
    for (int32_t i = 0; i < gStore.IniEdits.count; ++i) {
      const IniEditItem* r = gStore.IniEdits[i];
      EXPECT_EQ(
          TreeLookup(gStore.IniEdits, r->file.c_str(), r->sectionName.c_str(), r->key.c_str()), r);
    }
  }
}

// The same for paths: short ones, trailing parts of others, letter case, DEL and bytes
// above 0x7F, where the comparison of the last characters decides most steps.
TEST_F(ItemTreeTest, PathTreeKeepsTheOrderOfReverseCompare) {
  const char alphabet[] = {'a', 'A', 'b', '\\', '.', '\x7F', '\xE9', '\x80'};
  uint32_t seed = 99;
  for (int i = 0; i < 3000; ++i) {
    seed = seed * 1103515245u + 12345u;
    std::string path(1 + (seed >> 16) % 11, ' ');
    for (char& c : path) {
      seed = seed * 1103515245u + 12345u;
      c = alphabet[(seed >> 16) % sizeof alphabet];
    }
    FileItem* expected = nullptr;
    void** slot = nullptr;
    FileItem* node = gStore.PrivateFiles.count > 0 ? gStore.PrivateFiles[0] : nullptr;
    while (node != nullptr && expected == nullptr) {
      int result = ReverseCompare(node->path.c_str(), path.c_str());
      if (result == 0) expected = node;
      void** link = result < 0 ? &node->links.before : &node->links.after;
      if (*link == nullptr) slot = link;
      node = result == 0 ? nullptr : static_cast<FileItem*>(*link);
    }
    bool created = false;
    FileItem* item = Insert(path.c_str(), &created);
    ASSERT_EQ(created, expected == nullptr) << i;
    if (expected != nullptr) {
      EXPECT_EQ(item, expected) << i;
    } else if (slot != nullptr) {
      EXPECT_EQ(*slot, item) << i;
    }
  }
}

}  // namespace
