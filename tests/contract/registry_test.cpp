// Contract of the registry: keys created and opened, values of each type set and read
// back byte for byte, the size protocol of queries (ERROR_MORE_DATA), enumeration to
// ERROR_NO_MORE_ITEMS, and deletion of values and keys.
#include "contract/contract_support.h"

#include <cstring>
#include <set>

namespace {

class RegistryContract : public ContractTest {
 protected:
  void SetUp() override {
    ContractTest::SetUp();
    base_ = std::string("Software\\KtmContract\\") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveRegTree(Hkcu(), base_);
    ASSERT_EQ(Sys().RegCreate(Hkcu(), base_.c_str(), kKeyAllAccess, &key_), 0);
  }
  void TearDown() override {
    Sys().RegClose(key_);
    RemoveRegTree(Hkcu(), "Software\\KtmContract");
    RegHandle left = 0;
    EXPECT_NE(Sys().RegOpen(Hkcu(), "Software\\KtmContract", kKeyRead, &left), 0);
    ContractTest::TearDown();
  }
  static RegHandle Hkcu() { return RegistryRoot(1); }

  std::string base_;
  RegHandle key_ = 0;
};

struct ValueCase {
  const char* name;
  uint32_t type;
  std::string data;
};

std::vector<ValueCase> SampleValues() {
  return {
      {"String", kRegSz, std::string("hello\0", 6)},
      {"", kRegSz, std::string("the default value\0", 18)},
      {"Expand", kRegExpandSz, std::string("%WINDIR%\\x\0", 11)},
      {"Number", kRegDword, std::string("\x78\x56\x34\x12", 4)},
      {"Blob", kRegBinary, std::string("\x00\x01\xFF\x00\x7F", 5)},
      {"Empty blob", kRegBinary, std::string()},
      {"List", kRegMultiSz, std::string("one\0two\0\0", 9)},
  };
}

TEST_F(RegistryContract, ValuesOfEachTypeReadBackExactly) {
  for (const ValueCase& v : SampleValues()) {
    ASSERT_EQ(Sys().RegSet(key_, v.name, v.type, v.data.data(),
                           static_cast<uint32_t>(v.data.size())),
              0)
        << v.name;
  }
  for (const ValueCase& v : SampleValues()) {
    SCOPED_TRACE(v.name);
    // Type and size only.
    uint32_t type = 99, size = 0;
    EXPECT_EQ(Sys().RegQuery(key_, v.name, &type, nullptr, &size), 0);
    EXPECT_EQ(type, v.type);
    EXPECT_EQ(size, v.data.size());

    char data[64];
    memset(data, '#', sizeof data);
    size = sizeof data;
    EXPECT_EQ(Sys().RegQuery(key_, v.name, &type, data, &size), 0);
    EXPECT_EQ(std::string(data, size), v.data);

    // Too small a buffer: ERROR_MORE_DATA with the size needed.
    if (v.data.size() > 1) {
      size = 1;
      EXPECT_EQ(Sys().RegQuery(key_, v.name, &type, data, &size), kErrMoreData);
      EXPECT_EQ(size, v.data.size());
    }
  }

  // Value names are matched without regard to case; a missing one is "file not found".
  uint32_t type = 0, size = 0;
  EXPECT_EQ(Sys().RegQuery(key_, "STRING", &type, nullptr, &size), 0);
  EXPECT_EQ(Sys().RegQuery(key_, "Nothing", &type, nullptr, &size), kErrFileNotFound);

  // Setting again replaces type and data.
  uint32_t number = 7;
  EXPECT_EQ(Sys().RegSet(key_, "String", kRegDword, &number, 4), 0);
  uint32_t read = 0;
  size = sizeof read;
  EXPECT_EQ(Sys().RegQuery(key_, "string", &type, &read, &size), 0);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(read, 7u);
}

TEST_F(RegistryContract, EnumerationAndItsEnd) {
  const char* values[] = {"Alpha", "Beta", "A much longer value name"};
  for (const char* name : values) ASSERT_EQ(Sys().RegSet(key_, name, kRegSz, "x", 2), 0);
  const char* subkeys[] = {"Child1", "Child2"};
  for (const char* name : subkeys) {
    RegHandle child = 0;
    ASSERT_EQ(Sys().RegCreate(key_, name, kKeyAllAccess, &child), 0);
    Sys().RegClose(child);
  }

  std::set<std::string> seen;
  uint32_t index = 0;
  int result = 0;
  for (;; ++index) {
    char name[64];
    uint32_t size = sizeof name, type = 0;
    result = Sys().RegEnumValueAt(key_, index, name, &size, &type);
    if (result != 0) break;
    EXPECT_EQ(size, strlen(name));
    EXPECT_EQ(type, kRegSz);
    seen.insert(name);
  }
  EXPECT_EQ(result, kErrNoMoreItems);
  EXPECT_EQ(seen, std::set<std::string>(values, values + 3));

  // A name buffer too small for the name.
  bool refused = false;
  for (index = 0; index < 3; ++index) {
    char name[6];
    uint32_t size = sizeof name, type = 0;
    int r = Sys().RegEnumValueAt(key_, index, name, &size, &type);
    if (r == kErrMoreData) {
      refused = true;
    } else {
      EXPECT_EQ(r, 0);
    }
  }
  EXPECT_TRUE(refused) << "a 24-character name does not fit in 6 bytes";

  seen.clear();
  for (index = 0;; ++index) {
    char name[64];
    uint32_t size = sizeof name;
    result = Sys().RegEnumKeyAt(key_, index, name, &size);
    if (result != 0) break;
    EXPECT_EQ(size, strlen(name));
    seen.insert(name);
  }
  EXPECT_EQ(result, kErrNoMoreItems);
  EXPECT_EQ(seen, std::set<std::string>(subkeys, subkeys + 2));
}

TEST_F(RegistryContract, KeysOpenCreateAndDelete) {
  RegHandle opened = 0;
  std::string missing = base_ + "\\Missing";
  EXPECT_EQ(Sys().RegOpen(Hkcu(), missing.c_str(), kKeyRead, &opened), kErrFileNotFound);

  // Create makes every missing level, and opens an existing key again.
  std::string deep = base_ + "\\One\\Two\\Three";
  RegHandle created = 0;
  ASSERT_EQ(Sys().RegCreate(Hkcu(), deep.c_str(), kKeyAllAccess, &created), 0);
  Sys().RegClose(created);
  ASSERT_EQ(Sys().RegCreate(Hkcu(), deep.c_str(), kKeyAllAccess, &created), 0);
  Sys().RegClose(created);
  std::string upper = UpperAsciiText(deep);
  ASSERT_EQ(Sys().RegOpen(Hkcu(), upper.c_str(), kKeyRead, &opened), 0);
  Sys().RegClose(opened);

  // A key with subkeys refuses deletion (the Windows NT family and Wine; the Windows 95
  // family would delete the whole tree).
  std::string middle = base_ + "\\One\\Two";
  EXPECT_EQ(Sys().RegRemoveKey(Hkcu(), middle.c_str()), kErrAccessDenied);
  EXPECT_EQ(Sys().RegOpen(Hkcu(), deep.c_str(), kKeyRead, &opened), 0);
  Sys().RegClose(opened);

  // A key that only holds values goes.
  RegHandle two = 0;
  ASSERT_EQ(Sys().RegOpen(Hkcu(), middle.c_str(), kKeyAllAccess, &two), 0);
  EXPECT_EQ(Sys().RegSet(two, "v", kRegSz, "x", 2), 0);
  Sys().RegClose(two);
  EXPECT_EQ(Sys().RegRemoveKey(Hkcu(), deep.c_str()), 0);
  EXPECT_EQ(Sys().RegRemoveKey(Hkcu(), middle.c_str()), 0);
  EXPECT_EQ(Sys().RegOpen(Hkcu(), middle.c_str(), kKeyRead, &opened), kErrFileNotFound);
  EXPECT_EQ(Sys().RegRemoveKey(Hkcu(), middle.c_str()), kErrFileNotFound);

  // Values.
  EXPECT_EQ(Sys().RegSet(key_, "gone", kRegSz, "x", 2), 0);
  EXPECT_EQ(Sys().RegRemoveValue(key_, "GONE"), 0);
  EXPECT_EQ(Sys().RegRemoveValue(key_, "gone"), kErrFileNotFound);
}

}  // namespace

namespace {

// What a key holds, as one answer: the created-key walk decides on it whether a key goes.
class RegistryEntriesContract : public RegistryContract {};

TEST_F(RegistryEntriesContract, KeyReportsItsValuesAndSubkeys) {
  struct {
    const char* name;
    bool value;
    bool subkey;
  } cases[] = {{"empty", false, false}, {"value only", true, false},
               {"subkey only", false, true}, {"both", true, true}};
  for (const auto& c : cases) {
    std::string path = base_ + "\\" + c.name;
    RegHandle key = 0;
    ASSERT_EQ(Sys().RegCreate(Hkcu(), path.c_str(), kKeyAllAccess, &key), 0) << c.name;
    if (c.value) {
      EXPECT_EQ(Sys().RegSet(key, "", kRegSz, "x", 2), 0) << c.name;
    }
    if (c.subkey) {
      RegHandle child = 0;
      std::string childPath = path + "\\child";
      ASSERT_EQ(Sys().RegCreate(Hkcu(), childPath.c_str(), kKeyAllAccess, &child), 0);
      Sys().RegClose(child);
    }
    bool hasValues = !c.value;
    bool hasSubkeys = !c.subkey;
    EXPECT_EQ(Sys().RegHoldsEntries(key, &hasValues, &hasSubkeys), 0) << c.name;
    EXPECT_EQ(hasValues, c.value) << c.name;
    EXPECT_EQ(hasSubkeys, c.subkey) << c.name;
    Sys().RegClose(key);
  }
}

}  // namespace
