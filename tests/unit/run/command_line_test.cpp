// ParseCommandLine: every switch, the quoting rules, titles, lines without switches.
#include "run/command_line.h"

#include <string>

#include "run/run_reset.h"
#include "support/sim_run_fixture.h"

namespace {

constexpr unsigned kA = 1;        // automatic
constexpr unsigned kS = 2;        // silent
constexpr unsigned kR = 4;        // rollbackChosen
constexpr unsigned kU = 8;        // startAtFinish
constexpr unsigned kClean = 16;   // cleanupRun
constexpr unsigned kReboot = 32;  // rebootNeeded

struct LineCase {
  const char* line;
  unsigned flags;
  int shortcut;
  const char* logPath;
  const char* title;  // null: no title
};

unsigned FlagsOf(const RunState& run) {
  return (run.automatic ? kA : 0) | (run.silent ? kS : 0) | (run.rollbackChosen ? kR : 0) |
         (run.startAtFinish ? kU : 0) | (run.cleanupRun ? kClean : 0) |
         (run.rebootNeeded ? kReboot : 0);
}

const LineCase kLines[] = {
    {"", 0, 0, "", nullptr},
    {"C:\\APP\\INSTALL.LOG", 0, 0, "C:\\APP\\INSTALL.LOG", nullptr},
    {"/A /S C:\\APP\\INSTALL.LOG", kA | kS, 0, "C:\\APP\\INSTALL.LOG", nullptr},
    {"/S C:\\L", kA | kS, 0, "C:\\L", nullptr},
    {"/R C:\\L", kR, 0, "C:\\L", nullptr},
    {"/U C:\\L", kU, 0, "C:\\L", nullptr},
    {"/a/s/r/u", kA | kS | kR | kU, 0, "", nullptr},
    {"/A/S   C:\\L", kA | kS, 0, "C:\\L", nullptr},
    {"/A", kA, 0, "", nullptr},
    // A line that starts with a space is never searched for switches.
    {" /A C:\\APP\\INSTALL.LOG", 0, 0, "/A", "C:\\APP\\INSTALL.LOG"},
    // An unknown switch ends the switches; its "/" begins the path.
    {"/X C:\\LOG", 0, 0, "/X", "C:\\LOG"},
    {"/A /X C:\\LOG", kA, 0, "/X", "C:\\LOG"},
    {"/", 0, 0, "/", nullptr},
    {"/A /", kA, 0, "/", nullptr},
    // /W: the number as atoi reads it; the rest of its word is skipped.
    {"/W3 C:\\APP\\INSTALL.LOG", 0, 3, "C:\\APP\\INSTALL.LOG", nullptr},
    {"/W C:\\LOG", 0, 0, "C:\\LOG", nullptr},
    {"/W 3", 0, 3, "3", nullptr},
    {"/W 3 C:\\LOG", 0, 3, "3", "C:\\LOG"},
    {"/w-2 C:\\L", 0, -2, "C:\\L", nullptr},
    {"/W12x/A C:\\L", 0, 12, "C:\\L", nullptr},
    {"/A/W7", kA, 7, "", nullptr},
    // Clean-up runs keep the two paths together.
    {"/z1 C:\\OLD\\UNTARN32.EXE C:\\APP\\", kClean | kReboot, 0, "C:\\OLD\\UNTARN32.EXE C:\\APP\\",
     nullptr},
    {"/z C:\\OLD\\UNTARN32.EXE C:\\APP\\", kClean, 0, "C:\\OLD\\UNTARN32.EXE C:\\APP\\", nullptr},
    {"/z2 C:\\L", kClean, 0, "2 C:\\L", nullptr},
    // The upper-case /Z is a switch that sets nothing here.
    {"/Z C:\\LOG", 0, 0, "C:\\LOG", nullptr},
    {"/Z1 C:\\LOG", 0, 0, "1", "C:\\LOG"},
    // Titles of unquoted paths.
    {"C:\\APP\\INSTALL.LOG My Application", 0, 0, "C:\\APP\\INSTALL.LOG", "My Application"},
    {"C:\\APP\\INSTALL.LOG \"My Application\"", 0, 0, "C:\\APP\\INSTALL.LOG", "My Application"},
    {"C:\\L \"Only Leading", 0, 0, "C:\\L", "Only Leading"},
    {"C:\\L Only Trailing\"", 0, 0, "C:\\L", "Only Trailing"},
    {"C:\\L \"\"Twice\"\"", 0, 0, "C:\\L", "\"Twice\""},
    {"C:\\L  Two Spaces", 0, 0, "C:\\L", " Two Spaces"},
    {"C:\\L ", 0, 0, "C:\\L", nullptr},
    // Quoted paths: the last quote closes, what follows is the title.
    {"\"C:\\APP\\INSTALL.LOG\"", 0, 0, "C:\\APP\\INSTALL.LOG", nullptr},
    {"\"C:\\APP\\INSTALL.LOG\"   Title", 0, 0, "C:\\APP\\INSTALL.LOG", "Title"},
    {"\"C:\\APP\\INSTALL.LOG", 0, 0, "C:\\APP\\INSTALL.LOG", nullptr},
    {"\"C:\\APP\\A\"B\" T", 0, 0, "C:\\APP\\A\"B", "T"},
    {"/A \"C:\\APP\\INSTALL.LOG\" T", kA, 0, "C:\\APP\\INSTALL.LOG", "T"},
    // A quoted path that stays long (not on the disk) is still split at its first space;
    // the title after that space replaces the one after the quote.
    {"\"C:\\NO SUCH\\FILE.LOG\" Title", 0, 0, "C:\\NO", "SUCH\\FILE.LOG"},
    // A quoted path on the disk comes back in its short form, so it keeps its spaces out.
    {"\"C:\\Program Files\\My App\\INSTALL.LOG\" My App", 0, 0,
     "C:\\PROGRA~1\\MYAPP~1\\INSTALL.LOG", "My App"},
    {"\"c:\\program files\\my app\\install.log\"", 0, 0, "C:\\PROGRA~1\\MYAPP~1\\INSTALL.LOG",
     nullptr},
};

class CommandLineTest : public SimRunTest {
 protected:
  void SetUp() override {
    SimRunTest::SetUp();
    machine.WriteFile("C:\\Program Files\\My App\\INSTALL.LOG", "[x]\r\n");
    machine.WriteFile("C:\\APP\\INSTALL.LOG", "[x]\r\n");
  }
};

TEST_F(CommandLineTest, ParsesEachLine) {
  for (const LineCase& c : kLines) {
    ResetRunWideState();
    ParseCommandLine(c.line);
    SCOPED_TRACE(std::string("line: [") + c.line + "]");
    EXPECT_EQ(FlagsOf(gRun), c.flags);
    EXPECT_EQ(gRun.launchShortcut, c.shortcut);
    EXPECT_STREQ(gRun.logPath.c_str(), c.logPath);
    if (c.title == nullptr) {
      EXPECT_FALSE(gRun.hasCommandTitle) << "title [" << gRun.commandTitle.c_str() << "]";
    } else {
      EXPECT_TRUE(gRun.hasCommandTitle);
      EXPECT_STREQ(gRun.commandTitle.c_str(), c.title);
    }
    if (gRun.cleanupRun) {
      EXPECT_STREQ(gRun.cleanupArguments.c_str(), c.logPath);
    } else {
      EXPECT_STREQ(gRun.cleanupArguments.c_str(), "");
    }
  }
}

// The path ends at the first space found character by character: in a double-byte code
// page a space that is the second byte of a character does not end it.
TEST_F(CommandLineTest, SplitsTitleByWholeCharacters) {
  UseCodePage(932);
  ParseCommandLine("C:\\\x83 A\\LOG T");
  EXPECT_STREQ(gRun.logPath.c_str(), "C:\\\x83 A\\LOG");
  EXPECT_STREQ(gRun.commandTitle.c_str(), "T");

  UseCodePage(1252);
  ResetRunWideState();
  ParseCommandLine("C:\\\x83 A\\LOG T");
  EXPECT_STREQ(gRun.logPath.c_str(), "C:\\\x83");
  EXPECT_STREQ(gRun.commandTitle.c_str(), "A\\LOG T");
}

// Lines longer than 255 characters are cut, never written past the fields.
TEST_F(CommandLineTest, CutsLongLines) {
  std::string longPath = "C:\\" + std::string(400, 'P');
  ParseCommandLine(longPath.c_str());
  EXPECT_EQ(std::string(gRun.logPath.c_str()), longPath.substr(0, 255));

  ResetRunWideState();
  std::string withTitle = "C:\\L " + std::string(400, 'T');
  ParseCommandLine(withTitle.c_str());
  EXPECT_STREQ(gRun.logPath.c_str(), "C:\\L");
  EXPECT_EQ(gRun.commandTitle.Length(), 250u);

  ResetRunWideState();
  std::string quoted = "\"C:\\" + std::string(300, 'Q') + "\" T";
  ParseCommandLine(quoted.c_str());
  EXPECT_EQ(gRun.logPath.Length(), 254u);  // the cut line lost its closing quote
  EXPECT_FALSE(gRun.hasCommandTitle);
}

}  // namespace
