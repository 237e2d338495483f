// Scratch directories and whole-file helpers of the contract suite.
#include "contract/contract_support.h"

#include <algorithm>
#include <cstring>

bool gUnderWine = false;

std::string UpperAsciiText(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

void ContractTest::SetUp() {
  char temp[260];
  ASSERT_GT(Sys().TempDirectory(temp, sizeof temp), 0);
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  scratch_ = std::string(temp) + "ktmc_" + info->test_suite_name() + "_" + info->name();
  RemoveTree(scratch_);  // a run that was killed may have left it behind
  ASSERT_EQ(Sys().MakeDirectory(scratch_.c_str()), 0) << scratch_;
}

void ContractTest::TearDown() {
  if (scratch_.empty()) return;
  RemoveTree(scratch_);
  EXPECT_FALSE(Exists(scratch_)) << "scratch directory left behind: " << scratch_;
}

int WriteWholeFile(const std::string& path, const std::string& contents) {
  FileHandle file = Sys().CreateTruncated(path.c_str());
  if (file == kNoFile) return static_cast<int>(Sys().LastError());
  int written = Sys().WriteBytes(file, contents.data(), static_cast<uint32_t>(contents.size()));
  Sys().CloseFile(file);
  return written == static_cast<int>(contents.size()) ? 0 : kErrGeneric;
}

std::string ReadWholeFile(const std::string& path, bool* ok) {
  std::string contents;
  FileHandle file = Sys().OpenForRead(path.c_str());
  if (ok != nullptr) *ok = file != kNoFile;
  if (file == kNoFile) return contents;
  char block[4096];
  for (;;) {
    int got = Sys().ReadBytes(file, block, sizeof block);
    if (got <= 0) {
      if (got < 0 && ok != nullptr) *ok = false;
      break;
    }
    contents.append(block, static_cast<size_t>(got));
  }
  Sys().CloseFile(file);
  return contents;
}

bool Exists(const std::string& path) { return Sys().GetAttributes(path.c_str()) != kNoAttributes; }

void RemoveTree(const std::string& path) {
  uint32_t attributes = Sys().GetAttributes(path.c_str());
  if (attributes == kNoAttributes) return;
  if ((attributes & kAttrDirectory) == 0) {
    Sys().SetAttributes(path.c_str(), kAttrNormal);
    Sys().RemoveFile(path.c_str());
    return;
  }
  std::vector<std::string> children;
  FindEntry entry;
  SearchHandle search = Sys().FindFirst((path + "\\*.*").c_str(), &entry);
  if (search != kNoSearch) {
    do {
      if (strcmp(entry.name, ".") != 0 && strcmp(entry.name, "..") != 0) {
        children.push_back(path + "\\" + entry.name);
      }
    } while (Sys().FindNext(search, &entry) == 0);
    Sys().FindEnd(search);
  }
  for (const std::string& child : children) RemoveTree(child);
  Sys().SetAttributes(path.c_str(), kAttrNormal);
  Sys().RemoveEmptyDirectory(path.c_str());
}

std::vector<std::string> SearchNames(const std::string& pattern) {
  std::vector<std::string> names;
  FindEntry entry;
  SearchHandle search = Sys().FindFirst(pattern.c_str(), &entry);
  if (search == kNoSearch) return names;
  do {
    if (strcmp(entry.name, ".") != 0 && strcmp(entry.name, "..") != 0) names.push_back(entry.name);
  } while (Sys().FindNext(search, &entry) == 0);
  Sys().FindEnd(search);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return UpperAsciiText(a) < UpperAsciiText(b);
  });
  return names;
}

void RemoveRegTree(RegHandle root, const std::string& path) {
  RegHandle key = 0;
  if (Sys().RegOpen(root, path.c_str(), kKeyAllAccess, &key) != 0) return;
  std::vector<std::string> children;
  for (uint32_t index = 0;; ++index) {
    char name[256];
    uint32_t size = sizeof name;
    if (Sys().RegEnumKeyAt(key, index, name, &size) != 0) break;
    children.push_back(name);
  }
  Sys().RegClose(key);
  for (const std::string& child : children) RemoveRegTree(root, path + "\\" + child);
  Sys().RegRemoveKey(root, path.c_str());
}
