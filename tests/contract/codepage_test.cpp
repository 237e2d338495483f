// Contract of the code pages under the default setting (ANSI 1252, OEM 437): OEM to ANSI
// conversion, lead bytes and the single-byte upper case.
#include "contract/contract_support.h"

namespace {

using CodePageContract = ContractTest;

// Every byte of code page 437 above 0x7F that has an exact counterpart in code page 1252,
// with that counterpart. The others (box drawing, Greek letters, symbols) become a
// "best fit" character that Windows and Wine choose differently, so they are not held.
const uint8_t kOemToAnsi[][2] = {
    {0x80, 0xC7}, {0x81, 0xFC}, {0x82, 0xE9}, {0x83, 0xE2}, {0x84, 0xE4}, {0x85, 0xE0},
    {0x86, 0xE5}, {0x87, 0xE7}, {0x88, 0xEA}, {0x89, 0xEB}, {0x8A, 0xE8}, {0x8B, 0xEF},
    {0x8C, 0xEE}, {0x8D, 0xEC}, {0x8E, 0xC4}, {0x8F, 0xC5}, {0x90, 0xC9}, {0x91, 0xE6},
    {0x92, 0xC6}, {0x93, 0xF4}, {0x94, 0xF6}, {0x95, 0xF2}, {0x96, 0xFB}, {0x97, 0xF9},
    {0x98, 0xFF}, {0x99, 0xD6}, {0x9A, 0xDC}, {0x9B, 0xA2}, {0x9C, 0xA3}, {0x9D, 0xA5},
    {0x9F, 0x83}, {0xA0, 0xE1}, {0xA1, 0xED}, {0xA2, 0xF3}, {0xA3, 0xFA}, {0xA4, 0xF1},
    {0xA5, 0xD1}, {0xA6, 0xAA}, {0xA7, 0xBA}, {0xA8, 0xBF}, {0xAA, 0xAC}, {0xAB, 0xBD},
    {0xAC, 0xBC}, {0xAD, 0xA1}, {0xAE, 0xAB}, {0xAF, 0xBB}, {0xE1, 0xDF}, {0xE6, 0xB5},
    {0xF1, 0xB1}, {0xF6, 0xF7}, {0xF8, 0xB0}, {0xFA, 0xB7}, {0xFD, 0xB2}, {0xFF, 0xA0},
};

TEST_F(CodePageContract, OemBytesBecomeTheirAnsiCounterparts) {
  for (const auto& pair : kOemToAnsi) {
    SCOPED_TRACE(testing::Message() << std::hex << "OEM 0x" << int{pair[0]});
    char text[4] = {'<', static_cast<char>(pair[0]), '>', '\0'};
    char out[4] = {};
    Sys().OemToAnsiText(text, out);
    EXPECT_EQ(out[0], '<');
    EXPECT_EQ(static_cast<uint8_t>(out[1]), pair[1]);
    EXPECT_EQ(out[2], '>');
    EXPECT_EQ(out[3], '\0');
  }
}

TEST_F(CodePageContract, OemConversionKeepsAsciiAndWorksInPlace) {
  char ascii[128];
  for (int i = 1; i < 128; ++i) ascii[i - 1] = static_cast<char>(i);
  ascii[127] = '\0';
  char out[128];
  Sys().OemToAnsiText(ascii, out);
  EXPECT_EQ(std::string(out), std::string(ascii));

  // "C:\Programme\Gerät\Übersicht.txt" written under code page 437, converted in place.
  char path[] = "C:\\Ger\x84t\\\x9A" "bersicht.txt";
  Sys().OemToAnsiText(path, path);
  EXPECT_STREQ(path, "C:\\Ger\xE4t\\\xDC" "bersicht.txt");
}

TEST_F(CodePageContract, NoLeadBytesInTheWesternCodePage) {
  for (int byte = 0; byte < 256; ++byte) {
    EXPECT_FALSE(Sys().IsLeadByte(static_cast<uint8_t>(byte))) << byte;
  }
}

TEST_F(CodePageContract, UpperCaseOfOneByte) {
  struct Case {
    uint8_t from;
    uint8_t to;
  } cases[] = {
      {'a', 'A'}, {'z', 'Z'}, {'A', 'A'}, {'0', '0'}, {'~', '~'}, {'\\', '\\'},
      {0xE0, 0xC0},  // à
      {0xE9, 0xC9},  // é
      {0xFE, 0xDE},  // þ
      {0xF7, 0xF7},  // ÷ has no case
      {0xD7, 0xD7},  // ×
      {0x9A, 0x8A},  // š
      {0x9C, 0x8C},  // œ
      {0x9E, 0x8E},  // ž
      {0xFF, 0x9F},  // ÿ becomes Ÿ, which lies outside the Latin-1 range
      {0xC9, 0xC9},
      {0xA9, 0xA9},  // ©
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sys().UpperByte(c.from), c.to) << std::hex << int{c.from};
  }
  for (int byte = 'a'; byte <= 'z'; ++byte) {
    EXPECT_EQ(Sys().UpperByte(static_cast<uint8_t>(byte)), byte - 32);
  }
}

}  // namespace
