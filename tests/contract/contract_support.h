// Helpers of the platform contract suite. Everything here goes through Sys(), so the same
// helpers serve the simulated machine and the real one. Each test works in a scratch
// directory of its own under the temporary directory, which is removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

// True when the suite runs on Wine rather than Windows or the simulated machine. Set by the
// Windows main; tests use it only to mark where Wine is known to differ from Windows, so
// that a Wine that catches up fails the marked check and is noticed.
extern bool gUnderWine;

class ContractTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The scratch directory, without a trailing backslash, and a path inside it.
  const std::string& Scratch() const { return scratch_; }
  std::string PathOf(const std::string& name) const { return scratch_ + "\\" + name; }

 private:
  std::string scratch_;
};

// Creates (or replaces) a file with the given bytes; 0 on success.
int WriteWholeFile(const std::string& path, const std::string& contents);
// The whole contents of a file; *ok tells whether it could be read.
std::string ReadWholeFile(const std::string& path, bool* ok = nullptr);
bool Exists(const std::string& path);
// Removes a directory tree, clearing read-only attributes on the way; best effort.
void RemoveTree(const std::string& path);
// The names a search produces, "." and ".." left out, sorted without regard to case.
std::vector<std::string> SearchNames(const std::string& pattern);
// Upper-cases ASCII letters (for comparisons of names whose case a back-end may choose).
std::string UpperAsciiText(std::string text);
// Deletes a registry key and everything below it; best effort.
void RemoveRegTree(RegHandle root, const std::string& path);
