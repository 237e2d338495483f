// Writing a logged registry value back: the data text of the log is converted by its type
// number into the bytes the registry holds, then set. Repair creates missing keys; the
// uninstall's restore of changed values only opens existing ones.
#include "engine/registry_value_write.h"

#include <cstdint>
#include <cstring>

#include "base/text.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kOpenAccess =
    kKeyQueryValue | kKeySetValue | kKeyCreateSubKey | kKeyEnumerateSubKeys | kKeyNotify;  // 0x1F
constexpr uint32_t kCreateAccess = kKeySetValue | kKeyCreateSubKey;
// Registry data in the log is at most 2047 characters; longer data is cut there.
constexpr size_t kDataLimit = 2047;

// The log's type numbers.
enum : int { kTypeSz = 0, kTypeExpandSz = 1, kTypeMultiSz = 2, kTypeDword = 3, kTypeBinary = 4 };

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of a list of zero-terminated strings ended by an empty string. The count
// covers every string with its terminator, not the final empty string. At most
// kDataLimit bytes of the list are read; a string running past them is cut and ended.
uint32_t ConvertMultiString(const char* data, unsigned char* out) {
  size_t count = 0;
  while (count < kDataLimit && data[count] != '\0') {
    size_t length = strnlen(data + count, kDataLimit - count);
    memcpy(out + count, data + count, length);
    count += length;
    out[count++] = '\0';
  }
  out[count] = '\0';  // the final empty string, outside the count
  return static_cast<uint32_t>(count);
}

uint32_t ConvertBinary(const char* text, unsigned char* out) {
  uint32_t count = 0;
  int high = -1;
  for (size_t i = 0; i < kDataLimit && text[i] != '\0'; ++i) {
    int digit = HexDigit(UpperAscii(text[i]));
    if (digit < 0) continue;
    if (high < 0) {
      high = digit;
    } else {
      out[count++] = static_cast<unsigned char>(high * 16 + digit);
      high = -1;
    }
  }
  return count;  // a last unpaired digit is dropped
}

}  // namespace

void RegistryValueWrite(int root, int type, const char* keyPath, const char* valueName,
                        const char* data, bool create) {
  RegHandle rootKey = RegistryRoot(root);
  if (rootKey == 0 || keyPath == nullptr) return;
  if (valueName == nullptr) valueName = "";
  if (data == nullptr) data = "";

  // The bytes to set: room for the longest data, its terminator and, for a list, the
  // final empty string.
  unsigned char bytes[kDataLimit + 2];
  uint32_t size = 0;
  uint32_t registryType = kRegSz;
  switch (type) {
    case kTypeSz:
    case kTypeExpandSz: {
      size_t length = strnlen(data, kDataLimit);
      memcpy(bytes, data, length);
      bytes[length] = '\0';
      size = static_cast<uint32_t>(length + 1);
      registryType = (type == kTypeSz) ? kRegSz : kRegExpandSz;
      break;
    }
    case kTypeMultiSz:
      size = ConvertMultiString(data, bytes);
      registryType = kRegMultiSz;
      break;
    case kTypeDword: {
      char text[kDataLimit + 1];
      size_t length = strnlen(data, kDataLimit);
      memcpy(text, data, length);
      text[length] = '\0';
      uint32_t value = static_cast<uint32_t>(ReadDecimal(text));
      bytes[0] = static_cast<unsigned char>(value);
      bytes[1] = static_cast<unsigned char>(value >> 8);
      bytes[2] = static_cast<unsigned char>(value >> 16);
      bytes[3] = static_cast<unsigned char>(value >> 24);
      size = 4;
      registryType = kRegDword;
      break;
    }
    case kTypeBinary:
      size = ConvertBinary(data, bytes);
      registryType = kRegBinary;
      break;
    default: return;  // a type number the log does not define: nothing is known to write
  }

  RegHandle key = 0;
  int result = create ? Sys().RegCreate(rootKey, keyPath, kCreateAccess, &key)
                      : Sys().RegOpen(rootKey, keyPath, kOpenAccess, &key);
  if (result != 0) return;
  Sys().RegSet(key, valueName, registryType, bytes, size);
  Sys().RegClose(key);
}
