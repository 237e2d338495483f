// Shell link re-creation: the link description the log records ("Link Info: ", seven
// fields separated by '|'), read into the settings of a link, the folders on the way to
// the link made again, and the link written through the platform's shell.
#pragma once

#include <cstddef>
#include <cstdint>

// Each field of a description is held in a buffer of this size (519 characters).
constexpr size_t kLinkFieldSize = 520;

struct ShellLinkSpec {
  char target[kLinkFieldSize];
  char workingDirectory[kLinkFieldSize];
  char iconPath[kLinkFieldSize];
  int iconIndex;
  int showCommand;  // the lowest three bits of the logged number
  uint16_t hotKey;  // 0 when the logged low byte (the virtual key) is 0
  char arguments[kLinkFieldSize];
};

// Reads a description. Returns 0, or 1 when a field is longer than its buffer: a cut
// target, folder or argument list would make a link that does something else, so such a
// link is not made at all.
int ReadShellLinkSpec(const char* text, ShellLinkSpec* spec);

// Creates every missing folder on the way to the file named by path (not the file's own
// name). Failures, such as a folder that exists or a drive, are passed over.
void CreateFolderChain(const char* path);

// Writes the link at linkPath again from its logged description, after making its folder.
// Every failure is silent. Returns 0 when the link was written.
int RecreateShellLink(const char* linkPath, const char* specText);
