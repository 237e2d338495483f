// progman_standin: a Program Manager stand-in for the end-to-end tests under Wine. Wine's
// own shell answers the "GROUPS" request but leaves a request for one group's contents
// unanswered, so icon removal cannot be checked against it. This program serves "PROGMAN"
// and answers, in the text form the uninstaller reads:
//   - request "GROUPS": every group name followed by CR LF;
//   - request <group name>: the header line "\"Name\",path,count" and one line per item,
//     "\"Title\",\"Command\",,,0,0,0,0,0", each ended by CR LF;
//   - execute [CreateGroup(name)] [ShowGroup(name,n)] [AddItem(command,title)]
//     [DeleteItem(title)] [DeleteGroup(name)], several in one transaction allowed.
//
// Usage: progman_standin STATE [--stop FILE] [--ready FILE] [--timeout SECONDS] [--log FILE]
//
// STATE is a text file that seeds the groups at start and is rewritten after every change,
// so that a test can prepare groups and read them back. One record per line:
//   G<TAB>group name[<TAB>group path]
//   I<TAB>title<TAB>command          (an item of the last group above)
// Lines starting with '#' and blank lines are ignored. The program ends when the stop file
// exists or the time-out has passed (default 120 s). The ready file is written once the
// service is registered. The log file receives every request and execute command.
//
// The server speaks the DDE messages itself from a hidden top-level window instead of using
// the DDE management library: Wine's library answers a request with the data and then an
// extra acknowledgement, which the client takes as the (empty) answer to its next request,
// so every second request of a conversation fails. That is also why Wine's shell seems to
// ignore group requests (they follow "GROUPS" in the same conversation). A client that
// connects to "PROGMAN" reaches the server whose window was created last, so this program
// must start after Wine's desktop (explorer.exe) is up.
#include <windows.h>
#include <dde.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Item {
  std::string title;
  std::string command;
};

struct Group {
  std::string name;
  std::string path;
  std::vector<Item> items;
};

struct StandIn {
  HWND window = nullptr;
  std::vector<Group> groups;
  int active = -1;  // index of the group that ShowGroup or CreateGroup made active
  std::string stateFile;
  std::string logFile;
};

StandIn gStandIn;

bool SameText(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

int FindGroup(const std::string& name) {
  for (size_t i = 0; i < gStandIn.groups.size(); ++i) {
    if (SameText(gStandIn.groups[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

void Log(const char* kind, const std::string& text) {
  if (gStandIn.logFile.empty()) return;
  FILE* file = fopen(gStandIn.logFile.c_str(), "ab");
  if (file == nullptr) return;
  fprintf(file, "%s %s\n", kind, text.c_str());
  fclose(file);
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

bool LoadState() {
  FILE* file = fopen(gStandIn.stateFile.c_str(), "rb");
  if (file == nullptr) return true;  // no file: start without groups
  char buffer[4096];
  while (fgets(buffer, sizeof buffer, file) != nullptr) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields = SplitTabs(line);
    if (fields[0] == "G" && fields.size() >= 2) {
      gStandIn.groups.push_back({fields[1], fields.size() >= 3 ? fields[2] : std::string(), {}});
    } else if (fields[0] == "I" && fields.size() >= 3 && !gStandIn.groups.empty()) {
      gStandIn.groups.back().items.push_back({fields[1], fields[2]});
    } else {
      fprintf(stderr, "progman_standin: unreadable state line: %s\n", line.c_str());
      fclose(file);
      return false;
    }
  }
  fclose(file);
  return true;
}

void SaveState() {
  std::string temporary = gStandIn.stateFile + ".tmp";
  FILE* file = fopen(temporary.c_str(), "wb");
  if (file == nullptr) return;
  for (const Group& group : gStandIn.groups) {
    fprintf(file, "G\t%s", group.name.c_str());
    if (!group.path.empty()) fprintf(file, "\t%s", group.path.c_str());
    fprintf(file, "\n");
    for (const Item& item : group.items) {
      fprintf(file, "I\t%s\t%s\n", item.title.c_str(), item.command.c_str());
    }
  }
  fclose(file);
  // Replace in one step so that a reader never sees half a file.
  MoveFileExA(temporary.c_str(), gStandIn.stateFile.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::string GroupListText() {
  std::string text;
  for (const Group& group : gStandIn.groups) text += group.name + "\r\n";
  return text;
}

std::string GroupContentsText(const Group& group) {
  std::string text = "\"" + group.name + "\"," + group.path + "," +
                     std::to_string(group.items.size()) + "\r\n";
  for (const Item& item : group.items) {
    text += "\"" + item.title + "\",\"" + item.command + "\",,,0,0,0,0,0\r\n";
  }
  return text;
}

// Splits the argument text of one command at commas outside double quotes, as Program
// Manager does: a name holding a comma must come quoted. Quotes are removed and blanks
// around an unquoted argument trimmed.
std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> raw(1);
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      raw.emplace_back();
    } else {
      raw.back() += c;
    }
  }
  std::vector<std::string> arguments;
  for (const std::string& part : raw) {
    size_t first = part.find_first_not_of(' ');
    size_t last = part.find_last_not_of(' ');
    std::string argument =
        (first == std::string::npos) ? std::string() : part.substr(first, last - first + 1);
    if (argument.size() >= 2 && argument.front() == '"' && argument.back() == '"') {
      argument = argument.substr(1, argument.size() - 2);
    }
    arguments.push_back(argument);
  }
  return arguments;
}

// Runs one command; true when it was understood and carried out.
bool RunCommand(const std::string& verb, const std::string& argumentText) {
  std::vector<std::string> arguments = SplitArguments(argumentText);
  if (SameText(verb, "CreateGroup")) {
    std::string name = arguments[0];
    int index = FindGroup(name);
    if (index < 0) {
      gStandIn.groups.push_back({name, arguments.size() > 1 ? arguments[1] : std::string(), {}});
      index = static_cast<int>(gStandIn.groups.size()) - 1;
    }
    gStandIn.active = index;
    return true;
  }
  if (SameText(verb, "ShowGroup")) {
    int index = FindGroup(arguments[0]);
    if (index < 0) return false;
    gStandIn.active = index;
    return true;
  }
  if (SameText(verb, "AddItem")) {
    if (gStandIn.active < 0) return false;
    Item item{arguments.size() > 1 ? arguments[1] : std::string(), arguments[0]};
    if (item.title.empty()) {
      // Without a title the item is named after the command's file name.
      size_t slash = item.command.find_last_of('\\');
      item.title = item.command.substr(slash == std::string::npos ? 0 : slash + 1);
    }
    gStandIn.groups[gStandIn.active].items.push_back(item);
    return true;
  }
  if (SameText(verb, "DeleteItem")) {
    if (gStandIn.active < 0) return false;
    const std::string& title = arguments[0];
    std::vector<Item>& items = gStandIn.groups[gStandIn.active].items;
    for (size_t i = 0; i < items.size(); ++i) {
      if (SameText(items[i].title, title)) {
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
      }
    }
    return false;
  }
  if (SameText(verb, "DeleteGroup")) {
    int index = FindGroup(arguments[0]);
    if (index < 0) return false;
    gStandIn.groups.erase(gStandIn.groups.begin() + index);
    if (gStandIn.active == index) {
      gStandIn.active = -1;
    } else if (gStandIn.active > index) {
      --gStandIn.active;
    }
    return true;
  }
  return false;
}

// Runs every "[Verb(arguments)]" of an execute string; true when all were carried out.
bool RunExecute(const std::string& text) {
  bool all = true;
  size_t at = 0;
  bool any = false;
  while ((at = text.find('[', at)) != std::string::npos) {
    size_t open = text.find('(', at);
    size_t close = text.find(")]", at);
    if (open == std::string::npos || close == std::string::npos || open > close) return false;
    std::string verb = text.substr(at + 1, open - at - 1);
    std::string arguments = text.substr(open + 1, close - open - 1);
    if (!RunCommand(verb, arguments)) all = false;
    any = true;
    at = close + 2;
  }
  if (any) SaveState();
  return any && all;
}

std::string AtomText(ATOM atom) {
  char buffer[1024] = {};
  if (atom != 0) GlobalGetAtomNameA(atom, buffer, sizeof buffer);
  return buffer;
}

// WM_DDE_INITIATE: acknowledge (by sending, as the protocol asks) when the service and
// the topic are "PROGMAN" or left open. The atoms of the answer are new; the client
// deletes them.
void AnswerInitiate(HWND client, LPARAM lParam) {
  std::string service = AtomText(LOWORD(lParam));
  std::string topic = AtomText(HIWORD(lParam));
  if ((!service.empty() && !SameText(service, "PROGMAN")) ||
      (!topic.empty() && !SameText(topic, "PROGMAN"))) {
    return;
  }
  ATOM serviceAtom = GlobalAddAtomA("PROGMAN");
  ATOM topicAtom = GlobalAddAtomA("PROGMAN");
  SendMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(gStandIn.window),
               MAKELPARAM(serviceAtom, topicAtom));
}

// WM_DDE_REQUEST: the answer as WM_DDE_DATA (reusing the item atom), or a negative
// acknowledgement, never both.
void AnswerRequest(HWND client, LPARAM lParam) {
  UINT format = LOWORD(lParam);
  ATOM itemAtom = HIWORD(lParam);
  std::string name = AtomText(itemAtom);
  Log("REQUEST", name);
  std::string text;
  bool found = false;
  if (format == CF_TEXT) {
    if (SameText(name, "GROUPS")) {
      text = GroupListText();
      found = true;
    } else {
      int index = FindGroup(name);
      if (index >= 0) {
        text = GroupContentsText(gStandIn.groups[index]);
        found = true;
      }
    }
  }
  WPARAM self = reinterpret_cast<WPARAM>(gStandIn.window);
  if (found) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(DDEDATA) + text.size() + 1);
    DDEDATA* data = memory != nullptr ? static_cast<DDEDATA*>(GlobalLock(memory)) : nullptr;
    if (data != nullptr) {
      memset(data, 0, sizeof(DDEDATA));
      data->fResponse = 1;
      data->fRelease = 1;  // the client frees the data
      data->cfFormat = CF_TEXT;
      memcpy(data->Value, text.c_str(), text.size() + 1);
      GlobalUnlock(memory);
      LPARAM packed = PackDDElParam(WM_DDE_DATA, reinterpret_cast<UINT_PTR>(memory), itemAtom);
      if (PostMessageA(client, WM_DDE_DATA, self, packed)) return;
      FreeDDElParam(WM_DDE_DATA, packed);
    }
    if (memory != nullptr) GlobalFree(memory);
  }
  LPARAM packed = PackDDElParam(WM_DDE_ACK, 0, itemAtom);
  if (!PostMessageA(client, WM_DDE_ACK, self, packed)) {
    FreeDDElParam(WM_DDE_ACK, packed);
    GlobalDeleteAtom(itemAtom);
  }
}

// WM_DDE_EXECUTE: run the commands and acknowledge, handing the command memory back.
void AnswerExecute(HWND client, LPARAM lParam) {
  HGLOBAL commands = reinterpret_cast<HGLOBAL>(lParam);
  std::string text;
  const char* locked = static_cast<const char*>(GlobalLock(commands));
  if (locked != nullptr) {
    text.assign(locked, strnlen(locked, GlobalSize(commands)));
    GlobalUnlock(commands);
  }
  Log("EXECUTE", text);
  UINT_PTR status = RunExecute(text) ? 0x8000 : 0;  // fAck
  LPARAM packed = PackDDElParam(WM_DDE_ACK, status, reinterpret_cast<UINT_PTR>(commands));
  if (!PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(gStandIn.window), packed)) {
    FreeDDElParam(WM_DDE_ACK, packed);
  }
}

LRESULT CALLBACK ServerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND client = reinterpret_cast<HWND>(wParam);
  switch (message) {
    case WM_DDE_INITIATE:
      AnswerInitiate(client, lParam);
      return 0;
    case WM_DDE_REQUEST:
      AnswerRequest(client, lParam);
      return 0;
    case WM_DDE_EXECUTE:
      AnswerExecute(client, lParam);
      return 0;
    case WM_DDE_TERMINATE:
      PostMessageA(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
      return 0;
    case WM_DDE_ADVISE:
    case WM_DDE_UNADVISE:
    case WM_DDE_POKE: {
      // Not served: a negative acknowledgement, so that the client does not wait.
      UINT_PTR low = 0;
      UINT_PTR high = 0;
      UnpackDDElParam(message, lParam, &low, &high);
      FreeDDElParam(message, lParam);
      PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                   PackDDElParam(WM_DDE_ACK, 0, high));
      return 0;
    }
    case WM_DDE_ACK:
      FreeDDElParam(message, lParam);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

bool FileThere(const std::string& path) {
  return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char** argv) {
  std::string stopFile;
  std::string readyFile;
  DWORD timeoutSeconds = 120;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    bool hasValue = i + 1 < argc;
    if (argument == "--stop" && hasValue) {
      stopFile = argv[++i];
    } else if (argument == "--ready" && hasValue) {
      readyFile = argv[++i];
    } else if (argument == "--timeout" && hasValue) {
      timeoutSeconds = static_cast<DWORD>(strtoul(argv[++i], nullptr, 10));
    } else if (argument == "--log" && hasValue) {
      gStandIn.logFile = argv[++i];
    } else if (gStandIn.stateFile.empty() && argument[0] != '-') {
      gStandIn.stateFile = argument;
    } else {
      fprintf(stderr, "usage: progman_standin STATE [--stop FILE] [--ready FILE] "
                      "[--timeout SECONDS] [--log FILE]\n");
      return 2;
    }
  }
  if (gStandIn.stateFile.empty()) {
    fprintf(stderr, "progman_standin: no state file given\n");
    return 2;
  }
  if (!LoadState()) return 2;

  // A top-level window (hidden) receives the broadcast WM_DDE_INITIATE of every client.
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ServerWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "ProgmanStandIn";
  if (RegisterClassA(&windowClass) == 0) {
    fprintf(stderr, "progman_standin: cannot register the window class\n");
    return 1;
  }
  gStandIn.window = CreateWindowExA(0, windowClass.lpszClassName, "Program Manager stand-in",
                                    WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
  if (gStandIn.window == nullptr) {
    fprintf(stderr, "progman_standin: cannot create the server window\n");
    return 1;
  }
  if (!readyFile.empty()) {
    FILE* ready = fopen(readyFile.c_str(), "wb");
    if (ready != nullptr) fclose(ready);
  }

  // The conversation runs on window messages of this thread; a thread timer checks the
  // stop conditions.
  UINT_PTR timer = SetTimer(nullptr, 0, 200, nullptr);
  DWORD started = GetTickCount();
  DWORD timeoutMs = timeoutSeconds * 1000;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (message.message == WM_TIMER && (FileThere(stopFile) || GetTickCount() - started >= timeoutMs)) {
      break;
    }
  }
  KillTimer(nullptr, timer);
  DestroyWindow(gStandIn.window);
  return 0;
}
