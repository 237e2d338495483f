// Shared files counted in the registry. Every installation that uses a shared file adds
// one to its value under SharedDLLs; an uninstall takes back what this application added
// and, when nobody is left, asks whether the file may go. The value is removed once the
// count reaches zero whatever the answer, so the question is never asked twice.
#include "uninstall/shared_dlls.h"

#include <cstdint>
#include <cstring>

#include "base/text.h"
#include "platform/platform.h"
#include "run/message_text.h"
#include "run/run_state.h"

namespace {

constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr uint32_t kKeyAccess =
    kKeyQueryValue | kKeySetValue | kKeyCreateSubKey | kKeyEnumerateSubKeys | kKeyNotify;  // 0x1F
constexpr uint32_t kCountDataSize = 256;

constexpr int kButtonYes = 1005;
constexpr int kButtonNo = 1006;
constexpr int kButtonYesToAll = 1007;
constexpr int kButtonNoToAll = 1;  // the default button, so Enter means No to All

// Copies format into out with the first "%s" replaced by value and "%%" read as "%".
// The text may come from the settings file, so it is never handed to a printf-style
// formatter: any other '%' sequence is copied as it stands.
void FormatWithPath(char* out, size_t size, const char* format, const char* value) {
  size_t used = 0;
  bool inserted = false;
  for (const char* p = format; *p != '\0' && used + 1 < size; ++p) {
    if (p[0] == '%' && p[1] == 's' && !inserted) {
      for (const char* v = value; *v != '\0' && used + 1 < size; ++v) out[used++] = *v;
      inserted = true;
      ++p;
      continue;
    }
    if (p[0] == '%' && p[1] == '%') ++p;
    out[used++] = *p;
  }
  out[used] = '\0';
}

// Reads a count stored as REG_DWORD, as a REG_BINARY of four bytes, or as REG_SZ decimal
// text; false for anything else.
bool ReadCount(RegHandle key, const char* name, int32_t* count) {
  unsigned char data[kCountDataSize + 1] = {};
  uint32_t type = 0;
  uint32_t size = kCountDataSize;
  if (Sys().RegQuery(key, name, &type, data, &size) != 0) return false;
  if (size > kCountDataSize) return false;
  if ((type == kRegDword && size >= 4) || (type == kRegBinary && size == 4)) {
    *count = static_cast<int32_t>(
        static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
        (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24));
    return true;
  }
  if (type == kRegSz) {
    data[size] = '\0';  // the value may lack its terminator
    *count = ReadDecimal(reinterpret_cast<const char*>(data));
    return true;
  }
  return false;
}

int AskWhetherToRemove(const char* path) {
  char question[kActionTextSize];
  char extra[kActionTextSize];
  MessageText(38, question, sizeof question);
  MessageText(39, extra, sizeof extra);
  FormatWithPath(gRun.actionText, sizeof gRun.actionText, question, path);
  AppendText(gRun.actionText, sizeof gRun.actionText, extra);

  // No to All is tested first: once either was chosen it decides every later question.
  if (gRun.silent || gRun.sharedNoToAll) return kSharedKeep;
  if (gRun.sharedYesToAll) return kSharedRemove;

  char caption[256];
  MessageText(gRun.repairMode ? 76 : 62, caption, sizeof caption);
  // The wizard pauses its animation timer while the question is open in progress mode and
  // takes the focus back afterwards; that belongs to the wizard's side of the interface.
  int answer = Ui().AskSharedFile(gRun.wizardWindow, gRun.actionText, caption);
  switch (answer) {
    case kButtonYes: return kSharedRemove;
    case kButtonYesToAll: gRun.sharedYesToAll = true; return kSharedRemove;
    case kButtonNoToAll: gRun.sharedNoToAll = true; return kSharedKeep;
    case kButtonNo:
    default:  // closed with Escape or the system menu
      return kSharedKeep;
  }
}

}  // namespace

// The counts' key stays open from the first file of a pass to CloseSharedCounts: a pass
// asks for every file it removes, and an open and a close per file cost more than the
// question itself.
// The machine it was opened on is kept with it, so that a handle never outlives its
// machine (tests run many machines in one process).
RegHandle gSharedKey = 0;
Platform* gSharedKeyMachine = nullptr;

void CloseSharedCounts() {
  if (gSharedKey != 0 && gSharedKeyMachine == &Sys()) Sys().RegClose(gSharedKey);
  gSharedKey = 0;
  gSharedKeyMachine = nullptr;
}

void ForgetSharedCounts() {
  gSharedKey = 0;
  gSharedKeyMachine = nullptr;
}

int ReleaseSharedFile(const char* path, int decrement) {
  if (!gRun.newShell) return kSharedNotCounted;
  if (gSharedKeyMachine != &Sys()) gSharedKey = 0;
  gSharedKeyMachine = &Sys();
  if (gSharedKey == 0 &&
      Sys().RegOpen(RegistryRoot(2), kSharedDllsKey, kKeyAccess, &gSharedKey) != 0) {
    gSharedKey = 0;
    return kSharedNotCounted;
  }
  RegHandle key = gSharedKey;
  int32_t count = 0;
  if (!ReadCount(key, path, &count) || count <= 0) return kSharedNotCounted;

  // A rollback undoes one installation, whatever number of sections counted the file.
  int64_t taken = gRun.rollbackChosen ? 1 : decrement;
  int64_t newCount = static_cast<int64_t>(count) - taken;
  if (newCount < 0) newCount = 0;
  if (newCount > INT32_MAX) newCount = INT32_MAX;

  if (newCount >= 1) {
    uint32_t value = static_cast<uint32_t>(newCount);
    unsigned char data[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    Sys().RegSet(key, path, kRegDword, data, sizeof data);
    return kSharedKeep;
  }

  int answer = AskWhetherToRemove(path);
  Sys().RegRemoveValue(key, path);
  return answer;
}
