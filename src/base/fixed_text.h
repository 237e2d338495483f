// FixedText<N>: a zero-terminated single-byte string in a fixed array of N bytes.
// Every write is cut to N - 1 bytes, on a whole character, so a field can never be written
// past its end nor end in half a double-byte character;
// the fixed widths of the item store and the run state are built from it.
#pragma once

#include <cstddef>
#include <cstring>

#include "base/text.h"

template <size_t N>
struct FixedText {
  static_assert(N >= 2, "a FixedText needs room for one character and the terminator");
  static constexpr size_t kCapacity = N;  // bytes, terminator included

  char text[N] = {};

  // Copies at most N - 1 bytes of value (stopping at its terminator) and terminates.
  void Set(const char* value) { SetPart(value, N); }

  // Copies at most length bytes of value (and never more than N - 1), then terminates.
  void SetPart(const char* value, size_t length) {
    size_t i = 0;
    if (value != nullptr) {
      while (i < length && i + 1 < N && value[i] != '\0') {
        text[i] = value[i];
        ++i;
      }
      if (i < length && value[i] != '\0') i = BoundaryAtOrBefore(value, i);
    }
    text[i] = '\0';
  }

  // Appends as much of value as fits.
  void Append(const char* value) {
    size_t used = Length();
    size_t i = 0;
    while (value != nullptr && value[i] != '\0' && used + 1 < N) text[used++] = value[i++];
    if (value != nullptr && value[i] != '\0') used -= i - BoundaryAtOrBefore(value, i);
    text[used] = '\0';
  }

  void Clear() { text[0] = '\0'; }
  bool Empty() const { return text[0] == '\0'; }
  size_t Length() const { return strnlen(text, N); }
  const char* c_str() const { return text; }
  char* data() { return text; }
  char& operator[](size_t i) { return text[i]; }
  const char& operator[](size_t i) const { return text[i]; }
};
