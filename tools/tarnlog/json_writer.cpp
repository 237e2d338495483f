// The JSON writer of the console tools (json_writer.h).
#include "tarnlog/json_writer.h"

#include <cstdio>

namespace {

// Code page 1252 from 0x80 to 0x9F; the other bytes above 0x7F are Latin-1 as they stand.
const uint16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void NewLine(JsonWriter& w) {
  w.out.push_back('\n');
  w.out.append(static_cast<size_t>(w.depth) * 2, ' ');
}

// Everything that comes before a value: the separator from the previous element and, in a
// multi-line container, the line break and indentation.
void BeforeValue(JsonWriter& w) {
  if (w.afterKey) {
    w.afterKey = false;
    return;
  }
  if (w.depth == 0) return;
  if (w.hasElement[w.depth]) w.out.push_back(',');
  w.hasElement[w.depth] = true;
  if (w.inlineAt[w.depth]) {
    if (w.out.back() == ',') w.out.push_back(' ');
  } else {
    NewLine(w);
  }
}

void Open(JsonWriter& w, char bracket, bool inlineLayout) {
  BeforeValue(w);
  w.out.push_back(bracket);
  if (w.depth + 1 >= kJsonMaxDepth) {
    w.failed = true;
    return;
  }
  bool parentInline = w.depth > 0 && w.inlineAt[w.depth];
  ++w.depth;
  w.inlineAt[w.depth] = inlineLayout || parentInline;
  w.hasElement[w.depth] = false;
}

void Close(JsonWriter& w, char bracket) {
  if (w.depth == 0 || w.afterKey) {
    w.failed = true;
    return;
  }
  bool hadElements = w.hasElement[w.depth];
  bool wasInline = w.inlineAt[w.depth];
  --w.depth;
  if (hadElements && !wasInline) NewLine(w);
  w.out.push_back(bracket);
}

}  // namespace

uint32_t CodePoint1252(uint8_t byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHigh1252[byte - 0x80];
  return byte;
}

void AppendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

void AppendJsonEscaped(std::string& out, const char* text) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    uint32_t c = CodePoint1252(*p);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        // C0 and C1 controls and DEL: escaped so that a stray byte of a log can neither
        // break the line structure nor hide in the output.
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
          char escape[8];
          snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
          out += escape;
        } else {
          AppendUtf8(out, c);
        }
    }
  }
}

void JsonOpenObject(JsonWriter& w, bool inlineLayout) { Open(w, '{', inlineLayout); }
void JsonCloseObject(JsonWriter& w) { Close(w, '}'); }
void JsonOpenArray(JsonWriter& w, bool inlineLayout) { Open(w, '[', inlineLayout); }
void JsonCloseArray(JsonWriter& w) { Close(w, ']'); }

void JsonKey(JsonWriter& w, const char* name) {
  if (w.afterKey) w.failed = true;
  BeforeValue(w);
  w.out.push_back('"');
  AppendJsonEscaped(w.out, name);
  w.out += "\": ";
  w.afterKey = true;
}

void JsonText(JsonWriter& w, const char* ansiText) {
  BeforeValue(w);
  w.out.push_back('"');
  AppendJsonEscaped(w.out, ansiText);
  w.out.push_back('"');
}

void JsonTextOrNull(JsonWriter& w, const char* ansiText) {
  if (ansiText == nullptr) {
    JsonNull(w);
  } else {
    JsonText(w, ansiText);
  }
}

void JsonNumber(JsonWriter& w, int64_t value) {
  BeforeValue(w);
  w.out += std::to_string(value);
}

void JsonBool(JsonWriter& w, bool value) {
  BeforeValue(w);
  w.out += value ? "true" : "false";
}

void JsonNull(JsonWriter& w) {
  BeforeValue(w);
  w.out += "null";
}
