// Contract of profile (INI) files: how a value is found (sections and keys without regard
// to case, blanks trimmed, quotes removed), defaults, cutting to the buffer, the listing
// of keys and sections, integers, and writing and deleting keys and sections.
#include "contract/contract_support.h"

#include <cstring>

namespace {

using ProfileContract = ContractTest;

const char kSample[] =
    "[Settings]\r\n"
    "  Key1 =  value one  \r\n"
    "key2=\"quoted\"\r\n"
    "Key3='single'\r\n"
    "Half=\"open\r\n"
    "Inner=a \"b\" c\r\n"
    "Empty=\r\n"
    "Num=42\r\n"
    "NumText=12abc\r\n"
    "Hex=0x10\r\n"
    "Neg=-7\r\n"
    "Dup=first\r\n"
    "Dup=second\r\n"
    "\r\n"
    "[Other]\r\n"
    "Mixed=Case Kept\r\n"
    "; a comment=not a key\r\n"
    "[settings]\r\n"
    "Late=in a second section of the same name\r\n";

TEST_F(ProfileContract, ReadsFollowTheMatchingRules) {
  std::string file = PathOf("sample.ini");
  ASSERT_EQ(WriteWholeFile(file, kSample), 0);

  struct Case {
    const char* section;
    const char* key;
    const char* defaultValue;
    uint32_t size;
    const char* expected;
  } cases[] = {
      {"Settings", "Key1", "", 260, "value one"},
      {"SETTINGS", "KEY1", "", 260, "value one"},
      {"Settings", "key2", "", 260, "quoted"},
      {"Settings", "Key3", "", 260, "single"},
      {"Settings", "Half", "", 260, "\"open"},
      {"Settings", "Inner", "", 260, "a \"b\" c"},
      {"Settings", "Empty", "dflt", 260, ""},  // present but empty: not the default
      {"Settings", "Dup", "", 260, "first"},
      {"Settings", "Missing", "dflt", 260, "dflt"},
      {"Settings", "Missing", "dflt   ", 260, "dflt"},  // trailing blanks of a default go
      {"Settings", "Missing", nullptr, 260, ""},
      {"Nowhere", "Key1", "dflt", 260, "dflt"},
      {"Other", "mixed", "", 260, "Case Kept"},
      {"Settings", "Key1", "", 5, "valu"},  // cut to the buffer, terminated
      {"Settings", "Key1", "", 1, ""},
      {"Settings", "Mixed", "no", 260, "no"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.section << "/" << c.key << " size " << c.size);
    char buffer[300];
    memset(buffer, '#', sizeof buffer);
    int length = Sys().ReadIniString(c.section, c.key, c.defaultValue, buffer, c.size,
                                     file.c_str());
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(length, static_cast<int>(strlen(c.expected)));
    EXPECT_EQ(buffer[c.size], '#') << "written past the buffer";
  }

  char buffer[64];
  EXPECT_EQ(Sys().ReadIniString("Settings", "Key1", "dflt", buffer, sizeof buffer,
                                PathOf("missing.ini").c_str()),
            4);
  EXPECT_STREQ(buffer, "dflt");
}

TEST_F(ProfileContract, Integers) {
  std::string file = PathOf("sample.ini");
  ASSERT_EQ(WriteWholeFile(file, kSample), 0);
  struct Case {
    const char* key;
    int defaultValue;
    int expected;
  } cases[] = {
      {"Num", 7, 42},
      {"NumText", 7, 12},  // digits up to the first other character
      {"Key1", 7, 0},      // present but not a number
      {"Hex", 7, 16},      // a "0x" prefix reads as hexadecimal (as Wine reads it)
      {"Neg", 7, -7},
      {"Missing", 7, 7},
      {"Missing", -3, -3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(Sys().ReadIniInt("settings", c.key, c.defaultValue, file.c_str()), c.expected);
  }
}

// A listing is a run of zero-terminated names ended by one more zero; the result counts
// the bytes before that last zero.
std::string Listing(const char* buffer, int length) { return std::string(buffer, length); }

TEST_F(ProfileContract, ListsKeysAndSections) {
  std::string file = PathOf("sample.ini");
  ASSERT_EQ(WriteWholeFile(file, kSample), 0);

  char buffer[512];
  int length = Sys().ReadIniString("Other", nullptr, "", buffer, sizeof buffer, file.c_str());
  EXPECT_EQ(Listing(buffer, length), std::string("Mixed\0", 6));
  EXPECT_EQ(buffer[length], '\0');

  length = Sys().ReadIniString(nullptr, nullptr, "", buffer, sizeof buffer, file.c_str());
  std::string sections = Listing(buffer, length);
  EXPECT_EQ(buffer[length], '\0');
  // Windows lists a repeated section name once per header, Wine once; both begin so.
  EXPECT_EQ(sections.substr(0, 15), std::string("Settings\0Other\0", 15));

  // A listing that does not fit is cut; the result is the size less two. Windows ends it
  // in two zeros; Wine writes only the first, so a caller must not look past it.
  memset(buffer, '#', sizeof buffer);
  length = Sys().ReadIniString("Other", nullptr, "", buffer, 5, file.c_str());
  EXPECT_EQ(length, 3);
  EXPECT_EQ(std::string(buffer, 4), std::string("Mix\0", 4));
  if (gUnderWine) {
    EXPECT_EQ(buffer[4], '#') << "Wine now writes the second zero";
  } else {
    EXPECT_EQ(buffer[4], '\0');
  }
}

TEST_F(ProfileContract, WritesAndDeletes) {
  std::string file = PathOf("written.ini");
  char buffer[256];

  // Writing to a missing file creates it.
  ASSERT_EQ(Sys().WriteIniString("Alpha", "One", "1", file.c_str()), 0);
  ASSERT_EQ(Sys().WriteIniString("Alpha", "Two", "2", file.c_str()), 0);
  ASSERT_EQ(Sys().WriteIniString("Beta", "Three", "3", file.c_str()), 0);
  EXPECT_TRUE(Exists(file));

  // A key of another case replaces the value rather than adding a key.
  ASSERT_EQ(Sys().WriteIniString("ALPHA", "one", "uno", file.c_str()), 0);
  EXPECT_EQ(Sys().ReadIniString("Alpha", "One", "", buffer, sizeof buffer, file.c_str()), 3);
  EXPECT_STREQ(buffer, "uno");
  int length = Sys().ReadIniString("Alpha", nullptr, "", buffer, sizeof buffer, file.c_str());
  EXPECT_EQ(Listing(buffer, length), std::string("One\0Two\0", 8));

  // A null value deletes the key, a null key the whole section.
  ASSERT_EQ(Sys().WriteIniString("Alpha", "Two", nullptr, file.c_str()), 0);
  EXPECT_EQ(Sys().ReadIniString("Alpha", "Two", "gone", buffer, sizeof buffer, file.c_str()), 4);
  EXPECT_STREQ(buffer, "gone");
  ASSERT_EQ(Sys().WriteIniString("Alpha", nullptr, nullptr, file.c_str()), 0);
  EXPECT_EQ(Sys().ReadIniString("Alpha", "One", "gone", buffer, sizeof buffer, file.c_str()), 4);
  length = Sys().ReadIniString(nullptr, nullptr, "", buffer, sizeof buffer, file.c_str());
  EXPECT_EQ(Listing(buffer, length), std::string("Beta\0", 5));

  // The text written is read back as it was written.
  std::string contents = ReadWholeFile(file);
  EXPECT_NE(contents.find("[Beta]"), std::string::npos) << contents;
  EXPECT_NE(contents.find("Three=3"), std::string::npos) << contents;
}

// A file name without a path lies in the Windows directory.
TEST_F(ProfileContract, BareFileNameLiesInTheWindowsDirectory) {
  const char kName[] = "ktmcontract.ini";
  char windows[260];
  ASSERT_GT(Sys().WindowsDirectory(windows, sizeof windows), 0);
  std::string expectedPath = std::string(windows) + "\\" + kName;
  Sys().RemoveFile(expectedPath.c_str());

  ASSERT_EQ(Sys().WriteIniString("S", "K", "V", kName), 0);
  EXPECT_TRUE(Exists(expectedPath));
  char buffer[16];
  EXPECT_EQ(Sys().ReadIniString("S", "K", "", buffer, sizeof buffer, expectedPath.c_str()), 1);
  EXPECT_STREQ(buffer, "V");
  EXPECT_EQ(Sys().RemoveFile(expectedPath.c_str()), 0);
}

}  // namespace
