// Contract of files and directories: existence and attributes, contents through handles,
// copies, deletes, moves and the error codes each refusal carries.
#include "contract/contract_support.h"

namespace {

using FileContract = ContractTest;

TEST_F(FileContract, AttributesAndExistence) {
  std::string file = PathOf("plain.txt");
  std::string dir = PathOf("sub");
  ASSERT_EQ(WriteWholeFile(file, "x"), 0);
  ASSERT_EQ(Sys().MakeDirectory(dir.c_str()), 0);

  EXPECT_EQ(Sys().GetAttributes(PathOf("missing.txt").c_str()), kNoAttributes);
  EXPECT_EQ(Sys().GetAttributes(PathOf("nodir\\missing.txt").c_str()), kNoAttributes);
  EXPECT_NE(Sys().GetAttributes(dir.c_str()) & kAttrDirectory, 0u);
  EXPECT_EQ(Sys().GetAttributes(file.c_str()) & kAttrDirectory, 0u);
  // Names are found without regard to case.
  EXPECT_NE(Sys().GetAttributes(PathOf("PLAIN.TXT").c_str()), kNoAttributes);

  struct Case {
    uint32_t set;
    uint32_t expected;  // of the bits below
  } cases[] = {
      {kAttrReadOnly, kAttrReadOnly},
      {kAttrHidden | kAttrSystem, kAttrHidden | kAttrSystem},
      {0, 0},  // 0 is passed on as "normal": every bit cleared
      {kAttrReadOnly | kAttrHidden, kAttrReadOnly | kAttrHidden},
      {kAttrNormal, 0},
  };
  // The archive bit is left out: Wine on a file system without extended attributes
  // reports every file as archived whatever was set.
  const uint32_t bits = kAttrReadOnly | kAttrHidden | kAttrSystem;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    EXPECT_EQ(Sys().SetAttributes(file.c_str(), c.set), 0);
    EXPECT_EQ(Sys().GetAttributes(file.c_str()) & bits, c.expected);
  }
  EXPECT_EQ(Sys().SetAttributes(PathOf("missing.txt").c_str(), kAttrNormal), kErrFileNotFound);
}

TEST_F(FileContract, ContentsThroughHandles) {
  std::string path = PathOf("data.bin");
  EXPECT_EQ(Sys().OpenForRead(path.c_str()), kNoFile);
  EXPECT_EQ(Sys().LastError(), static_cast<uint32_t>(kErrFileNotFound));
  EXPECT_EQ(Sys().OpenForWrite(path.c_str()), kNoFile);

  FileHandle file = Sys().CreateTruncated(path.c_str());
  ASSERT_NE(file, kNoFile);
  EXPECT_EQ(Sys().WriteBytes(file, "0123456789", 10), 10);
  EXPECT_EQ(Sys().Seek(file, 0, kSeekCurrent), 10);
  EXPECT_EQ(Sys().Seek(file, 2, kSeekBegin), 2);
  EXPECT_EQ(Sys().WriteBytes(file, "ab", 2), 2);
  EXPECT_EQ(Sys().Seek(file, -1, kSeekEnd), 9);
  EXPECT_EQ(Sys().Seek(file, -2, kSeekCurrent), 7);
  Sys().CloseFile(file);
  EXPECT_EQ(ReadWholeFile(path), "01ab456789");

  // Open for writing keeps the contents; writing past the end extends.
  file = Sys().OpenForWrite(path.c_str());
  ASSERT_NE(file, kNoFile);
  EXPECT_EQ(Sys().Seek(file, 0, kSeekEnd), 10);
  EXPECT_EQ(Sys().WriteBytes(file, "XY", 2), 2);
  Sys().CloseFile(file);
  EXPECT_EQ(ReadWholeFile(path), "01ab456789XY");

  // Reading: a short read at the end, then 0.
  file = Sys().OpenForRead(path.c_str());
  ASSERT_NE(file, kNoFile);
  char buffer[8];
  EXPECT_EQ(Sys().ReadBytes(file, buffer, 8), 8);
  EXPECT_EQ(Sys().ReadBytes(file, buffer, 8), 4);
  EXPECT_EQ(std::string(buffer, 4), "89XY");
  EXPECT_EQ(Sys().ReadBytes(file, buffer, 8), 0);
  Sys().CloseFile(file);

  // Cutting and extending.
  file = Sys().OpenForWrite(path.c_str());
  ASSERT_NE(file, kNoFile);
  EXPECT_EQ(Sys().SetLength(file, 4), 0);
  EXPECT_EQ(Sys().Seek(file, 0, kSeekEnd), 4);
  EXPECT_EQ(Sys().SetLength(file, 6), 0);
  EXPECT_EQ(Sys().Seek(file, 0, kSeekEnd), 6);
  Sys().CloseFile(file);
  EXPECT_EQ(ReadWholeFile(path), std::string("01ab\0\0", 6));

  // CreateTruncated empties an existing file.
  file = Sys().CreateTruncated(path.c_str());
  ASSERT_NE(file, kNoFile);
  Sys().CloseFile(file);
  EXPECT_EQ(ReadWholeFile(path), "");
}

TEST_F(FileContract, LastWriteTimeAgreesWithSearch) {
  std::string path = PathOf("timed.txt");
  ASSERT_EQ(WriteWholeFile(path, "hello"), 0);
  FileHandle file = Sys().OpenForRead(path.c_str());
  ASSERT_NE(file, kNoFile);
  uint64_t written = 0;
  EXPECT_EQ(Sys().GetLastWrite(file, &written), 0);
  // Time and size together, and the position stays where it was.
  char first = 0;
  ASSERT_EQ(Sys().ReadBytes(file, &first, 1), 1);
  uint64_t together = 0;
  int64_t size = -1;
  EXPECT_EQ(Sys().GetTimeAndSize(file, &together, &size), 0);
  EXPECT_EQ(together, written);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(Sys().Seek(file, 0, kSeekCurrent), 1);
  Sys().CloseFile(file);
  EXPECT_NE(written, 0u);

  FindEntry entry;
  SearchHandle search = Sys().FindFirst(path.c_str(), &entry);
  ASSERT_NE(search, kNoSearch);
  Sys().FindEnd(search);
  EXPECT_EQ(entry.lastWrite, written);
  EXPECT_EQ(entry.size, 5u);
}

TEST_F(FileContract, DosTimeOfAFileTime) {
  // 2001-06-15 12:00:01 UTC. DOS times count seconds in twos, so the odd second is lost;
  // the hour and day depend on the machine's time zone, which a test cannot choose, so
  // only the parts no zone moves are held exactly.
  const uint64_t kNoonAndOneSecond = 126370800010000000ull;
  uint16_t date = 0, time = 0;
  ASSERT_EQ(Sys().FileTimeToLocalDos(kNoonAndOneSecond, &date, &time), 0);
  EXPECT_EQ(date >> 9, 2001 - 1980);
  EXPECT_EQ((date >> 5) & 0xF, 6);
  int day = date & 0x1F;
  EXPECT_TRUE(day >= 14 && day <= 16) << day;
  EXPECT_EQ(time & 0x1F, 0) << "seconds / 2";
}

TEST_F(FileContract, CopyHonoursFailIfExists) {
  std::string from = PathOf("from.txt");
  std::string to = PathOf("to.txt");
  ASSERT_EQ(WriteWholeFile(from, "new contents"), 0);

  EXPECT_EQ(Sys().CopyFileTo(from.c_str(), to.c_str(), true), 0);
  EXPECT_EQ(ReadWholeFile(to), "new contents");

  ASSERT_EQ(WriteWholeFile(to, "old"), 0);
  EXPECT_EQ(Sys().CopyFileTo(from.c_str(), to.c_str(), true), kErrFileExists);
  EXPECT_EQ(ReadWholeFile(to), "old");
  EXPECT_EQ(Sys().CopyFileTo(from.c_str(), to.c_str(), false), 0);
  EXPECT_EQ(ReadWholeFile(to), "new contents");

  EXPECT_EQ(Sys().CopyFileTo(PathOf("missing").c_str(), to.c_str(), false), kErrFileNotFound);
  EXPECT_EQ(Sys().CopyFileTo(from.c_str(), PathOf("nodir\\to.txt").c_str(), false),
            kErrPathNotFound);

  // A read-only target is not overwritten. Wine keeps the read-only bit in the Unix
  // permissions, which do not stop root, so under Wine run as root the copy goes through.
  ASSERT_EQ(WriteWholeFile(to, "old"), 0);
  ASSERT_EQ(Sys().SetAttributes(to.c_str(), kAttrReadOnly), 0);
  if (gUnderWine) {
    EXPECT_EQ(Sys().CopyFileTo(from.c_str(), to.c_str(), false), 0) << "Wine now refuses";
  } else {
    EXPECT_EQ(Sys().CopyFileTo(from.c_str(), to.c_str(), false), kErrAccessDenied);
    EXPECT_EQ(ReadWholeFile(to), "old");
  }
}

TEST_F(FileContract, DeleteRefusals) {
  std::string path = PathOf("victim.txt");
  ASSERT_EQ(WriteWholeFile(path, "x"), 0);

  struct Case {
    const char* what;
    std::string path;
    int expected;
  } missing[] = {
      {"missing file", PathOf("missing.txt"), kErrFileNotFound},
      {"missing directory", PathOf("nodir\\missing.txt"), kErrPathNotFound},
  };
  for (const Case& c : missing) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Sys().RemoveFile(c.path.c_str()), c.expected);
  }

  ASSERT_EQ(Sys().SetAttributes(path.c_str(), kAttrReadOnly), 0);
  EXPECT_EQ(Sys().RemoveFile(path.c_str()), kErrAccessDenied);
  EXPECT_TRUE(Exists(path));
  ASSERT_EQ(Sys().SetAttributes(path.c_str(), kAttrNormal), 0);

  // A file that is open (without delete sharing) refuses as well.
  FileHandle file = Sys().OpenForRead(path.c_str());
  ASSERT_NE(file, kNoFile);
  EXPECT_EQ(Sys().RemoveFile(path.c_str()), kErrSharingViolation);
  Sys().CloseFile(file);

  EXPECT_EQ(Sys().RemoveFile(path.c_str()), 0);
  EXPECT_FALSE(Exists(path));
}

TEST_F(FileContract, Directories) {
  std::string dir = PathOf("made");
  EXPECT_EQ(Sys().MakeDirectory(dir.c_str()), 0);
  EXPECT_EQ(Sys().MakeDirectory(dir.c_str()), kErrAlreadyExists);
  EXPECT_EQ(Sys().MakeDirectory(PathOf("no\\such\\parent").c_str()), kErrPathNotFound);

  ASSERT_EQ(WriteWholeFile(dir + "\\inner.txt", "x"), 0);
  EXPECT_EQ(Sys().RemoveEmptyDirectory(dir.c_str()), kErrDirNotEmpty);
  EXPECT_EQ(Sys().RemoveFile((dir + "\\inner.txt").c_str()), 0);
  EXPECT_EQ(Sys().RemoveEmptyDirectory(dir.c_str()), 0);
  EXPECT_FALSE(Exists(dir));
  EXPECT_EQ(Sys().RemoveEmptyDirectory(dir.c_str()), kErrFileNotFound);
}

TEST_F(FileContract, MovesNow) {
  std::string a = PathOf("a.txt");
  std::string b = PathOf("b.txt");
  ASSERT_EQ(WriteWholeFile(a, "A"), 0);
  ASSERT_EQ(WriteWholeFile(b, "B"), 0);

  EXPECT_EQ(Sys().MoveFileFlags(a.c_str(), b.c_str(), 0), kErrAlreadyExists);
  EXPECT_EQ(ReadWholeFile(b), "B");
  EXPECT_EQ(Sys().MoveFileFlags(a.c_str(), b.c_str(), kMoveReplaceExisting), 0);
  EXPECT_FALSE(Exists(a));
  EXPECT_EQ(ReadWholeFile(b), "A");

  std::string c = PathOf("c.txt");
  EXPECT_EQ(Sys().MoveFileFlags(b.c_str(), c.c_str(), 0), 0);
  EXPECT_EQ(ReadWholeFile(c), "A");
  EXPECT_EQ(Sys().MoveFileFlags(b.c_str(), c.c_str(), 0), kErrFileNotFound);
}

}  // namespace
