// The item store: the program's whole model of the installation. One list per category of
// logged change, the records in those lists, and the header values of the log. The loader
// fills it once; the wizard sets `selected`, the engine and repair walk the lists. Records
// and lists come from ItemArena and are never freed one by one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "base/fixed_text.h"

// Section number given to the log's own directory; above every real section.
constexpr uint16_t kLogDirectorySection = 32767;
// Highest real section number (section numbers are 16-bit and 32767 is taken).
constexpr uint16_t kMaxSections = 32766;

// ---------------------------------------------------------------------------------------
// ItemArena: chained blocks of 64512 bytes; a request is a pointer bump in the newest
// block, a request that does not fit takes a new block (of its own size when larger).
// Memory is not cleared. Released as a whole at the end of the run.

constexpr size_t kArenaBlockSize = 64512;
// The link to the next block at the start of every block, padded to keep 8-byte alignment.
constexpr size_t kArenaLinkSize = 8;

struct ArenaBlock;

struct ItemArena {
  ArenaBlock* first = nullptr;
  ArenaBlock* newest = nullptr;
  size_t used = 0;      // bytes used in the newest block, its link included
  size_t capacity = 0;  // size of the newest block
  size_t blockCount = 0;
};

extern ItemArena gArena;

// Returns an uncleared area of size bytes, aligned to 8 bytes. Never returns null (a failed
// allocation ends the process: the run cannot go on without its store).
void* ArenaAllocate(size_t size);
// Frees every block.
void ArenaRelease();
// A terminated copy of text (null reads as empty) in the arena.
char* ArenaCopy(const char* text);

// ---------------------------------------------------------------------------------------
// Start capacities of the lists; a list grows past them when a log needs more.
constexpr int32_t kLargeListCapacity = 48000;  // PrivateFiles, RegKeys, RegEdits, RepairValues
constexpr int32_t kListCapacity = 16000;       // every other list
constexpr int32_t kSectionSourcesCapacity = 1024;

// ---------------------------------------------------------------------------------------
// Lists: arrays of record pointers with a count. A record is appended at index count and
// keeps its index for the whole run. The capacities are a minimum: a full list grows (its
// pointer array is copied into a larger arena array), so no record is ever lost.

// One entry of the balanced index that finds the records of a tree-indexed list: the same
// order as the log-order links, kept small and in one array so that a search touches few
// records (log/item_tree.h).
struct TreeIndexNode {
  uint64_t tail;   // the last characters of the record's key 1, packed (KeyTail)
  void* item;      // the record
  int32_t lower;   // entry of the records ordering before it, -1 for none
  int32_t higher;  // entry of the records ordering after it, -1 for none
  int32_t level;   // level in the balanced tree, 1 for a leaf
};

template <typename T>
struct ItemList {
  T** items = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  // The balanced index of a tree-indexed list (entries in the order they were made).
  TreeIndexNode* index = nullptr;
  int32_t indexCount = 0;
  int32_t indexCapacity = 0;
  int32_t indexRoot = -1;

  T* operator[](int32_t index) const { return items[index]; }
};

// An empty list with its start capacity. The pointer array is taken at the first append:
// a reset with nothing logged (every test and fuzz run makes one) then costs no memory, and
// a list that the log never names takes none.
template <typename T>
void InitList(ItemList<T>& list, int32_t capacity) {
  list.items = nullptr;
  list.count = 0;
  list.capacity = capacity;
  list.index = nullptr;
  list.indexCount = 0;
  list.indexCapacity = 0;
  list.indexRoot = -1;
}

// Makes room for one more record (doubling the pointer array when full).
template <typename T>
void ReserveOne(ItemList<T>& list) {
  if (list.items == nullptr) {
    if (list.capacity <= 0) list.capacity = 16;
    list.items = static_cast<T**>(ArenaAllocate(sizeof(T*) * static_cast<size_t>(list.capacity)));
    return;
  }
  if (list.count < list.capacity) return;
  // Past a billion records the count itself would overflow; no log gets near it.
  if (list.capacity > INT32_MAX / 2) abort();
  int32_t grown = list.capacity > 0 ? list.capacity * 2 : 16;
  T** items = static_cast<T**>(ArenaAllocate(sizeof(T*) * static_cast<size_t>(grown)));
  for (int32_t i = 0; i < list.count; ++i) items[i] = list.items[i];
  list.items = items;
  list.capacity = grown;
}

// Appends an already filled record.
template <typename T>
void AppendItem(ItemList<T>& list, T* item) {
  ReserveOne(list);
  list.items[list.count++] = item;
}

// A new record from the arena with every field at its zero value.
template <typename T>
T* NewItem() {
  void* memory = ArenaAllocate(sizeof(T));
  return new (memory) T();
}

// ---------------------------------------------------------------------------------------
// Records.
//
// A record logged again by a later section is merged into the first one: its section
// fields name the last section that logged it, and `firstSection` the first. A rollback
// undoes only what the last section brought, so it keeps whatever an earlier installation
// logged too (unless the last section kept a backup or old data to put back).

// Links of the loader's search tree (PrivateFiles, IniEdits, RegKeys, RegEdits), in log
// order: a walk follows `before` when the record it stands on orders before the sought
// keys, and `after` when it orders after them (log/item_tree.h).
struct TreeLinks {
  void* before = nullptr;  // first link
  void* after = nullptr;   // second link
  uint32_t keyLength = 0;  // length of key 1 when the record was linked in (walks skip strlen)
};

struct FileItem {
  TreeLinks links;
  FixedText<260> path;
  FixedText<260> backupPath;
  FixedText<80> stamp;
  char* linkSpec = nullptr;
  int32_t selected = 0;
  int32_t removeByDefault = 0;
  uint16_t selfRegSection = 0;
  uint16_t deviceSection = 0;
  uint16_t firstSection = 0;
  uint16_t lastSection = 0;
  uint16_t backupSection = 0;
  uint16_t infoSection = 0;
  uint16_t counterSection = 0;
  int32_t counterCount = 0;
};

struct DirItem {
  FixedText<260> path;
  int32_t selected = 0;
  uint16_t treeSection = 0;
  uint16_t dirSection = 0;
  uint16_t firstSection = 0;
};

struct IniFileItem {
  FixedText<260> path;
  int32_t selected = 0;
  uint16_t section = 0;
  uint16_t firstSection = 0;
};

struct ServiceItem {
  FixedText<260> name;
  int32_t selected = 0;
  uint16_t section = 0;
  uint16_t firstSection = 0;
};

struct RegTreeItem {
  FixedText<256> key;
  int32_t root = 0;
  int32_t selected = 0;
  uint16_t section = 0;
  uint16_t firstSection = 0;
};

struct EditedFileItem {
  FixedText<260> path;
  FixedText<260> backupPath;
  uint16_t section = 0;
};

struct DeletedFileItem {
  FixedText<260> path;
  FixedText<260> backupPath;
  uint16_t section = 0;
};

struct ProgramItem {
  FixedText<260> command;
  FixedText<256> displayName;
  int32_t selected = 0;
  uint16_t section = 0;
  uint16_t firstSection = 0;
};

struct IconItem {
  FixedText<256> group;
  FixedText<256> title;
  FixedText<256> command;
  int32_t selected = 0;
  uint16_t section = 0;
  uint16_t firstSection = 0;
};

struct IniEditItem {
  TreeLinks links;
  FixedText<260> file;
  FixedText<256> sectionName;
  FixedText<256> key;
  FixedText<512> firstOldValue;
  FixedText<512> lastOldValue;
  int32_t selected = 0;
  uint16_t section = 0;
  uint16_t firstSection = 0;
};

struct RegKeyItem {
  TreeLinks links;
  FixedText<260> key;
  FixedText<256> valueName;
  FixedText<12> rootText;
  int32_t root = 0;
  int32_t selected = 0;
  uint16_t section = 0;
  uint16_t firstSection = 0;
};

// Old data of a changed value: strings one after another, each zero-terminated, ended by
// an empty string. kOldDataSize bytes hold the list and its final empty string.
constexpr size_t kOldDataSize = 2048;

struct RegEditItem {
  TreeLinks links;
  FixedText<256> key;
  FixedText<256> valueName;
  FixedText<12> rootText;
  char firstOldData[kOldDataSize] = {};
  char lastOldData[kOldDataSize] = {};
  int32_t root = 0;
  int32_t type = 0;
  int32_t selected = 0;
  uint16_t section = 0;
  uint16_t firstSection = 0;
};

struct RepairValue {
  int32_t isChange = 0;
  int32_t type = 0;
  void* item = nullptr;  // RegEditItem when isChange, else RegKeyItem
  char* data = nullptr;  // the first value line, followed by one more zero byte
};

// ---------------------------------------------------------------------------------------
// The store: the fifteen lists and the header values of the log. Five header values
// (appTitle, appDirectory, restorePointWanted, rollbackAvailable, repairAvailable) live in
// RunState.

struct ItemStore {
  ItemList<FileItem> PrivateFiles;
  ItemList<FileItem> SystemFiles;
  ItemList<FileItem> MissingFiles;
  ItemList<EditedFileItem> EditedFiles;
  ItemList<DeletedFileItem> DeletedFiles;
  ItemList<DirItem> Directories;
  ItemList<IniFileItem> IniFiles;
  ItemList<IniEditItem> IniEdits;
  ItemList<RegKeyItem> RegKeys;
  ItemList<RegEditItem> RegEdits;
  ItemList<RegTreeItem> RegTrees;
  ItemList<RepairValue> RepairValues;
  ItemList<IconItem> Icons;
  ItemList<ProgramItem> Programs;
  ItemList<ServiceItem> Services;

  // SectionSources[i]: the RepairSource text of section i, or null. Grows with the log.
  char** SectionSources = nullptr;
  int32_t sectionSourcesCapacity = 0;

  FixedText<128> statusMifName;
  FixedText<128> manufacturer;
  FixedText<128> product;
  FixedText<128> versionNumber;
  FixedText<128> serialNumber;
  char* perUserId = nullptr;  // null when the log names none
  bool deleteInUse = false;
  char* subSystemName = nullptr;
  int32_t subSystemSelected = 0;
  uint16_t subSystemFirstSection = 0;  // first and last sections that named the sub-system
  uint16_t subSystemSection = 0;
  uint16_t sectionCount = 0;
  int32_t lastSectionOffset = 0;
  bool ansiLog = false;
  FixedText<260> profilesRoot;
  FixedText<260> commonProfileRoot;
  FixedText<260> systemDirPath;
  int32_t logSize = 0;
  int32_t logPosition = 0;
};

extern ItemStore gStore;

// Releases the arena and creates empty lists with their start capacities and an empty
// SectionSources table; every header value back to its start value.
void ResetItemStore();

// Opens the next section: sectionCount grows by one and its SectionSources entry becomes
// null (the table grows as needed). Returns 1, changing nothing, when sectionCount is
// already kMaxSections.
int OpenSection();
// Sets the RepairSource text of the current section (an arena copy).
void SetSectionSource(const char* source);
// The RepairSource text of a section, or null (also for a number outside the table).
const char* SectionSource(int section);
