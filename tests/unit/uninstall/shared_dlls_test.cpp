// Shared file counts: the three stored forms, the rollback's single step, the question
// when nobody is left and each of its answers, the remembered "to All" answers.
#include "uninstall/shared_dlls.h"

#include <string>

#include "base/message_text.h"
#include "run/run_reset.h"
#include "support/engine_fixture.h"
#include "platform/image/machine_image.h"

namespace {

const char kSharedKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kFile[] = "C:\\WINDOWS\\SYSTEM32\\SHARED.DLL";

class SharedDllsTest : public EngineTest {
 protected:
  void SetCount(uint32_t type, const std::string& data, const char* file = kFile) {
    ASSERT_EQ(machine.RegSetRaw(kSharedKey, file, type, data), 0);
  }
  bool ValueExists(const char* file = kFile) {
    uint32_t type = 0;
    std::string data;
    return machine.RegValue(kSharedKey, file, &type, &data);
  }
  // The count as a REG_DWORD; -1 when absent or of another type.
  int64_t DwordCount(const char* file = kFile) {
    uint32_t type = 0;
    std::string data;
    if (!machine.RegValue(kSharedKey, file, &type, &data) || type != kRegDword ||
        data.size() != 4) {
      return -1;
    }
    return static_cast<uint8_t>(data[0]) | (static_cast<uint8_t>(data[1]) << 8) |
           (static_cast<uint8_t>(data[2]) << 16) |
           (static_cast<int64_t>(static_cast<uint8_t>(data[3])) << 24);
  }
  static std::string Binary(uint32_t value, size_t length = 4) {
    std::string data = RegDwordBytes(value);
    data.resize(length, '\0');
    return data;
  }
};

TEST_F(SharedDllsTest, CountsAreLoweredAndKeptWhileOthersUseTheFile) {
  struct Case {
    const char* name;
    uint32_t type;
    std::string data;
    int decrement;
    bool rollback;
    int expected;
    int64_t countAfter;  // -1: value unchanged (checked by its type and data)
  };
  const Case cases[] = {
      {"text 3 less 1", kRegSz, RegStringBytes("3"), 1, false, kSharedKeep, 2},
      {"text with blanks", kRegSz, RegStringBytes(" 12 "), 2, false, kSharedKeep, 10},
      {"text without terminator", kRegSz, "7", 1, false, kSharedKeep, 6},
      {"dword 5 less 2", kRegDword, RegDwordBytes(5), 2, false, kSharedKeep, 3},
      {"binary 4 bytes", kRegBinary, Binary(9), 1, false, kSharedKeep, 8},
      {"rollback takes one", kRegDword, RegDwordBytes(2), 2, true, kSharedKeep, 1},
      {"rollback text", kRegSz, RegStringBytes("4"), 3, true, kSharedKeep, 3},
      {"binary of 3 bytes", kRegBinary, Binary(9, 3), 1, false, kSharedNotCounted, -1},
      {"binary of 8 bytes", kRegBinary, Binary(9, 8), 1, false, kSharedNotCounted, -1},
      {"expandable text", kRegExpandSz, RegStringBytes("3"), 1, false, kSharedNotCounted, -1},
      {"count 0", kRegDword, RegDwordBytes(0), 1, false, kSharedNotCounted, -1},
      {"negative text", kRegSz, RegStringBytes("-2"), 1, false, kSharedNotCounted, -1},
      {"not a number", kRegSz, RegStringBytes("many"), 1, false, kSharedNotCounted, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gRun.rollbackChosen = c.rollback;
    SetCount(c.type, c.data);
    EXPECT_EQ(ReleaseSharedFile(kFile, c.decrement), c.expected);
    if (c.countAfter >= 0) {
      EXPECT_EQ(DwordCount(), c.countAfter);
    } else {
      uint32_t type = 0;
      std::string data;
      ASSERT_TRUE(machine.RegValue(kSharedKey, kFile, &type, &data));
      EXPECT_EQ(type, c.type);
      EXPECT_EQ(data, c.data);
    }
  }
  EXPECT_TRUE(ui.transcript.empty());
}

TEST_F(SharedDllsTest, NothingIsReadOrWrittenBelowTheNewShellOrWithoutAValue) {
  SetCount(kRegDword, RegDwordBytes(1));
  gRun.newShell = false;
  EXPECT_EQ(ReleaseSharedFile(kFile, 1), kSharedNotCounted);
  EXPECT_EQ(DwordCount(), 1);

  gRun.newShell = true;
  EXPECT_EQ(ReleaseSharedFile("C:\\WINDOWS\\SYSTEM32\\UNCOUNTED.DLL", 1), kSharedNotCounted);
  EXPECT_TRUE(ui.transcript.empty());
}

TEST_F(SharedDllsTest, EachAnswerToTheQuestion) {
  struct Case {
    const char* name;
    int button;
    int expected;
    bool yesToAll;
    bool noToAll;
  };
  const Case cases[] = {
      {"Yes", 1005, kSharedRemove, false, false},
      {"No", 1006, kSharedKeep, false, false},
      {"Yes to All", 1007, kSharedRemove, true, false},
      {"No to All (Enter)", 1, kSharedKeep, false, true},
      {"Escape", 2, kSharedKeep, false, false},
      {"something else", 1234, kSharedKeep, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetRunWideState();
    gRun.newShell = true;
    ui.transcript.clear();
    SetCount(kRegDword, RegDwordBytes(1));
    ui.AnswerShared(c.button);
    EXPECT_EQ(ReleaseSharedFile(kFile, 1), c.expected);
    EXPECT_FALSE(ValueExists());
    EXPECT_EQ(gRun.sharedYesToAll, c.yesToAll);
    EXPECT_EQ(gRun.sharedNoToAll, c.noToAll);
    ASSERT_EQ(ui.transcript.size(), 1u);
    EXPECT_EQ(ui.transcript[0].kind, SimQuestion::kSharedFile);
  }
}

TEST_F(SharedDllsTest, QuestionNamesTheFileWithTheRightCaption) {
  char format[512];
  char advice[512];
  MessageText(38, format, sizeof format);
  MessageText(39, advice, sizeof advice);
  std::string expected = format;
  expected.replace(expected.find("%s"), 2, kFile);
  expected += advice;

  SetCount(kRegDword, RegDwordBytes(2));
  ui.AnswerShared(1006);
  EXPECT_EQ(ReleaseSharedFile(kFile, 2), kSharedKeep);
  gRun.repairMode = true;
  SetCount(kRegDword, RegDwordBytes(1));
  ui.AnswerShared(1006);
  EXPECT_EQ(ReleaseSharedFile(kFile, 1), kSharedKeep);

  ASSERT_EQ(ui.transcript.size(), 2u);
  EXPECT_EQ(ui.transcript[0].text, expected);
  EXPECT_EQ(std::string(gRun.actionText), expected);
  EXPECT_EQ(ui.transcript[0].caption, "Remove Shared Component");
  EXPECT_EQ(ui.transcript[1].caption, "Repair Newer File?");
}

TEST_F(SharedDllsTest, RewordedQuestionIsNeverUsedAsAFormat) {
  gRun.settingsFile.Set("C:\\APP\\UNTARN32.INI");
  Write("C:\\APP\\UNTARN32.INI", "[Language]\r\nMsg38=%n%d %s|%s 100%%~\r\nMsg39=Sure?\r\n");
  SetCount(kRegDword, RegDwordBytes(1));
  ui.AnswerShared(1005);
  EXPECT_EQ(ReleaseSharedFile(kFile, 1), kSharedRemove);
  ASSERT_EQ(ui.transcript.size(), 1u);
  EXPECT_EQ(ui.transcript[0].text, std::string("%n%d ") + kFile + "\r\n%s 100% Sure?");
}

TEST_F(SharedDllsTest, RememberedAnswersAndSilenceDecideWithoutAsking) {
  struct Case {
    const char* name;
    bool silent;
    bool yesToAll;
    bool noToAll;
    int expected;
  };
  const Case cases[] = {
      {"silent", true, false, false, kSharedKeep},
      {"silent beats Yes to All", true, true, false, kSharedKeep},
      {"Yes to All", false, true, false, kSharedRemove},
      {"No to All", false, false, true, kSharedKeep},
      {"No to All is tested first", false, true, true, kSharedKeep},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gRun.silent = c.silent;
    gRun.sharedYesToAll = c.yesToAll;
    gRun.sharedNoToAll = c.noToAll;
    SetCount(kRegSz, RegStringBytes("1"));
    EXPECT_EQ(ReleaseSharedFile(kFile, 1), c.expected);
    EXPECT_FALSE(ValueExists());
  }
  EXPECT_TRUE(ui.transcript.empty());
}

TEST_F(SharedDllsTest, ToAllAnswersStickForTheRestOfTheRun) {
  const char* const files[] = {"C:\\WINDOWS\\SYSTEM32\\A.DLL", "C:\\WINDOWS\\SYSTEM32\\B.DLL",
                               "C:\\WINDOWS\\SYSTEM32\\C.DLL"};
  for (const char* file : files) SetCount(kRegDword, RegDwordBytes(1), file);
  ui.AnswerShared(1007);
  for (const char* file : files) EXPECT_EQ(ReleaseSharedFile(file, 1), kSharedRemove) << file;
  EXPECT_EQ(ui.transcript.size(), 1u);

  ResetRunWideState();
  gRun.newShell = true;
  ui.transcript.clear();
  for (const char* file : files) SetCount(kRegDword, RegDwordBytes(1), file);
  ui.AnswerShared(1);
  for (const char* file : files) {
    EXPECT_EQ(ReleaseSharedFile(file, 1), kSharedKeep) << file;
    EXPECT_FALSE(ValueExists(file)) << file;
  }
  EXPECT_EQ(ui.transcript.size(), 1u);
}

}  // namespace
