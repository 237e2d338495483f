// ParseCommandLine: switches, then the log path (quoted or not), then the title.
#include "run/command_line.h"

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"

namespace {

// Reads the switches at the start of the line and returns the position after them. The
// first "/" that names no switch stays in place: it begins the log path.
char* ReadSwitches(char* p) {
  while (*p == '/') {
    char letter = p[1];
    bool skipWord = false;
    switch (UpperAscii(letter)) {
      case 'Z':
        // Only the lower-case form selects the clean-up run; the upper-case /Z matters
        // solely at the very start of the line, where start-up looks for it.
        if (letter == 'z') {
          gRun.cleanupRun = true;
          if (p[2] == '1') {
            gRun.rebootNeeded = true;
            ++p;
          }
        }
        break;
      case 'A': gRun.automatic = true; break;
      case 'S':
        gRun.silent = true;
        gRun.automatic = true;
        break;
      case 'R': gRun.rollbackChosen = true; break;
      case 'U': gRun.startAtFinish = true; break;
      case 'W':
        gRun.launchShortcut = ReadDecimal(p + 2);
        skipWord = true;
        break;
      default: return p;
    }
    p += 2;
    // The number of /W and whatever else stands in its word up to the next space.
    if (skipWord) {
      while (*p != '\0' && *p != ' ') ++p;
    }
    while (*p == ' ') ++p;
  }
  return p;
}

// Takes title as the command title; an empty title counts as none.
void SetTitle(const char* title) {
  gRun.commandTitle.Set(title);
  gRun.hasCommandTitle = !gRun.commandTitle.Empty();
}

}  // namespace

void ParseCommandLine(const char* commandLine) {
  char line[256];
  CopyText(line, sizeof line, commandLine != nullptr ? commandLine : "");

  char* p = ReadSwitches(line);
  while (*p == ' ') ++p;

  char path[256];
  if (*p == '"') {
    // The path runs to the last double quote of the line, so a quote inside a title that
    // is itself quoted belongs to the path; what follows the closing quote is the title.
    char* start = p + 1;
    char* closing = nullptr;
    for (char* q = start; *q != '\0'; q = NextChar(q)) {
      if (*q == '"') closing = q;
    }
    if (closing != nullptr) {
      *closing = '\0';
      char* title = closing + 1;
      while (*title == ' ') ++title;
      SetTitle(title);
    }
    CopyText(path, sizeof path, start);
    // The short form has no spaces, so the split below leaves the path whole when the
    // file system knows it.
    NormalizePath(path, sizeof path, false);
  } else {
    CopyText(path, sizeof path, p);
  }

  if (!gRun.cleanupRun) {
    // A clean-up run carries two paths separated by a space; every other run ends its
    // path at the first space and takes the rest as the title.
    char* space = FindChar(path, ' ');
    if (space != nullptr) {
      *space = '\0';
      char* title = space + 1;
      if (*title == '"') ++title;
      char* last = nullptr;
      for (char* q = title; *q != '\0'; q = NextChar(q)) last = q;
      if (last != nullptr && *last == '"') *last = '\0';
      SetTitle(title);
    }
  }

  gRun.logPath.Set(path);
  if (gRun.cleanupRun) gRun.cleanupArguments.Set(path);
}
