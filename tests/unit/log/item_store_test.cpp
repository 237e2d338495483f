// The arena's block rules, the store's start state, list growth past the start capacities
// and the section limit.
#include "log/item_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "run/run_reset.h"

namespace {

class ItemStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ArenaRelease(); }
  void TearDown() override { ArenaRelease(); }
};

bool Aligned8(const void* p) { return reinterpret_cast<uintptr_t>(p) % 8 == 0; }

TEST_F(ItemStoreTest, ArenaBlockRules) {
  struct Step {
    size_t request;
    size_t blocksAfter;    // how many blocks the chain holds afterwards
    size_t capacityAfter;  // size of the newest block
    bool newBlock;         // the request starts a block of its own
  };
  const size_t big = 70000;
  const size_t fits = kArenaBlockSize - kArenaLinkSize;  // the most one block can serve
  const Step steps[] = {
      {10, 1, kArenaBlockSize, true},                  // the first request makes a block
      {6, 1, kArenaBlockSize, false},                  // served from its rest
      {big, 2, big + kArenaLinkSize, true},            // too large: a block of its own
      {1, 3, kArenaBlockSize, true},                   // the large block has no rest
      {fits, 4, kArenaBlockSize, true},                // does not fit the rest
      {fits + 1, 5, fits + 1 + kArenaLinkSize, true},  // one byte too many for a block
  };
  for (const Step& s : steps) {
    ArenaBlock* before = gArena.newest;
    void* p = ArenaAllocate(s.request);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(Aligned8(p)) << "request " << s.request;
    EXPECT_EQ(gArena.blockCount, s.blocksAfter) << "request " << s.request;
    EXPECT_EQ(gArena.capacity, s.capacityAfter) << "request " << s.request;
    EXPECT_EQ(gArena.newest != before, s.newBlock) << "request " << s.request;
    if (s.newBlock) {
      // The first area of a block lies just after its link.
      EXPECT_EQ(static_cast<char*>(p), reinterpret_cast<char*>(gArena.newest) + kArenaLinkSize);
    }
    memset(p, 0xAB, s.request);  // the whole area is usable (the sanitizers check)
  }
}

TEST_F(ItemStoreTest, ArenaServesInOrderWithEightByteAlignment) {
  char* a = static_cast<char*>(ArenaAllocate(3));
  char* b = static_cast<char*>(ArenaAllocate(5));
  char* c = static_cast<char*>(ArenaAllocate(8));
  EXPECT_EQ(b, a + 8);
  EXPECT_EQ(c, b + 8);
  EXPECT_EQ(gArena.blockCount, 1u);
}

TEST_F(ItemStoreTest, ArenaReleaseEmptiesTheChainAndStartsAgain) {
  for (int i = 0; i < 5; ++i) ArenaAllocate(40000);
  EXPECT_EQ(gArena.blockCount, 5u);
  ArenaRelease();
  EXPECT_EQ(gArena.first, nullptr);
  EXPECT_EQ(gArena.blockCount, 0u);
  ArenaAllocate(1);
  EXPECT_EQ(gArena.blockCount, 1u);
}

TEST_F(ItemStoreTest, ArenaCopy) {
  char* copy = ArenaCopy("C:\\APP\\A.DLL");
  EXPECT_STREQ(copy, "C:\\APP\\A.DLL");
  EXPECT_STREQ(ArenaCopy(nullptr), "");
  EXPECT_STREQ(ArenaCopy(""), "");
}

TEST_F(ItemStoreTest, ResetGivesEmptyListsWithTheirCapacities) {
  ResetRunWideState();
  struct {
    const char* name;
    int32_t capacity;
    int32_t count;
  } lists[] = {
      {"PrivateFiles", gStore.PrivateFiles.capacity, gStore.PrivateFiles.count},
      {"RegKeys", gStore.RegKeys.capacity, gStore.RegKeys.count},
      {"RegEdits", gStore.RegEdits.capacity, gStore.RegEdits.count},
      {"RepairValues", gStore.RepairValues.capacity, gStore.RepairValues.count},
      {"SystemFiles", gStore.SystemFiles.capacity, gStore.SystemFiles.count},
      {"Directories", gStore.Directories.capacity, gStore.Directories.count},
      {"IniEdits", gStore.IniEdits.capacity, gStore.IniEdits.count},
      {"Services", gStore.Services.capacity, gStore.Services.count},
  };
  for (const auto& l : lists) {
    int32_t expected = (strcmp(l.name, "PrivateFiles") == 0 || strcmp(l.name, "RegKeys") == 0 ||
                        strcmp(l.name, "RegEdits") == 0 || strcmp(l.name, "RepairValues") == 0)
                           ? 48000
                           : 16000;
    EXPECT_EQ(l.capacity, expected) << l.name;
    EXPECT_EQ(l.count, 0) << l.name;
  }
  EXPECT_EQ(gStore.sectionSourcesCapacity, 1024);
  EXPECT_EQ(gStore.sectionCount, 0);
  EXPECT_EQ(gStore.perUserId, nullptr);
}

TEST_F(ItemStoreTest, FullListGrowsAndKeepsEveryRecordAtItsIndex) {
  ResetRunWideState();
  const int32_t total = kListCapacity + 10;
  for (int32_t i = 0; i < total; ++i) {
    ServiceItem* item = NewItem<ServiceItem>();
    item->section = static_cast<uint16_t>(i % 60000);
    AppendItem(gStore.Services, item);
  }
  ASSERT_EQ(gStore.Services.count, total);
  EXPECT_GE(gStore.Services.capacity, total);
  for (int32_t i = 0; i < total; ++i) {
    ASSERT_EQ(gStore.Services[i]->section, static_cast<uint16_t>(i % 60000)) << "index " << i;
  }
}

TEST_F(ItemStoreTest, SectionsOpenUpToTheLimitThenRefuse) {
  ResetRunWideState();
  for (int i = 1; i <= kMaxSections; ++i) {
    ASSERT_EQ(OpenSection(), 0) << "section " << i;
    if (i % 997 == 0) SetSectionSource("D:\\SETUP.EXE|x");
  }
  EXPECT_EQ(gStore.sectionCount, kMaxSections);
  EXPECT_GT(gStore.sectionSourcesCapacity, static_cast<int32_t>(kMaxSections));
  EXPECT_STREQ(SectionSource(997 * 3), "D:\\SETUP.EXE|x");  // survives the table's growth
  EXPECT_EQ(SectionSource(998), nullptr);
  EXPECT_EQ(OpenSection(), 1);
  EXPECT_EQ(gStore.sectionCount, kMaxSections);
  EXPECT_EQ(SectionSource(-1), nullptr);
  EXPECT_EQ(SectionSource(1 << 20), nullptr);
}

TEST_F(ItemStoreTest, OpenSectionClearsAnEntryLeftFromBefore) {
  ResetRunWideState();
  OpenSection();
  SetSectionSource("first");
  gStore.sectionCount = 0;  // a second load over the same table
  OpenSection();
  EXPECT_EQ(SectionSource(1), nullptr);
}

}  // namespace
