// Writing a logged value back: the conversion of the log's data text by type number, the
// cut at 2047 characters, and creating or only opening the key.
#include "engine/registry_value_write.h"

#include <string>

#include "support/engine_fixture.h"

namespace {

using RegistryValueWriteTest = EngineTest;

const char kKey[] = "Software\\Vendor\\App";
const char kKeyPath[] = "HKCU\\Software\\Vendor\\App";

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

TEST_F(RegistryValueWriteTest, DataTextIsConvertedByItsTypeNumber) {
  struct Case {
    const char* name;
    int type;
    std::string data;  // as the log holds it (a list ends in an empty string)
    uint32_t expectedType;
    std::string expected;
  };
  const Case cases[] = {
      {"text", 0, std::string("hello\0", 6), kRegSz, std::string("hello\0", 6)},
      {"empty text", 0, std::string("\0", 1), kRegSz, std::string("\0", 1)},
      {"expandable text", 1, std::string("%WINDIR%\\X\0", 11), kRegExpandSz,
       std::string("%WINDIR%\\X\0", 11)},
      {"two strings", 2, std::string("a\0bc\0\0", 6), kRegMultiSz, std::string("a\0bc\0", 5)},
      {"one string", 2, std::string("only\0\0", 6), kRegMultiSz, std::string("only\0", 5)},
      {"empty list", 2, std::string("\0\0", 2), kRegMultiSz, ""},
      {"number", 3, "4096", kRegDword, Bytes({0x00, 0x10, 0x00, 0x00})},
      {"negative with blanks", 3, "  -1", kRegDword, Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
      {"digits then text", 3, "+12abc", kRegDword, Bytes({12, 0, 0, 0})},
      {"no digits", 3, "x", kRegDword, Bytes({0, 0, 0, 0})},
      {"hex pairs, odd digit dropped", 4, "0a1Bf", kRegBinary, Bytes({0x0A, 0x1B})},
      {"hex with separators", 4, "de ad,BE-ef", kRegBinary, Bytes({0xDE, 0xAD, 0xBE, 0xEF})},
      {"no hex digits", 4, "xyz", kRegBinary, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegistryValueWrite(1, c.type, kKey, "Value", c.data.c_str(), true);
    uint32_t type = 0;
    std::string data;
    ASSERT_TRUE(machine.RegValue(kKeyPath, "Value", &type, &data));
    EXPECT_EQ(type, c.expectedType);
    EXPECT_EQ(data, c.expected);
  }
}

TEST_F(RegistryValueWriteTest, DataLongerThan2047CharactersIsCut) {
  const std::string text(3000, 'T');
  RegistryValueWrite(1, 0, kKey, "Long", text.c_str(), true);
  EXPECT_EQ(machine.RegString(kKeyPath, "Long"), std::string(2047, 'T'));

  // A list running past the limit without its end ends at the limit.
  std::string list = "first";
  list.push_back('\0');
  list += std::string(2100, 'M');
  list.push_back('\0');
  list.push_back('\0');
  RegistryValueWrite(1, 2, kKey, "List", list.c_str(), true);
  uint32_t type = 0;
  std::string data;
  ASSERT_TRUE(machine.RegValue(kKeyPath, "List", &type, &data));
  ASSERT_EQ(data.size(), 2048u);
  EXPECT_EQ(data.substr(0, 6), std::string("first\0", 6));
  EXPECT_EQ(data.back(), '\0');

  const std::string digits = "12" + std::string(3000, ' ');
  RegistryValueWrite(1, 3, kKey, "Number", digits.c_str(), true);
  ASSERT_TRUE(machine.RegValue(kKeyPath, "Number", &type, &data));
  EXPECT_EQ(data, Bytes({12, 0, 0, 0}));
}

TEST_F(RegistryValueWriteTest, WithoutTheCreateFlagAMissingKeyStaysMissing) {
  RegistryValueWrite(1, 0, kKey, "Value", "restored", false);
  EXPECT_FALSE(machine.RegKeyExists(kKeyPath));

  RegistryValueWrite(1, 0, kKey, "", "default", true);
  EXPECT_EQ(machine.RegString(kKeyPath, ""), "default");
  RegistryValueWrite(1, 0, kKey, "Value", "restored", false);
  EXPECT_EQ(machine.RegString(kKeyPath, "Value"), "restored");
}

TEST_F(RegistryValueWriteTest, UnknownRootOrTypeWritesNothing) {
  RegistryValueWrite(7, 0, kKey, "Value", "x", true);
  RegistryValueWrite(1, 5, kKey, "Value", "x", true);
  RegistryValueWrite(1, -1, kKey, "Value", "x", true);
  uint32_t type = 0;
  std::string data;
  EXPECT_FALSE(machine.RegValue(kKeyPath, "Value", &type, &data));
}

}  // namespace
