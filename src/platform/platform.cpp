// The active platform and user-interface back-ends.
#include "platform/platform.h"

#include <cstdlib>
#include <initializer_list>


namespace {
Platform* gPlatform = nullptr;
UserInterface* gUi = nullptr;
}  // namespace

// Using the seam before a back-end is installed is a programming error; stop at once
// rather than act on a machine nobody chose.
Platform& Sys() {
  if (gPlatform == nullptr) abort();
  return *gPlatform;
}

UserInterface& Ui() {
  if (gUi == nullptr) abort();
  return *gUi;
}

void InstallPlatform(Platform* platform) { gPlatform = platform; }
void InstallUserInterface(UserInterface* ui) { gUi = ui; }

// Steps by characters of the back-end's own code page: in a double-byte code page a trail
// byte may have the value of a backslash without being one.
bool Platform::IsBareLibraryName(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') return false;
    if (IsLeadByte(static_cast<uint8_t>(*p)) && p[1] != '\0') ++p;
  }
  return true;
}

int Platform::GetTimeAndSize(FileHandle file, uint64_t* fileTime, int64_t* size) {
  int result = GetLastWrite(file, fileTime);
  if (result != 0) return result;
  int64_t position = Seek(file, 0, kSeekCurrent);
  int64_t end = Seek(file, 0, kSeekEnd);
  if (position < 0 || end < 0 || Seek(file, position, kSeekBegin) != position) return -1;
  *size = end;
  return 0;
}

int Platform::RegHoldsEntries(RegHandle key, bool* hasValues, bool* hasSubkeys) {
  // A name too long for the buffer still names an entry; the end of the list names none.
  char name[256];
  uint32_t size = sizeof name;
  uint32_t type = 0;
  int values = RegEnumValueAt(key, 0, name, &size, &type);
  size = sizeof name;
  int subkeys = RegEnumKeyAt(key, 0, name, &size);
  *hasValues = values == 0 || values == kErrMoreData;
  *hasSubkeys = subkeys == 0 || subkeys == kErrMoreData;
  for (int result : {values, subkeys})
    if (result != 0 && result != kErrMoreData && result != kErrNoMoreItems) return result;
  return 0;
}
