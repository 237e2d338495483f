// MessageText: a text by id from the settings file's section "Language" or, when the file
// has no entry for it, from the program's string table; and the expansion of the two
// placeholder characters that a replacement text may hold.
#include "base/message_text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/run_state.h"
#include "base/text.h"
#include "platform/platform.h"

namespace {

// The default handed to the profile read: a value of this one byte cannot come from a
// real entry that means anything, so it marks "no entry".
constexpr char kAbsentMarker[] = "\x7F";

// The seam takes 32-bit sizes; a larger buffer is simply used up to that much.
uint32_t SeamSize(size_t size) {
  return size > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<uint32_t>(size);
}

}  // namespace

void ExpandLanguageText(char* text, size_t size) {
  if (text == nullptr || size == 0) return;
  size_t length = strnlen(text, size);
  if (length == size) {
    // Not terminated inside the buffer: the last byte becomes the terminator.
    --length;
    text[length] = '\0';
  }
  const size_t limit = size - 1;

  // Continuing after each inserted line break finds the same "|" characters as scanning
  // again from the start: the text before the insertion point is unchanged, so the
  // character stepping reaches the same positions.
  char* p = text;
  while (*p != '\0') {
    if (*p != '|') {
      p = NextChar(p);
      continue;
    }
    size_t at = static_cast<size_t>(p - text);
    // The text grows by one; when the buffer is full its last byte is dropped.
    size_t tail = length - at - 1;  // bytes after the "|"
    if (at + 2 + tail > limit) tail = (at + 2 <= limit) ? limit - at - 2 : 0;
    memmove(p + 2, p + 1, tail);
    p[0] = '\r';
    if (at + 1 < limit) {
      p[1] = '\n';
      length = at + 2 + tail;
    } else {
      length = at + 1;  // room for the carriage return only
    }
    text[length] = '\0';
    p = text + (length < at + 2 ? length : at + 2);
  }

  for (char* q = text; *q != '\0'; q = NextChar(q)) {
    if (*q == '~') *q = ' ';
  }
}

void MessageText(int id, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return;
  buffer[0] = '\0';
  char key[24];
  snprintf(key, sizeof key, "Msg%d", id);

  int read = Sys().ReadIniString("Language", key, kAbsentMarker, buffer, SeamSize(size),
                                 gRun.settingsFile.c_str());
  buffer[size - 1] = '\0';
  if (read == 1 && static_cast<uint8_t>(buffer[0]) == 0x7F) {
    buffer[0] = '\0';
    int limit = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    int copied = Sys().LoadStringText(static_cast<uint32_t>(id), buffer, limit);
    // An id without text reads as empty, whatever the back-end left in the buffer.
    if (copied <= 0) buffer[0] = '\0';
    buffer[size - 1] = '\0';
    return;
  }
  ExpandLanguageText(buffer, size);
}

void MessageTextWithTitle(int id, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return;
  char format[1024];
  MessageText(id, format, sizeof format);
  const char* arguments[] = {gRun.appTitle.c_str()};
  FillText(buffer, size, format, arguments, 1);
}

void FillText(char* out, size_t size, const char* format, const char* const* arguments,
              int count) {
  if (out == nullptr || size == 0) return;
  size_t used = 0;
  int next = 0;
  // Copied by whole characters: a text cut at the buffer's end never ends in half of one.
  auto put = [&](const char* text, size_t length) {
    if (used + length >= size) return false;
    memcpy(out + used, text, length);
    used += length;
    return true;
  };
  bool fits = true;
  for (const char* p = format; *p != '\0' && fits;) {
    if (p[0] == '%' && p[1] == 's' && next < count) {
      for (const char* a = arguments[next++]; *a != '\0' && fits; a = NextChar(a))
        fits = put(a, static_cast<size_t>(NextChar(a) - a));
      p += 2;
      continue;
    }
    if (p[0] == '%' && p[1] == '%') ++p;
    fits = put(p, static_cast<size_t>(NextChar(p) - p));
    p = NextChar(p);
  }
  out[used] = '\0';
}
