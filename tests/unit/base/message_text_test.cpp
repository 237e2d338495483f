// MessageText and the expansion of replacement texts: the string table, the settings file's
// section "Language", the absent-entry marker, "|" and "~", and the buffer bounds.
#include "base/message_text.h"

#include <cstring>
#include <string>

#include "platform/built_in_texts.h"
#include "support/sim_run_fixture.h"

namespace {

constexpr char kSettings[] = "C:\\APP\\UNTARN32.INI";

class MessageTextTest : public SimRunTest {
 protected:
  void SetUp() override {
    SimRunTest::SetUp();
    gRun.settingsFile.Set(kSettings);
  }
  void WriteLanguage(const std::string& body) {
    machine.WriteFile(kSettings, "[Language]\r\n" + body);
  }
  std::string Text(int id, size_t size = 1024) {
    char buffer[1100];
    memset(buffer, '#', sizeof buffer);
    MessageText(id, buffer, size);
    for (size_t i = size; i < sizeof buffer; ++i) {
      if (buffer[i] != '#') ADD_FAILURE() << "text " << id << " wrote byte " << i;
    }
    return std::string(buffer, strnlen(buffer, size));
  }
};

struct ExpandCase {
  const char* text;
  size_t size;
  const char* expected;
};

TEST_F(MessageTextTest, ExpandsLineBreaksAndSpaces) {
  const ExpandCase kCases[] = {
      {"plain", 64, "plain"},
      {"One.|Two.", 64, "One.\r\nTwo."},
      {"||", 64, "\r\n\r\n"},
      {"|", 64, "\r\n"},
      {"~~Init~", 64, "  Init "},
      {"a~|~b", 64, "a \r\n b"},
      // Each break lengthens the text by one; the end is cut to fit.
      {"ab|cd", 6, "ab\r\nc"},
      {"ab|cd", 5, "ab\r\n"},
      {"ab|cd", 4, "ab\r"},
      {"|||", 6, "\r\n\r\n\r"},
      {"|", 2, "\r"},
      {"|", 1, ""},
      {"x", 1, ""},
  };
  for (const ExpandCase& c : kCases) {
    char buffer[80];
    memset(buffer, '#', sizeof buffer);
    CopyText(buffer, c.size, c.text);
    ExpandLanguageText(buffer, c.size);
    EXPECT_EQ(std::string(buffer, strnlen(buffer, c.size)), c.expected)
        << "[" << c.text << "] size " << c.size;
    for (size_t i = c.size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << c.text;
  }
}

// In a double-byte code page "|" (0x7C) and "~" (0x7E) are valid second bytes; such a
// character must come through whole.
TEST_F(MessageTextTest, ExpansionKeepsDoubleByteCharacters) {
  UseCodePage(932);
  const ExpandCase kCases[] = {
      {"\x83|a|b", 64, "\x83|a\r\nb"},
      {"\x83~~", 64, "\x83~ "},
      {"|\x83|", 64, "\r\n\x83|"},
  };
  for (const ExpandCase& c : kCases) {
    char buffer[64];
    CopyText(buffer, c.size, c.text);
    ExpandLanguageText(buffer, c.size);
    EXPECT_STREQ(buffer, c.expected) << c.text;
  }
}

TEST_F(MessageTextTest, UsesTheStringTableWithoutAnEntry) {
  EXPECT_EQ(Text(59), "Are you sure you want to cancel the uninstall?");
  WriteLanguage("Msg1=Logs\r\n");
  EXPECT_EQ(Text(59), "Are you sure you want to cancel the uninstall?");
  EXPECT_EQ(Text(29), "Removing File:\r\n");
  // Table texts are used unchanged: no "|" or "~" expansion applies to them.
  EXPECT_EQ(Text(38).back(), ' ');
  // An id without a text reads as empty.
  EXPECT_EQ(Text(87), "");
  EXPECT_EQ(Text(0), "");
  EXPECT_EQ(Text(-5), "");
}

TEST_F(MessageTextTest, ReplacementsFromTheLanguageSection) {
  WriteLanguage(
      "Msg59=Really stop?|All changes so far stay.\r\n"
      "Msg70=~~Starting~\r\n"
      "Msg25=\r\n"
      "msg2 = Quoted text  \r\n"
      "Msg46=\x7F\r\n"
      "Msg47=\x7F\x7F\r\n"
      "Msg1000=Template\r\n");
  EXPECT_EQ(Text(59), "Really stop?\r\nAll changes so far stay.");
  EXPECT_EQ(Text(70), "  Starting ");
  EXPECT_EQ(Text(25), "");            // blanked out
  EXPECT_EQ(Text(2), "Quoted text");  // profile rules: key case, outer blanks
  EXPECT_EQ(Text(46), "&Next >");     // the marker itself: no replacement
  EXPECT_EQ(Text(47), "\x7F\x7F");    // longer than the marker: a replacement
  EXPECT_EQ(Text(1000), "Template");  // keys without a table text are readable
}

TEST_F(MessageTextTest, CutsToTheBuffer) {
  const char* table6 = StringTableText(6);
  ASSERT_NE(table6, nullptr);
  EXPECT_EQ(Text(6, 20), std::string(table6).substr(0, 19));
  EXPECT_EQ(Text(6, 1), "");

  WriteLanguage("Msg59=" + std::string(600, 'a') + "|" + std::string(600, 'b') + "\r\n");
  std::string text = Text(59, 512);
  EXPECT_EQ(text, std::string(511, 'a'));
  text = Text(59, 1024);
  EXPECT_EQ(text.size(), 1023u);
  EXPECT_EQ(text.substr(598, 6), "aa\r\nbb");
}

TEST_F(MessageTextTest, StringTableHoldsEveryId) {
  for (int id = kFirstTextId; id <= kLastTextId; ++id) {
    ASSERT_NE(StringTableText(id), nullptr) << id;
    EXPECT_GT(strlen(StringTableText(id)), 0u) << id;
  }
  EXPECT_EQ(StringTableText(0), nullptr);
  EXPECT_EQ(StringTableText(kLastTextId + 1), nullptr);
  // The texts whose escapes and outer blanks matter to the windows that join them.
  EXPECT_STREQ(StringTableText(70), "Initializing ");
  EXPECT_STREQ(StringTableText(71), " Wizard...");
  EXPECT_STREQ(StringTableText(56), "Removing Registration Database Key Sub-Tree:\r\n");
  EXPECT_NE(std::string(StringTableText(79)).find("attributes:\r\n\r\n%s\r\n\r\nSource"),
            std::string::npos);
}

// The one filler of the texts' placeholders: "%s" in order, "%%" as "%", any other '%'
// as it stands, and a cut that keeps whole characters.
TEST_F(MessageTextTest, FillsPlaceholdersWithoutAFormatter) {
  const char* two[] = {"A.DLL", "C:\\APP"};
  struct Case {
    const char* format;
    int count;
    size_t size;
    const char* expected;
  } cases[] = {
      {"Remove %s from %s?", 2, 64, "Remove A.DLL from C:\\APP?"},
      {"%s %s %s", 2, 64, "A.DLL C:\\APP %s"},  // a third "%s" has no argument
      {"100%% of %s, %d %n %x", 1, 64, "100% of A.DLL, %d %n %x"},
      {"Remove %s now", 1, 10, "Remove A."},
      {"", 2, 64, ""},
  };
  for (const Case& c : cases) {
    char out[64];
    FillText(out, c.size, c.format, two, c.count);
    EXPECT_STREQ(out, c.expected) << c.format;
  }
  UseCodePage(932);
  const char* wide[] = {"\x95\x5C\x95\x5C"};  // two characters whose second byte is '\\'
  char out[5];
  FillText(out, sizeof out, "a%s", wide, 1);
  EXPECT_STREQ(out, "a\x95\x5C");
}

}  // namespace
