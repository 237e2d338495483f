// The progress display helpers: the action line, the path shortening with "...", and the
// command line of a program run to its end.
#include "ui/progress_display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ui/progress_geometry.h"
#include "support/engine_sim_fixture.h"

namespace {

class ActionDisplayTest : public EngineSimTest {
 protected:
  void SetUp() override {
    EngineSimTest::SetUp();
    ui.wizardPresent = true;
  }

  // Makes the control just wide enough for text (which must then fit) and no wider.
  void WidthFor(const std::string& text) {
    ui.actionControlWidth = ui.MeasureActionText(text.c_str()) + 1;
  }

  std::string Fit(const std::string& text, size_t size = 1024) {
    std::vector<char> buffer(size + 16, '#');
    CopyText(buffer.data(), size, text.c_str());
    FitPathToControl(buffer.data(), size);
    for (size_t i = size; i < buffer.size(); ++i) {
      EXPECT_EQ(buffer[i], '#') << "byte " << i << " written past the buffer";
    }
    return buffer.data();
  }
};

// Each case: the text, the line the control is made wide enough for, and the result.
struct FitCase {
  const char* text;
  const char* fitsExactly;
  const char* expected;
};

TEST_F(ActionDisplayTest, ShortensComponentByComponentThenTheEnd) {
  const char* label = "Removing File:\r\n";
  const FitCase cases[] = {
      {"C:\\Alpha\\Beta\\Gamma\\file.txt", "C:\\...\\Beta\\Gamma\\file.txt",
       "C:\\...\\Beta\\Gamma\\file.txt"},
      {"C:\\Alpha\\Beta\\Gamma\\file.txt", "C:\\...\\Gamma\\file.txt", "C:\\...\\Gamma\\file.txt"},
      {"C:\\Alpha\\Beta\\Gamma\\file.txt", "C:\\...\\file.txt", "C:\\...\\file.txt"},
      {"C:\\Alpha\\Beta\\Gamma\\file.txt", "C:\\...\\file...", "C:\\...\\file..."},
      // A first component of three characters or fewer is not worth replacing: the end goes.
      {"C:\\AB\\Beta\\file.txt", "C:\\AB\\Beta\\file...", "C:\\AB\\Beta\\file..."},
      // A path without a backslash loses its end.
      {"averyveryverylongname.txt", "averyveryverylo...", "averyveryverylo..."},
  };
  for (const FitCase& c : cases) {
    WidthFor(c.fitsExactly);
    EXPECT_EQ(Fit(std::string(label) + c.text), std::string(label) + c.expected)
        << c.text << " for " << c.fitsExactly;
  }
}

TEST_F(ActionDisplayTest, ATextThatFitsIsLeftAsItIs) {
  std::string text = "Removing File:\r\nC:\\Alpha\\Beta\\file.txt";
  WidthFor("C:\\Alpha\\Beta\\file.txt");
  EXPECT_EQ(Fit(text), text);
  ui.actionControlWidth = 1;
  ui.wizardPresent = false;  // nothing to fit to
  EXPECT_EQ(Fit(text), text);
}

TEST_F(ActionDisplayTest, TheFirstLineBreakRunEndsTheLabel) {
  // CR LF CR LF after the label, and the measured part is only the path line.
  std::string text = "Label:\r\n\r\nC:\\Alpha\\Beta\\Gamma\\file.txt";
  WidthFor("C:\\...\\Gamma\\file.txt");
  EXPECT_EQ(Fit(text), "Label:\r\n\r\nC:\\...\\Gamma\\file.txt");
  // Without a line break the whole text is the path line.
  EXPECT_EQ(Fit("C:\\Alpha\\Beta\\Gamma\\file.txt"), "C:\\...\\Gamma\\file.txt");
}

TEST_F(ActionDisplayTest, ATooNarrowControlStopsAtTheShortestCopy) {
  ui.actionControlWidth = 1;
  EXPECT_EQ(Fit("Removing File:\r\nC:\\Alpha\\Beta\\Gamma\\file.txt"), "Removing File:\r\n...");
  EXPECT_EQ(Fit("X:\r\nab"), "X:\r\nab");
  EXPECT_EQ(Fit("X:\r\n"), "X:\r\n");
  // The first backslash lies beyond the copy once it has shrunk that far.
  EXPECT_EQ(Fit("X:\r\nLongDriveName\\x"), "X:\r\n...");
}

TEST_F(ActionDisplayTest, ALongPathIsWorkedOnAs255CharactersAndStaysInItsBuffer) {
  std::string path = "C:\\" + std::string(400, 'a') + "\\file.txt";
  WidthFor(std::string(300, 'a'));  // wider than any 255-character copy
  std::string result = Fit("L:\r\n" + path, 1024);
  EXPECT_EQ(result, "L:\r\n" + path.substr(0, 255));
  // A buffer that the text fills to its end.
  std::string small = "L:\r\nC:\\Alpha\\Beta\\Gamma\\file.txt";
  WidthFor("C:\\...\\file.txt");
  EXPECT_EQ(Fit(small, small.size() + 1), "L:\r\nC:\\...\\file.txt");
}

TEST_F(ActionDisplayTest, ShortensByWholeDoubleByteCharacters) {
  machine.settings.ansiCodePage = 932;
  LoadTextRules();
  // Six double-byte characters as the last component; cutting four bytes off would split
  // none, cutting at odd offsets would.
  std::string name = "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8\x82\xAA";
  std::string text = "L:\r\nC:\\" + name;
  ui.actionControlWidth = 1;
  std::string result = Fit(text);
  // Every intermediate copy ends in "..." after whole characters; the last one is "...".
  EXPECT_EQ(result, "L:\r\n...");
  WidthFor("C:\\" + name.substr(0, 7) + "...");
  result = Fit(text);
  ASSERT_GE(result.size(), 7u);
  std::string kept = result.substr(4, result.size() - 4 - 3);
  EXPECT_EQ(kept.size() % 2, 1u) << "the kept part is \"C:\\\" plus whole characters: " << kept;
  machine.settings.ansiCodePage = 1252;
  LoadTextRules();
}

TEST_F(ActionDisplayTest, ShowActionSetsTheLineAndPumps) {
  ShowAction("Removing Icon:\r\nSample");
  EXPECT_EQ(ui.actionText, "\r\n\r\nRemoving Icon:\r\nSample");
  EXPECT_EQ(ui.progressBarInvalidations, 1);
  ShowAction(nullptr);
  EXPECT_EQ(ui.actionText, "\r\n\r\nRemoving Icon:\r\nSample");
  EXPECT_EQ(ui.progressBarInvalidations, 2);
  EXPECT_EQ(ui.pumpWaits, (std::vector<int>{0, 0}));  // queued messages only, no timed wait
}

TEST_F(ActionDisplayTest, ShowActionWithoutTheWizardOnlyPumps) {
  ui.wizardPresent = false;
  ShowAction("Removing Icon:\r\nSample");
  EXPECT_EQ(ui.actionText, "");
  EXPECT_EQ(ui.progressBarInvalidations, 0);
  EXPECT_EQ(ui.pumpWaits, (std::vector<int>{0}));
}

TEST_F(ActionDisplayTest, ShowActionSparesALookOnlyAMomentAfterTheLast) {
  // The clock stands still just after a look.
  machine.tickStep = 0;
  PumpMessages(0);
  ui.pumpWaits.clear();
  ShowAction("Removing Icon:\r\nSample");
  EXPECT_EQ(ui.actionText, "\r\n\r\nRemoving Icon:\r\nSample");
  EXPECT_EQ(ui.progressBarInvalidations, 1);
  EXPECT_TRUE(ui.pumpWaits.empty());
  // A wait asked for by a driver is never spared.
  PumpMessages(3500);
  EXPECT_EQ(ui.pumpWaits, (std::vector<int>{3500}));
}

// The four-button question: the animation stops while it is open in progress mode and runs
// at its period again afterwards; the wizard gets the focus back; the caption follows the
// repair mode.
TEST_F(ActionDisplayTest, FourButtonQuestionPausesTheAnimationAndGivesTheFocusBack) {
  constexpr WindowHandle kWizard = 0x7000;
  struct Case {
    const char* name;
    bool progressMode;
    bool repairMode;
    WindowHandle wizard;
    int timerWhenAsked;
    WindowHandle focusAfter;
    const char* caption;
  };
  const Case cases[] = {
      {"uninstall in progress mode", true, false, kWizard, 0, kWizard, "Remove Shared Component"},
      {"repair in progress mode", true, true, kWizard, 0, kWizard, "Repair Newer File?"},
      {"before progress mode", false, false, kWizard, kAnimationPeriodMs, kWizard,
       "Remove Shared Component"},
      {"no wizard window", true, false, 0, 0, 0, "Remove Shared Component"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.transcript.clear();
    ui.focusWindow = 0;
    ui.animationTimerMs = kAnimationPeriodMs;
    gRun.progressMode = c.progressMode;
    gRun.repairMode = c.repairMode;
    gRun.wizardWindow = c.wizard;
    CopyText(gRun.actionText, sizeof gRun.actionText, "Remove it?");
    ui.AnswerShared(1007);
    EXPECT_EQ(AskFourButtonQuestion(), 1007);
    ASSERT_EQ(ui.transcript.size(), 1u);
    EXPECT_EQ(ui.transcript[0].text, "Remove it?");
    EXPECT_EQ(ui.transcript[0].caption, c.caption);
    EXPECT_EQ(ui.transcript[0].animationTimerMs, c.timerWhenAsked);
    EXPECT_EQ(ui.animationTimerMs, kAnimationPeriodMs);
    EXPECT_EQ(ui.focusWindow, c.focusAfter);
  }
}

TEST_F(ActionDisplayTest, ShowActionCutsAnOverLongTextToItsBuffer) {
  std::string text(2000, 'x');
  ShowAction(text.c_str());
  EXPECT_EQ(ui.actionText.size(), kActionTextSize - 1);
}

// A key over 48 bytes keeps its first 45 and "...". In code page 932 byte 45 may be the
// second half of 表 (0x95 0x5C): the cut goes before that character. A line that fills the
// action buffer is cut the same way.
TEST_F(ActionDisplayTest, CapsAndCutsKeepWholeCharacters) {
  std::string table;
  for (int i = 0; i < 30; ++i) table += "\x95\x5C";
  const struct {
    std::string key;
    uint32_t codePage;
    std::string shown;
  } cases[] = {
      {std::string(48, 'k'), 1252, std::string(48, 'k')},
      {std::string(49, 'k'), 1252, std::string(45, 'k') + "..."},
      {"SW" + table, 932, "SW" + table.substr(0, 42) + "..."},
      {"S" + table, 932, "S" + table.substr(0, 44) + "..."},
      {"SW" + table, 1252, "SW" + table.substr(0, 43) + "..."},
  };
  for (const auto& c : cases) {
    machine.settings.ansiCodePage = c.codePage;
    LoadTextRules();
    char capped[kCappedItemSize];
    CapActionItem(c.key.c_str(), capped, sizeof capped);
    EXPECT_EQ(capped, c.shown) << c.key << " cp " << c.codePage;
  }

  machine.settings.ansiCodePage = 932;
  LoadTextRules();
  std::string text;
  while (text.size() < 2 * kActionTextSize) text += "\x95\x5C";
  ShowAction(text.c_str());
  // "\r\n\r\n" and 509 whole characters: a 510th would need the terminator's byte.
  EXPECT_EQ(ui.actionText, "\r\n\r\n" + text.substr(0, 1018));
  machine.settings.ansiCodePage = 1252;
  LoadTextRules();
}

TEST_F(ActionDisplayTest, RunAndWaitQuotesTheProgram) {
  Write("C:\\APP\\UNINST.EXE");
  RunAndWait("C:\\APP\\UNINST.EXE", "/X");
  RunAndWait("C:\\MISSING.EXE", "Automatic");
  ASSERT_EQ(machine.processes.size(), 2u);
  EXPECT_EQ(machine.processes[0].commandLine, "\"C:\\APP\\UNINST.EXE\" /X");
  EXPECT_TRUE(machine.processes[0].wait);
  EXPECT_EQ(machine.processes[1].commandLine, "\"C:\\MISSING.EXE\" Automatic");
}

}  // namespace
