// The item store: the global lists and header values, their start state, and the section
// table that grows with the log.
#include "log/item_store.h"

ItemStore gStore;

void ResetItemStore() {
  ArenaRelease();
  gStore = ItemStore();
  InitList(gStore.PrivateFiles, kLargeListCapacity);
  InitList(gStore.SystemFiles, kListCapacity);
  InitList(gStore.MissingFiles, kListCapacity);
  InitList(gStore.EditedFiles, kListCapacity);
  InitList(gStore.DeletedFiles, kListCapacity);
  InitList(gStore.Directories, kListCapacity);
  InitList(gStore.IniFiles, kListCapacity);
  InitList(gStore.IniEdits, kListCapacity);
  InitList(gStore.RegKeys, kLargeListCapacity);
  InitList(gStore.RegEdits, kLargeListCapacity);
  InitList(gStore.RegTrees, kListCapacity);
  InitList(gStore.RepairValues, kLargeListCapacity);
  InitList(gStore.Icons, kListCapacity);
  InitList(gStore.Programs, kListCapacity);
  InitList(gStore.Services, kListCapacity);
  gStore.SectionSources =
      static_cast<char**>(ArenaAllocate(sizeof(char*) * kSectionSourcesCapacity));
  for (int32_t i = 0; i < kSectionSourcesCapacity; ++i) gStore.SectionSources[i] = nullptr;
  gStore.sectionSourcesCapacity = kSectionSourcesCapacity;
}

int OpenSection() {
  if (gStore.sectionCount >= kMaxSections) return 1;
  int32_t section = gStore.sectionCount + 1;
  if (section >= gStore.sectionSourcesCapacity) {
    // Entry 0 is never a section; the table is indexed by section number directly.
    int32_t grown = gStore.sectionSourcesCapacity > 0 ? gStore.sectionSourcesCapacity * 2
                                                      : kSectionSourcesCapacity;
    auto** table = static_cast<char**>(ArenaAllocate(sizeof(char*) * static_cast<size_t>(grown)));
    for (int32_t i = 0; i < grown; ++i) {
      table[i] = i < gStore.sectionSourcesCapacity ? gStore.SectionSources[i] : nullptr;
    }
    gStore.SectionSources = table;
    gStore.sectionSourcesCapacity = grown;
  }
  gStore.sectionCount = static_cast<uint16_t>(section);
  gStore.SectionSources[section] = nullptr;
  return 0;
}

void SetSectionSource(const char* source) {
  int32_t section = gStore.sectionCount;
  if (section <= 0 || section >= gStore.sectionSourcesCapacity) return;
  gStore.SectionSources[section] = ArenaCopy(source);
}

const char* SectionSource(int section) {
  if (section < 0 || section >= gStore.sectionSourcesCapacity) return nullptr;
  return gStore.SectionSources[section];
}
