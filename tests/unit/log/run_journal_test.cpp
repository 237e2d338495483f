// The journal of a run read back in every state a kill, another installation or another
// program can leave it in.
#include "log/run_journal.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_machine.h"
#include "run/run_reset.h"
#include "support/sim_fixture.h"

namespace {

constexpr char kLog[] = "C:\\APP\\INSTALL.LOG";
constexpr char kJournal[] = "C:\\APP\\INSTALL.JNL";

class RunJournalTest : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    ResetRunWideState();
    machine().WriteFile(kLog, "*** Log\r\nTitle: App\r\n", 123456789);
  }
  void TearDown() override {
    ResetRunWideState();
    SimFixture::TearDown();
  }
  // The header the run would write for the log as it is now (size, time), or with another
  // size or path.
  std::string Header(int version = kJournalVersion, long long size = 21,
                     const char* path = kLog) {
    return "UNTARN-JOURNAL\t" + std::to_string(version) + "\t" + path + "\t" +
           std::to_string(size) + "\t123456789\r\n";
  }
};

TEST_F(RunJournalTest, EveryStateALogsJournalCanBeIn) {
  const std::string facts =
      "S\tC:\\APP\\A.DLL\t2\t1\t1\r\nB\tC:\\APP\\B.DLL\r\nE\t1\tC:\\APP\r\n";
  struct Case {
    const char* name;
    std::string journal;  // empty with present false: no journal at all
    bool present;
    JournalOpen expected;
    bool kept;  // the file is still there afterwards
  } cases[] = {
      {"none", "", false, JournalOpen::kNone, false},
      {"empty", "", true, JournalOpen::kDropped, false},
      {"header cut by the kill", Header().substr(0, 20), true, JournalOpen::kDropped, false},
      {"this log's", Header() + facts, true, JournalOpen::kResumed, true},
      {"last line cut", Header() + facts + "V\t2\tSoftware\\App", true, JournalOpen::kResumed,
       true},
      {"another log's", Header(1, 21, "C:\\OTHER\\INSTALL.LOG") + facts, true,
       JournalOpen::kDropped, false},
      {"the log changed since", Header(1, 99) + facts, true, JournalOpen::kDropped, false},
      {"a newer program's", Header(kJournalVersion + 1) + "Z\tsomething new\r\n", true,
       JournalOpen::kNewerVersion, true},
      {"not a journal", "hello\r\n", true, JournalOpen::kDropped, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    machine().RemoveFile(kJournal);
    if (c.present) machine().WriteFile(kJournal, c.journal);
    EXPECT_EQ(OpenRunJournal(kLog), c.expected);
    EXPECT_EQ(machine().FileExists(kJournal), c.kept);
    SharedFact fact{};
    bool resumed = c.expected == JournalOpen::kResumed;
    EXPECT_EQ(JournalResumed(), resumed);
    EXPECT_EQ(FindSharedFact("c:\\app\\a.dll", &fact), resumed);
    EXPECT_EQ(IsBackupRestored("C:\\APP\\B.DLL"), resumed);
    EXPECT_FALSE(IsValueRestored(2, "Software\\App", ""));
    EXPECT_EQ(EndFolderCount(), resumed ? 1 : 0);
    if (resumed) {
      EXPECT_EQ(fact.before * 100 + fact.after * 10 + fact.answer, 211);
    }
  }

  // A tool that only looks leaves a journal it cannot use where it is.
  machine().WriteFile(kJournal, Header(1, 99));
  EXPECT_EQ(OpenRunJournal(kLog, true), JournalOpen::kDropped);
  EXPECT_TRUE(machine().FileExists(kJournal));
  // A folder where the journal should be cannot be read: the run must not go on.
  machine().RemoveFile(kJournal);
  machine().MakeDirectories(kJournal);
  EXPECT_EQ(OpenRunJournal(kLog), JournalOpen::kUnreadable);
}

// Once the work was done the log is cut or deleted as noted: the journal is still the log's,
// and all that is left is the end.
TEST_F(RunJournalTest, WorkDoneAndTheLogAlreadyCutOrGone) {
  machine().WriteFile(kJournal, Header(1, 999) + "D\t21\r\n");
  EXPECT_EQ(OpenRunJournal(kLog), JournalOpen::kResumed);
  int64_t length = 0;
  EXPECT_TRUE(IsWorkDone(&length));
  EXPECT_EQ(length, 21);
  machine().RemoveFile(kLog);
  machine().WriteFile(kJournal, Header() + "E\t0\tC:\\APP\r\nD\t0\r\n");
  EXPECT_EQ(OpenRunJournal(kLog), JournalOpen::kResumed);
  EXPECT_TRUE(IsWorkDone(&length));
  EXPECT_EQ(length, 0);
  bool withContents = true;
  EXPECT_STREQ(EndFolderAt(0, &withContents), "C:\\APP");
  EXPECT_FALSE(withContents);
}

// What a run notes, read back by the next run, line by line as it was written.
TEST_F(RunJournalTest, WhatARunNotesTheNextReads) {
  ASSERT_EQ(OpenRunJournal(kLog), JournalOpen::kNone);
  ASSERT_EQ(BeginJournal(), 0);
  NoteSharedFact("C:\\APP\\A.DLL", SharedFact{3, 0, 2});
  NoteValueRestored(2, "Software\\App", "Color");
  NoteBackupRestored("C:\\APP\\MAIN.EXE");
  CloseRunJournal(false);
  ResetRunWideState();
  ASSERT_EQ(OpenRunJournal(kLog), JournalOpen::kResumed);
  SharedFact fact{};
  ASSERT_TRUE(FindSharedFact("C:\\APP\\A.DLL", &fact));
  EXPECT_EQ(fact.after, 0);
  EXPECT_EQ(fact.answer, 2);
  EXPECT_TRUE(IsValueRestored(2, "software\\app", "COLOR"));
  EXPECT_FALSE(IsValueRestored(1, "Software\\App", "Color"));
  EXPECT_TRUE(IsBackupRestored("C:\\APP\\MAIN.EXE"));
  EXPECT_FALSE(IsWorkDone(nullptr));
  // A run that goes on writes after what it found (a line the kill cut stays cut).
  ASSERT_EQ(BeginJournal(), 0);
  NoteWorkDone(-1);
  CloseRunJournal(true);
  EXPECT_FALSE(machine().FileExists(kJournal));

  char path[260];
  ASSERT_TRUE(JournalPathFor("C:\\APP\\SETUP.JNL", path, sizeof path));
  EXPECT_STREQ(path, "C:\\APP\\SETUP.JNL.JNL");
  ASSERT_TRUE(JournalPathFor("C:\\A.B\\LOG", path, sizeof path));
  EXPECT_STREQ(path, "C:\\A.B\\LOG.JNL");
}

}  // namespace
