// The console tools' JSON writer: escapes, code page 1252 to UTF-8, layout and misuse.
#include "tarnlog/json_writer.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace {

std::string Escaped(const char* text) {
  std::string out;
  AppendJsonEscaped(out, text);
  return out;
}

TEST(JsonWriter, EscapesWhatJsonForbidsAndControlCharacters) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"plain", "plain"},
      {"C:\\WINDOWS\\", "C:\\\\WINDOWS\\\\"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"a\tb\r\nc", "a\\tb\\r\\nc"},
      {"\x01\x1f", "\\u0001\\u001f"},
      {"\x08\x0c", "\\b\\f"},
      {"del\x7f", "del\\u007f"},
      {"/", "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(Escaped(c.in), c.out) << "input: " << c.in;
}

TEST(JsonWriter, ConvertsCodePage1252ToUtf8) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"\xe9", "\xc3\xa9"},                  // e acute
      {"Gr\xfc\xdf" "e", "Gr\xc3\xbc\xc3\x9f" "e"},
      {"\x80", "\xe2\x82\xac"},              // euro sign
      {"\x96", "\xe2\x80\x93"},              // en dash
      {"\x99", "\xe2\x84\xa2"},              // trade mark
      {"\x9f", "\xc5\xb8"},                  // Y diaeresis
      {"\xa0", "\xc2\xa0"},                  // no-break space
      {"\xff", "\xc3\xbf"},
      // Bytes the code page leaves undefined are C1 controls: escaped, not passed raw.
      {"\x81\x8d\x8f\x90\x9d", "\\u0081\\u008d\\u008f\\u0090\\u009d"},
  };
  for (const Case& c : cases) EXPECT_EQ(Escaped(c.in), c.out) << "input byte " << std::hex
                                                              << (static_cast<unsigned>(static_cast<unsigned char>(c.in[0])));
}

// Every byte a log may hold comes out as a JSON string that a strict parser reads back to
// the same characters.
TEST(JsonWriter, EveryByteRoundTripsThroughAStrictParser) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  JsonWriter w;
  JsonOpenArray(w);
  JsonText(w, all.c_str());
  JsonCloseArray(w);
  ASSERT_FALSE(w.failed);
  nlohmann::json parsed = nlohmann::json::parse(w.out);  // throws on invalid JSON or UTF-8
  std::string expected;
  for (int b = 1; b < 256; ++b) AppendUtf8(expected, CodePoint1252(static_cast<uint8_t>(b)));
  EXPECT_EQ(parsed[0].get<std::string>(), expected);
}

TEST(JsonWriter, Utf8EncodingLengths) {
  std::string out;
  AppendUtf8(out, 0x41);
  AppendUtf8(out, 0xE9);
  AppendUtf8(out, 0x20AC);
  AppendUtf8(out, 0x1F600);
  EXPECT_EQ(out, "A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
}

TEST(JsonWriter, LaysOutRecordsOnePerLine) {
  JsonWriter w;
  JsonOpenObject(w);
  JsonKey(w, "list");
  JsonOpenArray(w);
  for (int i = 0; i < 2; ++i) {
    JsonOpenObject(w, true);
    JsonKey(w, "n");
    JsonNumber(w, i);
    JsonKey(w, "tags");
    JsonOpenArray(w);  // inside an inline record: inline too
    JsonText(w, "a");
    JsonNull(w);
    JsonCloseArray(w);
    JsonCloseObject(w);
  }
  JsonCloseArray(w);
  JsonKey(w, "empty");
  JsonOpenArray(w);
  JsonCloseArray(w);
  JsonKey(w, "flag");
  JsonBool(w, false);
  JsonKey(w, "none");
  JsonTextOrNull(w, nullptr);
  JsonCloseObject(w);
  EXPECT_FALSE(w.failed);
  EXPECT_EQ(w.out,
            "{\n"
            "  \"list\": [\n"
            "    {\"n\": 0, \"tags\": [\"a\", null]},\n"
            "    {\"n\": 1, \"tags\": [\"a\", null]}\n"
            "  ],\n"
            "  \"empty\": [],\n"
            "  \"flag\": false,\n"
            "  \"none\": null\n"
            "}");
  EXPECT_TRUE(nlohmann::json::accept(w.out));
}

TEST(JsonWriter, NegativeAndLargeNumbers) {
  JsonWriter w;
  JsonOpenArray(w, true);
  JsonNumber(w, -1);
  JsonNumber(w, 4294967295LL);
  JsonNumber(w, 0);
  JsonCloseArray(w);
  EXPECT_EQ(w.out, "[-1, 4294967295, 0]");
}

TEST(JsonWriter, MisuseIsReported) {
  JsonWriter closeTooMany;
  JsonOpenArray(closeTooMany);
  JsonCloseArray(closeTooMany);
  JsonCloseArray(closeTooMany);
  EXPECT_TRUE(closeTooMany.failed);

  JsonWriter keyWithoutValue;
  JsonOpenObject(keyWithoutValue);
  JsonKey(keyWithoutValue, "a");
  JsonCloseObject(keyWithoutValue);
  EXPECT_TRUE(keyWithoutValue.failed);

  JsonWriter tooDeep;
  for (int i = 0; i < kJsonMaxDepth + 2; ++i) JsonOpenArray(tooDeep);
  EXPECT_TRUE(tooDeep.failed);
}

}  // namespace
