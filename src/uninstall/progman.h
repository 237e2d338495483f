// Program Manager groups over DDE: removing the logged icons (and the groups they leave
// empty) through the shell's "PROGMAN" service, as a client. The group list and every
// group's contents are read once when the conversation opens; the copies are then marked
// as lines and groups are deleted, so that nothing is deleted twice.
#pragma once

#include <cstddef>
#include <cstdint>

// At most this many group texts are kept; the slot after the last used one stays null.
constexpr int kGroupTableSlots = 128;

// The conversation and the groups read at its start.
struct ProgmanState {
  bool started = false;    // DDE initialised (DdeStart succeeded)
  bool connected = false;  // a conversation with "PROGMAN" exists
  char* groupList = nullptr;                // the answer to "GROUPS", in the arena
  char* GroupTable[kGroupTableSlots] = {};  // group contents texts, in the arena
};

extern ProgmanState gProgman;

// Initialises DDE, connects to "PROGMAN" and reads the group list and every group's
// contents into the arena. Any failure leaves no conversation; later calls then do nothing.
void OpenProgmanConversation();

// Removes every group line that matches the icon Icons[index] (by command line in any
// group, or by group name and title), and deletes the groups this leaves empty, except
// "STARTUP".
void RemoveProgmanIcon(int32_t index);

// Deletes the group of the icon Icons[index] when it holds nothing (except "STARTUP"): a
// run killed between a group's last icon and the group leaves it so, and the run that
// finishes the job finds no icon left to lead it there.
void RemoveProgmanGroupLeftEmpty(int32_t index);

// One execute transaction; nothing without a conversation. The outcome is not examined.
void SendProgmanCommand(const char* command);

// True when the group's contents text has no unmarked item line left; the text is then
// marked ('*' over its first character) so that it is not deleted twice.
bool GroupIsEmpty(char* contents);

// Ends what OpenProgmanConversation began: disconnects, clears the action line, and
// uninitialises DDE.
void CloseProgmanConversation();
