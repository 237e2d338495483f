// Text helpers shared by every subsystem: the ANSI code page's lead bytes and case folding,
// case-insensitive comparison that respects double-byte characters, the bounded copies and
// the number reading that the log and the command line use.
//
// The code page rules are loaded once from the platform (LoadTextRules) so that the hot
// loops of the loader do not cross the platform seam for every character.
#pragma once

#include <cstddef>
#include <cstdint>

struct TextRules {
  bool leadByte[256];  // first byte of a double-byte character in the ANSI code page
  uint8_t upper[256];  // the ANSI code page's upper-case of a single byte
};

extern TextRules gTextRules;

// Reads the rules of the current platform's ANSI code page (see platform.h).
void LoadTextRules();

// The platform's multi-byte stepping: a lead byte followed by a non-zero byte is one
// character of two bytes; the terminator is never stepped over.
inline const char* NextChar(const char* p) {
  if (*p == '\0') return p;
  if (gTextRules.leadByte[static_cast<uint8_t>(*p)] && p[1] != '\0') return p + 2;
  return p + 1;
}
inline char* NextChar(char* p) { return const_cast<char*>(NextChar(static_cast<const char*>(p))); }

// True when text[at] is the second byte of a double-byte character. It counts the lead
// bytes just before at, so a comparison that runs from the end of a text can tell the
// trail byte of 表 from a backslash without stepping from the start: after a byte that is
// no lead byte a character begins, and an odd count of lead bytes leaves at inside one.
bool IsTrailByteAt(const char* text, size_t at);

// The byte offset of the last character boundary at or before limit, stepping with the
// code page so that a cut never separates a lead byte from its trail byte.
size_t BoundaryAtOrBefore(const char* text, size_t limit);

// Case-insensitive comparison in the manner of the platform's lstrcmpiA for equality:
// single bytes are folded through the code page, double-byte characters compare exactly.
// The sign orders by the folded bytes; only equality is relied upon by callers.
int CompareNoCase(const char* a, const char* b);
inline bool EqualNoCase(const char* a, const char* b) { return CompareNoCase(a, b) == 0; }

// True when text begins with prefix, compared case-insensitively over prefix's length, as
// CompareNoCase compares: a double-byte character of text matches only itself, so a prefix
// never ends inside one.
bool StartsWithNoCase(const char* text, const char* prefix);
// Upper-cases the single-byte characters of text in place and leaves double-byte characters
// as they stand: two texts that CompareNoCase finds equal become equal byte for byte, so
// the result can key a set or a map.
void FoldCase(char* text);
// Compares the first n bytes case-insensitively (ASCII folding only); keyword tests.
bool EqualNoCaseAscii(const char* a, const char* b, size_t n);

inline char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Reads a decimal number as the C library's atoi does: leading blanks (space, tab, and the
// other white-space characters), an optional sign, then digits up to the first non-digit.
// No digits read as 0. Overflow wraps instead of being undefined.
int32_t ReadDecimal(const char* text);

// Bounded copy: copies at most size - 1 bytes, never half a double-byte character, and
// always terminates (size > 0).
void CopyText(char* destination, size_t size, const char* source);
// Bounded append to a terminated buffer of size bytes.
void AppendText(char* destination, size_t size, const char* source);
