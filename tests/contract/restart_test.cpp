// Contract of restart-time work: delay-until-reboot moves are recorded in the session
// manager's PendingFileRenameOperations (and nothing moves now), and a WININIT.INI-style
// file takes appended lines, keeping repeated keys.
#include "contract/contract_support.h"

#include <cstring>

#include "platform/image/machine_image.h"

namespace {

using RestartContract = ContractTest;

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

// The strings of the pending value (REG_MULTI_SZ), in order.
std::vector<std::string> PendingOperations() {
  std::vector<std::string> strings;
  RegHandle key = 0;
  if (Sys().RegOpen(RegistryRoot(2), kSessionManager, kKeyQueryValue, &key) != 0) return strings;
  uint32_t type = 0, size = 0;
  if (Sys().RegQuery(key, kPendingValue, &type, nullptr, &size) == 0 && type == kRegMultiSz) {
    std::string data(size, '\0');
    // Each operation is a pair of strings, and the second may be empty.
    if (Sys().RegQuery(key, kPendingValue, &type, &data[0], &size) == 0) {
      data.resize(size);
      strings = RegStringsOf(data);
    }
  }
  Sys().RegClose(key);
  return strings;
}

// Puts the pending operations back without the pairs that name this test's scratch
// directory, so that a later restart of the machine does not act on them.
void ForgetOwnOperations(const std::string& scratch) {
  std::vector<std::string> strings = PendingOperations();
  std::string kept;
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (UpperAsciiText(strings[i]).find(UpperAsciiText(scratch)) != std::string::npos) continue;
    kept += strings[i] + '\0' + strings[i + 1] + '\0';
  }
  RegHandle key = 0;
  if (Sys().RegOpen(RegistryRoot(2), kSessionManager, kKeyAllAccess, &key) != 0) return;
  if (kept.empty()) {
    Sys().RegRemoveValue(key, kPendingValue);
  } else {
    kept += '\0';
    Sys().RegSet(key, kPendingValue, kRegMultiSz, kept.data(), static_cast<uint32_t>(kept.size()));
  }
  Sys().RegClose(key);
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         UpperAsciiText(text.substr(text.size() - tail.size())) == UpperAsciiText(tail);
}

// The moves need write access to HKEY_LOCAL_MACHINE: on Windows the suite must run as an
// administrator (Wine grants it).
TEST_F(RestartContract, DelayedMovesAreRecordedNotDone) {
  std::string from = PathOf("replacement.dll");
  std::string to = PathOf("target.dll");
  std::string doomed = PathOf("doomed.dll");
  ASSERT_EQ(WriteWholeFile(from, "new"), 0);
  ASSERT_EQ(WriteWholeFile(to, "old"), 0);
  ASSERT_EQ(WriteWholeFile(doomed, "x"), 0);
  size_t before = PendingOperations().size();

  EXPECT_EQ(Sys().MoveFileFlags(from.c_str(), to.c_str(),
                                kMoveDelayUntilReboot | kMoveReplaceExisting),
            0);
  EXPECT_EQ(Sys().MoveFileFlags(doomed.c_str(), nullptr, kMoveDelayUntilReboot), 0);

  // Nothing has moved yet.
  EXPECT_EQ(ReadWholeFile(from), "new");
  EXPECT_EQ(ReadWholeFile(to), "old");
  EXPECT_TRUE(Exists(doomed));

  // The last two pairs are ours, in order: "\??\from", "!\??\to" (the "!" asks for the
  // target to be replaced), then "\??\doomed", "" (a deletion).
  std::vector<std::string> pending = PendingOperations();
  ASSERT_EQ(pending.size(), before + 4);
  const std::string* ours = &pending[before];
  EXPECT_EQ(ours[0].substr(0, 4), "\\??\\");
  EXPECT_TRUE(EndsWithNoCase(ours[0], from)) << ours[0];
  EXPECT_EQ(ours[1].substr(0, 5), "!\\??\\");
  EXPECT_TRUE(EndsWithNoCase(ours[1], to)) << ours[1];
  EXPECT_EQ(ours[2].substr(0, 4), "\\??\\");
  EXPECT_TRUE(EndsWithNoCase(ours[2], doomed)) << ours[2];
  EXPECT_EQ(ours[3], "");

  ForgetOwnOperations(Scratch());
  EXPECT_EQ(PendingOperations().size(), before);
}

// The Windows 95 family takes restart-time renames from the [rename] section of
// WININIT.INI, where the key NUL repeats; profile writes would replace a repeated key, so
// lines are appended to the file as they are.
TEST_F(RestartContract, WininitLinesAreAppended) {
  std::string file = PathOf("WININIT.INI");
  const std::string first = "[rename]\r\nNUL=C:\\OLD\\ONE.DLL\r\n";
  ASSERT_EQ(WriteWholeFile(file, first), 0);

  const char* lines[] = {"NUL=C:\\OLD\\TWO.DLL\r\n", "C:\\SYS\\A.DLL=C:\\NEW\\A.DLL\r\n"};
  std::string expected = first;
  for (const char* line : lines) {
    FileHandle handle = Sys().OpenForWrite(file.c_str());
    ASSERT_NE(handle, kNoFile);
    EXPECT_EQ(Sys().Seek(handle, 0, kSeekEnd), static_cast<int64_t>(expected.size()));
    EXPECT_EQ(Sys().WriteBytes(handle, line, static_cast<uint32_t>(strlen(line))),
              static_cast<int>(strlen(line)));
    Sys().CloseFile(handle);
    expected += line;
  }
  EXPECT_EQ(ReadWholeFile(file), expected);

  // The profile reader sees the section and the first of the repeated keys.
  char buffer[64];
  EXPECT_GT(Sys().ReadIniString("rename", "NUL", "", buffer, sizeof buffer, file.c_str()), 0);
  EXPECT_STREQ(buffer, "C:\\OLD\\ONE.DLL");
  EXPECT_GT(Sys().ReadIniString("RENAME", "C:\\SYS\\A.DLL", "", buffer, sizeof buffer,
                                file.c_str()),
            0);
  EXPECT_STREQ(buffer, "C:\\NEW\\A.DLL");
}

}  // namespace
