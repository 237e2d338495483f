// Registry and file-handle rules of the simulated machine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace {

using SimRegistry = SimFixture;

std::vector<std::string> SubkeysOf(RegHandle key) {
  std::vector<std::string> names;
  char name[64];
  for (uint32_t i = 0;; ++i) {
    uint32_t size = sizeof name;
    if (Sys().RegEnumKeyAt(key, i, name, &size) != 0) break;
    names.push_back(name);
  }
  return names;
}

// Code page 932: the registry holds its names in Unicode, so the second byte of 表
// (0x95 0x5C) separates no keys, and ヂ (0x83 0x61) and ア (0x83 0x41) are two names.
TEST_F(SimRegistry, DoubleByteNamesAreWholeCharacters) {
  machine().settings.ansiCodePage = 932;
  const std::string hyo = "Software\\\x95\x5C", di = "\x83\x61", a = "\x83\x41";
  for (const std::string& name : {di, a})
    ASSERT_EQ(machine().RegSetRaw("HKLM\\" + hyo + "\\" + name, name, kRegSz, "x"), 0);
  RegHandle key = 0;
  ASSERT_EQ(Sys().RegOpen(RegistryRoot(2), hyo.c_str(), kKeyRead, &key), 0);
  EXPECT_EQ(SubkeysOf(key), std::vector<std::string>({a, di}));
  Sys().RegClose(key);
  ASSERT_EQ(Sys().RegRemoveKey(RegistryRoot(2), (hyo + "\\" + di).c_str()), 0);
  EXPECT_TRUE(machine().RegValue("HKLM\\" + hyo + "\\" + a, a, nullptr, nullptr));
  EXPECT_FALSE(machine().RegKeyExists("HKLM\\" + hyo + "\\" + di));
}

TEST_F(SimRegistry, OrdersEnumeratesAndRefusesAsWin32Does) {
  RegHandle key = 0;
  ASSERT_EQ(Sys().RegCreate(RegistryRoot(1), "Software\\T", kKeyAllAccess, &key), 0);
  for (const char* sub : {"beta", "Alpha", "gamma"}) {
    RegHandle child = 0;
    ASSERT_EQ(Sys().RegCreate(key, sub, kKeyAllAccess, &child), 0);
    Sys().RegClose(child);
  }
  EXPECT_EQ(SubkeysOf(key), std::vector<std::string>({"Alpha", "beta", "gamma"}));
  for (const char* value : {"Zed", "Abe", "Mid"}) ASSERT_EQ(Sys().RegSet(key, value, kRegSz, "x", 2), 0);
  ASSERT_EQ(Sys().RegSet(key, "abe", kRegDword, "\x01\0\0\0", 4), 0);  // same value, new data
  char name[8];
  uint32_t size = sizeof name, type = 0;
  ASSERT_EQ(Sys().RegEnumValueAt(key, 1, name, &size, &type), 0);
  EXPECT_STREQ(name, "Abe");
  EXPECT_EQ(type, kRegDword);
  size = 3;
  EXPECT_EQ(Sys().RegEnumValueAt(key, 0, name, &size, &type), kErrMoreData);
  size = sizeof name;
  EXPECT_EQ(Sys().RegEnumValueAt(key, 3, name, &size, &type), kErrNoMoreItems);

  char data[2];
  uint32_t dataSize = sizeof data;
  EXPECT_EQ(Sys().RegQuery(key, "ABE", &type, data, &dataSize), kErrMoreData);
  EXPECT_EQ(dataSize, 4u);
  EXPECT_EQ(Sys().RegQuery(key, "none", &type, nullptr, &dataSize), kErrFileNotFound);

  EXPECT_EQ(Sys().RegRemoveKey(RegistryRoot(1), "Software\\T"), kErrAccessDenied);
  EXPECT_EQ(Sys().RegRemoveKey(key, "alpha"), 0);
  EXPECT_EQ(Sys().RegRemoveKey(key, "alpha"), kErrFileNotFound);
  Sys().RegClose(key);
  // The 95 family deletes a key together with its subkeys.
  machine().settings.ntFamily = false;
  EXPECT_EQ(Sys().RegRemoveKey(RegistryRoot(1), "Software\\T"), 0);
  EXPECT_FALSE(machine().RegKeyExists("HKCU\\Software\\T\\beta"));
}

using SimHandles = SimFixture;

TEST_F(SimHandles, ReadWriteSeekAndLength) {
  FileHandle file = Sys().CreateTruncated("C:\\h\\..\\data.bin");
  ASSERT_NE(file, kNoFile);
  EXPECT_EQ(Sys().WriteBytes(file, "hello world", 11), 11);
  EXPECT_EQ(Sys().Seek(file, -5, kSeekEnd), 6);
  char buffer[16] = {};
  EXPECT_EQ(Sys().ReadBytes(file, buffer, sizeof buffer), 5);
  EXPECT_STREQ(buffer, "world");
  EXPECT_EQ(Sys().SetLength(file, 5), 0);
  EXPECT_EQ(Sys().Seek(file, 0, kSeekCurrent), 11);  // the position stays
  EXPECT_EQ(Sys().Seek(file, -20, kSeekCurrent), -1);
  EXPECT_EQ(Sys().OpenForWrite("C:\\data.bin"), kNoFile);  // one writer at a time
  EXPECT_EQ(Sys().RemoveFile("C:\\data.bin"), kErrSharingViolation);
  Sys().CloseFile(file);
  EXPECT_EQ(machine().FileContents("C:\\data.bin"), "hello");

  FileHandle writer = Sys().OpenForWrite("C:\\data.bin");
  ASSERT_NE(writer, kNoFile);
  EXPECT_EQ(Sys().ReadBytes(writer, buffer, 4), -1);  // write access only
  EXPECT_EQ(Sys().Seek(writer, 8, kSeekBegin), 8);
  EXPECT_EQ(Sys().WriteBytes(writer, "!", 1), 1);     // past the end: the gap is zeros
  Sys().CloseFile(writer);
  EXPECT_EQ(machine().FileContents("C:\\data.bin"), std::string("hello\0\0\0!", 9));
  EXPECT_EQ(Sys().RemoveFile("C:\\data.bin"), 0);
}

}  // namespace
