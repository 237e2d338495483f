// Program Manager groups over DDE. The conversation opens once for the driver's pass over
// the Icons list: the group list and each group's contents are read into the arena, and
// every icon is then looked up in those copies. A deleted item line and an emptied group
// are marked with '*' in the copies, which is what keeps a second icon from deleting the
// same line again or deleting a group twice. The service's answers are outside text: every
// walk stops at the end of a line or the terminator, and names are taken only whole.
#include "uninstall/progman.h"

#include <cstdio>
#include <cstring>

#include "base/fixed_text.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/platform.h"
#include "ui/progress_display.h"

ProgmanState gProgman;

namespace {

constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr uint32_t kExecuteTimeoutMs = 1000;

// Names, titles and command lines are held in 256 bytes.
using DdeName = FixedText<256>;

bool IsLineEnd(char c) { return c == '\0' || c == '\r' || c == '\n'; }

// The start of the line after the one at p: past the line's text and every CR and LF.
char* NextLine(char* p) {
  while (!IsLineEnd(*p)) p = NextChar(p);
  while (*p == '\r' || *p == '\n') ++p;
  return p;
}

// Reads the double-quoted field whose opening quote is at p into out. Returns the position
// after the closing quote, or null when the line has no closing quote or the field does
// not fit (a cut name could stand for another group or item, so it is never used).
const char* ReadQuoted(const char* p, DdeName& out) {
  const char* start = p + 1;
  const char* q = start;
  while (*q != '"') {
    if (IsLineEnd(*q)) return nullptr;
    q = NextChar(q);
  }
  size_t length = static_cast<size_t>(q - start);
  if (length >= DdeName::kCapacity) return nullptr;
  out.SetPart(start, length);
  return q + 1;
}

// Requests one item in text form and keeps the answer in the arena; null without answer.
// At most kScratchBufferSize - 1 characters of an answer are used.
char* RequestIntoArena(const char* item) {
  char* buffer = gRun.scratchBuffer;
  buffer[0] = '\0';
  int copied = Sys().DdeRequestText(item, buffer, kScratchBufferSize, kRequestTimeoutMs);
  if (copied < 0) return nullptr;
  if (static_cast<size_t>(copied) < kScratchBufferSize) buffer[copied] = '\0';
  buffer[kScratchBufferSize - 1] = '\0';
  return ArenaCopy(buffer);
}

// Sends the command with a name as its argument. A name holding a comma or a parenthesis
// goes in double quotes: unquoted, the service would read "Read me, first" as the two
// arguments "Read me" and "first", and delete a foreign item called "Read me" instead.
void SendWithName(const char* format, const char* name) {
  bool needsQuotes = strpbrk(name, ",()[]") != nullptr && strchr(name, '"') == nullptr;
  char argument[DdeName::kCapacity + 2];
  snprintf(argument, sizeof argument, needsQuotes ? "\"%s\"" : "%s", name);
  char command[sizeof argument + 32];
  snprintf(command, sizeof command, format, argument);
  SendProgmanCommand(command);
}

}  // namespace

void OpenProgmanConversation() {
  gProgman = ProgmanState();
  Platform& sys = Sys();
  if (sys.DdeStart() != 0) return;
  gProgman.started = true;
  if (sys.DdeConnectTo("PROGMAN") != 0) return;
  gProgman.connected = true;

  char* list = RequestIntoArena("GROUPS");
  if (list == nullptr) return;
  gProgman.groupList = list;

  int used = 0;
  char* line = list;
  while (*line != '\0' && used < kGroupTableSlots - 1) {
    char* end = line;
    while (!IsLineEnd(*end)) end = NextChar(end);
    size_t length = static_cast<size_t>(end - line);
    // Blank lines name no group; an over-long name could only be requested cut, which
    // might fetch another group's contents.
    if (length > 0 && length < DdeName::kCapacity) {
      DdeName name;
      name.SetPart(line, length);
      char* contents = RequestIntoArena(name.c_str());
      if (contents != nullptr) gProgman.GroupTable[used++] = contents;
    }
    line = NextLine(line);
  }
}

void RemoveProgmanIcon(int32_t index) {
  if (index < 0 || index >= gStore.Icons.count) return;
  const IconItem& icon = *gStore.Icons[index];

  for (int slot = 0; slot < kGroupTableSlots; ++slot) {
    char* text = gProgman.GroupTable[slot];
    if (text == nullptr) break;
    if (text[0] != '"') continue;  // marked as deleted, or not a group header

    DdeName group;
    if (ReadQuoted(text, group) == nullptr) continue;

    for (char* line = NextLine(text); *line != '\0'; line = NextLine(line)) {
      if (line[0] != '"') continue;
      DdeName title;
      const char* p = ReadQuoted(line, title);
      if (p == nullptr || p[0] != ',' || p[1] != '"') continue;
      DdeName command;
      if (ReadQuoted(p + 1, command) == nullptr) continue;

      // An icon logged without a command line must not match every such item.
      bool sameCommand =
          !icon.command.Empty() && EqualNoCase(command.c_str(), icon.command.c_str());
      bool sameTitle = EqualNoCase(group.c_str(), icon.group.c_str()) &&
                       EqualNoCase(title.c_str(), icon.title.c_str());
      if (!sameCommand && !sameTitle) continue;

      line[0] = '*';
      // The two ShowGroup commands make the group the active one, on which DeleteItem acts.
      SendWithName("[ShowGroup(%s,2)]", group.c_str());
      SendWithName("[ShowGroup(%s,1)]", group.c_str());
      SendWithName("[DeleteItem(%s)]", title.c_str());
      if (GroupIsEmpty(text) && !EqualNoCase(group.c_str(), "STARTUP")) {
        SendWithName("[DeleteGroup(%s)]", group.c_str());
      }
    }
  }
}

void RemoveProgmanGroupLeftEmpty(int32_t index) {
  if (index < 0 || index >= gStore.Icons.count) return;
  const IconItem& icon = *gStore.Icons[index];
  if (EqualNoCase(icon.group.c_str(), "STARTUP")) return;
  for (int slot = 0; slot < kGroupTableSlots; ++slot) {
    char* text = gProgman.GroupTable[slot];
    if (text == nullptr) break;
    if (text[0] != '"') continue;
    DdeName group;
    if (ReadQuoted(text, group) == nullptr || !EqualNoCase(group.c_str(), icon.group.c_str()))
      continue;
    if (GroupIsEmpty(text)) SendWithName("[DeleteGroup(%s)]", group.c_str());
  }
}

void SendProgmanCommand(const char* command) {
  if (!gProgman.connected) return;
  Sys().DdeExecuteText(command, kExecuteTimeoutMs);
}

bool GroupIsEmpty(char* contents) {
  for (char* line = NextLine(contents); *line != '\0'; line = NextLine(line)) {
    if (line[0] == '"') return false;
  }
  // An empty text has no first character to mark (its terminator must stay).
  if (contents[0] != '\0') contents[0] = '*';
  return true;
}

void CloseProgmanConversation() {
  Platform& sys = Sys();
  if (gProgman.connected) sys.DdeDisconnectNow();
  ShowAction(nullptr);
  if (gProgman.started) sys.DdeStop();
  gProgman.started = false;
  gProgman.connected = false;
}
