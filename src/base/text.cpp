// Text helpers: code page rules, case-insensitive comparison, bounded copies, numbers.
#include "base/text.h"

#include "platform/platform.h"

TextRules gTextRules = [] {
  TextRules rules{};
  for (int i = 0; i < 256; ++i) {
    rules.leadByte[i] = false;
    rules.upper[i] = static_cast<uint8_t>((i >= 'a' && i <= 'z') ? i - 32 : i);
  }
  return rules;
}();

void LoadTextRules() {
  Platform& sys = Sys();
  for (int i = 0; i < 256; ++i) {
    gTextRules.leadByte[i] = sys.IsLeadByte(static_cast<uint8_t>(i));
    gTextRules.upper[i] = sys.UpperByte(static_cast<uint8_t>(i));
  }
}

bool IsTrailByteAt(const char* text, size_t at) {
  size_t leads = 0;
  while (at > leads && gTextRules.leadByte[static_cast<uint8_t>(text[at - leads - 1])]) ++leads;
  return leads % 2 == 1;
}

size_t BoundaryAtOrBefore(const char* text, size_t limit) {
  const char* p = text;
  size_t boundary = 0;
  while (*p != '\0') {
    const char* next = NextChar(p);
    if (static_cast<size_t>(next - text) > limit) break;
    p = next;
    boundary = static_cast<size_t>(p - text);
  }
  return boundary;
}

int CompareNoCase(const char* a, const char* b) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(a);
  const uint8_t* q = reinterpret_cast<const uint8_t*>(b);
  for (;;) {
    uint8_t c = *p;
    uint8_t d = *q;
    if (gTextRules.leadByte[c] && p[1] != 0) {
      // A double-byte character compares byte for byte; folding its trail byte would
      // confuse it with an ASCII letter.
      if (c != d) return static_cast<int>(c) - static_cast<int>(d);
      if (p[1] != q[1]) return static_cast<int>(p[1]) - static_cast<int>(q[1]);
      p += 2;
      q += 2;
      continue;
    }
    uint8_t fc = gTextRules.upper[c];
    uint8_t fd = gTextRules.upper[d];
    if (fc != fd) return static_cast<int>(fc) - static_cast<int>(fd);
    if (c == 0) return 0;
    ++p;
    ++q;
  }
}

bool StartsWithNoCase(const char* text, const char* prefix) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
  const uint8_t* q = reinterpret_cast<const uint8_t*>(prefix);
  while (*q != 0) {
    if (gTextRules.leadByte[*p] && p[1] != 0) {
      // A double-byte character of text matches only itself, whole: folding its trail
      // byte as a letter would take C:\ヂ for C:\ア, and a prefix that ends on its lead
      // byte ends inside it.
      if (p[0] != q[0] || p[1] != q[1]) return false;
      p += 2;
      q += 2;
      continue;
    }
    if (gTextRules.upper[*p] != gTextRules.upper[*q]) return false;
    ++p;
    ++q;
  }
  return true;
}

void FoldCase(char* text) {
  for (char* p = text; *p != '\0';) {
    char* next = NextChar(p);
    if (next == p + 1) *p = static_cast<char>(gTextRules.upper[static_cast<uint8_t>(*p)]);
    p = next;
  }
}

bool EqualNoCaseAscii(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    if (a[i] == '\0') return true;
  }
  return true;
}

int32_t ReadDecimal(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = (*p == '-');
    ++p;
  }
  uint32_t value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10u + static_cast<uint32_t>(*p - '0');
    ++p;
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

void CopyText(char* destination, size_t size, const char* source) {
  if (size == 0) return;
  size_t i = 0;
  while (i + 1 < size && source[i] != '\0') {
    destination[i] = source[i];
    ++i;
  }
  // A cut keeps whole characters: a lone lead byte would join whatever is appended next.
  if (source[i] != '\0') i = BoundaryAtOrBefore(source, i);
  destination[i] = '\0';
}

void AppendText(char* destination, size_t size, const char* source) {
  size_t used = 0;
  while (used < size && destination[used] != '\0') ++used;
  if (used >= size) return;
  CopyText(destination + used, size - used, source);
}
