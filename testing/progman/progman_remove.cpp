// progman_remove: runs the uninstaller's icon removal (open the conversation, remove each
// icon, close) over the real DDE client of the Win32 back-end, for the Wine end-to-end
// check against progman_standin. Each argument is one logged icon: "group|title|command".
// Exit 0 after the removal, 2 on a malformed argument.
#include <cstdio>
#include <cstring>

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "ui/console_ui.h"
#include "uninstall/progman.h"

namespace {

// Splits "group|title|command" into the icon's three fields.
bool AddIcon(const char* argument) {
  const char* first = strchr(argument, '|');
  if (first == nullptr) return false;
  const char* second = strchr(first + 1, '|');
  if (second == nullptr) return false;
  IconItem* icon = NewItem<IconItem>();
  icon->group.SetPart(argument, static_cast<size_t>(first - argument));
  icon->title.SetPart(first + 1, static_cast<size_t>(second - first - 1));
  icon->command.Set(second + 1);
  AppendItem(gStore.Icons, icon);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  static Win32Platform platform;
  static ConsoleUi ui;  // no windows: the removal shows nothing and asks nothing
  InstallPlatform(&platform);
  InstallUserInterface(&ui);
  LoadTextRules();
  ResetRunState();
  ResetItemStore();
  for (int i = 1; i < argc; ++i) {
    if (!AddIcon(argv[i])) {
      fprintf(stderr, "progman_remove: expected group|title|command, got %s\n", argv[i]);
      return 2;
    }
  }
  OpenProgmanConversation();
  printf("connected=%d groups=", gProgman.connected ? 1 : 0);
  int groups = 0;
  while (groups < kGroupTableSlots && gProgman.GroupTable[groups] != nullptr) ++groups;
  printf("%d\n", groups);
  for (int32_t i = 0; i < gStore.Icons.count; ++i) RemoveProgmanIcon(i);
  CloseProgmanConversation();
  ArenaRelease();
  return 0;
}
