// A small JSON writer for the console tools: objects, arrays, texts, numbers, null. Texts
// come from the machine as single-byte ANSI (code page 1252) and leave as UTF-8, with every
// control character escaped, so the output is valid JSON whatever bytes a log holds.
//
// Layout: a container opened with inlineLayout keeps itself and everything inside it on one
// line; other containers put each element on a line of its own, indented two blanks per
// level. Records print one per line that way and stay readable in a diff.
#pragma once

#include <cstdint>
#include <string>

constexpr int kJsonMaxDepth = 32;

struct JsonWriter {
  std::string out;
  int depth = 0;
  bool inlineAt[kJsonMaxDepth] = {};   // the container at this depth is on one line
  bool hasElement[kJsonMaxDepth] = {}; // the container at this depth has an element already
  bool afterKey = false;               // a key was written; its value comes next
  bool failed = false;                 // misuse (depth overflow, unbalanced close)
};

// Appends text, a code page 1252 string, to out as UTF-8 with JSON escapes (no quotes).
void AppendJsonEscaped(std::string& out, const char* text);
// The Unicode code point of one code page 1252 byte (bytes the code page leaves undefined
// map to the C1 control of the same number, as the system's own conversion does).
uint32_t CodePoint1252(uint8_t byte);
// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

void JsonOpenObject(JsonWriter& w, bool inlineLayout = false);
void JsonCloseObject(JsonWriter& w);
void JsonOpenArray(JsonWriter& w, bool inlineLayout = false);
void JsonCloseArray(JsonWriter& w);
// The name of the next member of the open object.
void JsonKey(JsonWriter& w, const char* name);
void JsonText(JsonWriter& w, const char* ansiText);
// A text, or null when text is null.
void JsonTextOrNull(JsonWriter& w, const char* ansiText);
void JsonNumber(JsonWriter& w, int64_t value);
void JsonBool(JsonWriter& w, bool value);
void JsonNull(JsonWriter& w);
