// guidriver: works another process's windows by control id, so that the Wine tests can drive
// the real program's dialogs. The steps of one invocation run in order in one process; the
// first that fails ends the run. The usage text below (kUsage) is the whole interface.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: guidriver [--window TITLE|HWND] [--pid PID] [--timeout MS] STEP [STEP...]\n"
    "Options apply to the steps after them and may be given again between steps.\n"
    "  --window TITLE|HWND  the window the steps work on: a handle (0x1A2B or decimal) or a\n"
    "                       substring (any case) of a visible top-level window's caption,\n"
    "                       waited for when first needed\n"
    "  --pid PID            only windows of that (Windows) process\n"
    "  --timeout MS         time limit of the waits that follow (default 10000)\n"
    "Steps (ID: a control id, looked up among all descendants, a visible control first):\n"
    "  wait [--title T] [--class C] [--pid P] [--timeout MS]\n"
    "                       wait for a visible top-level window, print its handle; it\n"
    "                       becomes the window\n"
    "  popup [--title T] [--class C] [--timeout MS]\n"
    "                       wait for a visible top-level window that the window owns (or an\n"
    "                       unowned dialog of its process), print its handle; it becomes\n"
    "                       the window\n"
    "  caption              print the window's caption\n"
    "  text ID              print a control's text\n"
    "  settext ID TEXT      replace a control's text, as typing it into an edit field would\n"
    "  waittext ID TEXT [--timeout MS]\n"
    "                       wait until a control's text is TEXT\n"
    "  visible ID           print 1 or 0\n"
    "  enabled ID           print 1 or 0\n"
    "  checked ID           print 1, 0, or 2 for an indeterminate check box\n"
    "  click ID             click a visible, enabled control (BM_CLICK, posted)\n"
    "  check ID             click a radio button or check box until it is checked\n"
    "  uncheck ID           click a check box until it is unchecked\n"
    "  lbcount ID           print the number of entries of a list box\n"
    "  lbtext ID INDEX      print the text of an entry (the first is 0)\n"
    "  lbsel ID INDEX 0|1   deselect or select an entry; the dialog is told (LBN_SELCHANGE)\n"
    "  lbselected ID        print the indices of the selected entries, one a line\n"
    "  msgbox [--text-contains S] [--press BUTTON] [--timeout MS]\n"
    "                       wait for a message box over the window, print its text; with\n"
    "                       --press click that button (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7)\n"
    "                       and wait until the box is gone\n"
    "  keys [--post] KEY... press keys in the window: TAB ENTER ESC SPACE BACKSPACE DEL INS\n"
    "                       HOME END PGUP PGDN UP DOWN LEFT RIGHT F1..F12, a letter or a\n"
    "                       digit, each with SHIFT+, CTRL+ or ALT+ before it if needed.\n"
    "                       Sent as input after making the window the foreground window;\n"
    "                       with --post, posted to the focused control (no SHIFT+, CTRL+)\n"
    "  focus                print the id of the control that has the keyboard focus (0: none)\n"
    "  dump                 list the window and all its controls\n"
    "  waitgone [--timeout MS]\n"
    "                       wait until the window is destroyed or hidden\n"
    "  sleep MS             pause\n"
    "  mark                 start a stopwatch\n"
    "  elapsed              print the milliseconds since the last mark\n"
    "  hold MS              keep a hidden window for MS milliseconds: while a window of the\n"
    "                       session exists, Wine keeps its desktop process, which every\n"
    "                       other program's first window would otherwise start anew\n"
    "Output: one value a line; a line break inside a text is printed as \\n.\n"
    "Exit status: 0 success; 1 a window or control is missing, a wait timed out or a step\n"
    "failed (said on stderr); 2 bad usage.\n";

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr UINT kSendTimeoutMs = 5000;   // one sent message to a target that may be busy
constexpr DWORD kSettleLimitMs = 3000;  // longest wait for a target to handle a click or key
constexpr DWORD kForegroundLimitMs = 2000;
constexpr DWORD kPollMs = 20;
constexpr char kDialogClass[] = "#32770";

enum StepKind {
  kUseWindow,  // --window: not a step of its own on the command line
  kWait,
  kPopup,
  kCaption,
  kText,
  kSetText,
  kVisible,
  kEnabled,
  kChecked,
  kClick,
  kCheck,
  kUncheck,
  kLbCount,
  kLbText,
  kLbSel,
  kLbSelected,
  kMsgBox,
  kKeys,
  kFocus,
  kDump,
  kWaitGone,
  kSleep,
  kMark,
  kElapsed,
  kWaitText,
  kHold,
};

// Options a step accepts after its name.
constexpr unsigned kOptTitle = 1;
constexpr unsigned kOptClass = 2;
constexpr unsigned kOptPid = 4;
constexpr unsigned kOptTimeout = 8;
constexpr unsigned kOptTextContains = 16;
constexpr unsigned kOptPress = 32;
constexpr unsigned kOptPost = 64;

struct StepInfo {
  const char* name;
  StepKind kind;
  int numbers;  // positional numeric arguments
  unsigned options;
  bool needsWindow;
};

const StepInfo kSteps[] = {
    {"wait", kWait, 0, kOptTitle | kOptClass | kOptPid | kOptTimeout, false},
    {"popup", kPopup, 0, kOptTitle | kOptClass | kOptTimeout, true},
    {"caption", kCaption, 0, 0, true},
    {"text", kText, 1, 0, true},
    {"settext", kSetText, 1, 0, true},
    {"waittext", kWaitText, 1, kOptTimeout, true},
    {"visible", kVisible, 1, 0, true},
    {"enabled", kEnabled, 1, 0, true},
    {"checked", kChecked, 1, 0, true},
    {"click", kClick, 1, 0, true},
    {"check", kCheck, 1, 0, true},
    {"uncheck", kUncheck, 1, 0, true},
    {"lbcount", kLbCount, 1, 0, true},
    {"lbtext", kLbText, 2, 0, true},
    {"lbsel", kLbSel, 3, 0, true},
    {"lbselected", kLbSelected, 1, 0, true},
    {"msgbox", kMsgBox, 0, kOptTextContains | kOptPress | kOptTimeout, true},
    {"keys", kKeys, 0, kOptPost, true},
    {"focus", kFocus, 0, 0, true},
    {"dump", kDump, 0, 0, true},
    {"waitgone", kWaitGone, 0, kOptTimeout, true},
    {"sleep", kSleep, 1, 0, false},
    {"mark", kMark, 0, 0, false},
    {"elapsed", kElapsed, 0, 0, false},
    {"hold", kHold, 1, 0, false},
};

struct Key {
  WORD vk = 0;
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  bool extended = false;  // keys of the extended block carry the extended-key flag
};

struct Step {
  StepKind kind = kUseWindow;
  const char* name = "--window";
  std::vector<unsigned long> numbers;
  std::string window;  // kUseWindow: a handle or a caption substring
  std::string title;
  std::string className;
  std::string textContains;
  std::string newText;  // settext, waittext
  DWORD pid = 0;
  DWORD timeoutMs = kDefaultTimeoutMs;
  int press = 0;
  bool post = false;
  std::vector<Key> keys;
};

// ---------------------------------------------------------------- small helpers

int Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fputs("guidriver: ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
  return kExitFailed;
}

int UsageError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fputs("guidriver: ", stderr);
  vfprintf(stderr, format, args);
  fputs("\n(guidriver --help shows the usage)\n", stderr);
  va_end(args);
  return kExitUsage;
}

// A line break inside a value would split it over lines of the output, where a test reads
// one value a line.
void PrintValue(const std::string& value) {
  std::string line;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
    if (value[i] == '\r' || value[i] == '\n') {
      line += "\\n";
    } else {
      line += value[i];
    }
  }
  printf("%s\n", line.c_str());
  fflush(stdout);
}

void PrintNumber(long value) {
  printf("%ld\n", value);
  fflush(stdout);
}

std::string HandleText(HWND window) {
  char text[32];
  snprintf(text, sizeof(text), "0x%lX",
           static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
  return text;
}

// Accepts decimal and 0x hexadecimal; the whole text must be the number.
bool ParseNumber(const char* text, unsigned long* value) {
  if (text == nullptr || *text == '\0' || *text == '-' || *text == '+') return false;
  char* end = nullptr;
  unsigned long parsed = strtoul(text, &end, 0);
  if (end == nullptr || *end != '\0') return false;
  *value = parsed;
  return true;
}

bool SameTextIgnoringCase(const std::string& a, const char* b) {
  return lstrcmpiA(a.c_str(), b) == 0;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool ContainsIgnoringCase(const std::string& text, const std::string& part) {
  if (part.empty()) return true;
  for (size_t start = 0; start + part.size() <= text.size(); ++start) {
    size_t i = 0;
    while (i < part.size() && UpperAscii(text[start + i]) == UpperAscii(part[i])) ++i;
    if (i == part.size()) return true;
  }
  return false;
}

// Polls until done() holds or the time is up; true when done() held.
template <typename Done>
bool PollUntil(DWORD timeoutMs, Done done) {
  DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

std::string ClassOf(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof(name));
  return name;
}

// Sent, not read from the window record: an edit control keeps its text itself, and the
// system carries WM_GETTEXT's buffer across processes.
bool ReadText(HWND window, std::string* text) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &length)) {
    return false;
  }
  std::vector<char> buffer(length + 2, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(&buffer[0]),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return false;
  }
  text->assign(&buffer[0], copied < buffer.size() ? copied : buffer.size() - 1);
  return true;
}

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &answer)) {
    return false;
  }
  *result = static_cast<LRESULT>(answer);
  return true;
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

// ---------------------------------------------------------------- windows and controls

// Collects every window it is called for (a window enumeration's callback, which the
// 32-bit system calls with the stdcall convention: a lambda would not do there).
BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// Every descendant, parents before their children.
std::vector<HWND> Descendants(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, CollectWindow, reinterpret_cast<LPARAM>(&children));
  return children;
}

struct WindowQuery {
  std::string title;  // caption substring, any case
  std::string className;
  DWORD pid = 0;
};

bool Matches(HWND window, const WindowQuery& query) {
  if (!IsWindowVisible(window)) return false;
  if (query.pid != 0 && ProcessOf(window) != query.pid) return false;
  if (!query.className.empty() && !SameTextIgnoringCase(ClassOf(window), query.className.c_str())) {
    return false;
  }
  if (!query.title.empty()) {
    // The caption as the system keeps it: asking the window would wait for a program that
    // is busy (one that loads a file without dispatching), up to the send timeout per window.
    char caption[512] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (!ContainsIgnoringCase(caption, query.title)) return false;
  }
  return true;
}

bool OwnedBy(HWND window, HWND owner) {
  for (HWND up = GetWindow(window, GW_OWNER); up != nullptr; up = GetWindow(up, GW_OWNER)) {
    if (up == owner) return true;
  }
  return false;
}

// The first match in Z order that no other match owns, or null: a message box usually
// bears its dialog's caption and lies above it, yet the dialog is the one meant.
HWND FindTopLevel(const WindowQuery& query) {
  std::vector<HWND> matches;
  for (HWND window : TopLevelWindows()) {
    if (Matches(window, query)) matches.push_back(window);
  }
  for (HWND window : matches) {
    bool owned = false;
    for (HWND other : matches) owned = owned || (other != window && OwnedBy(window, other));
    if (!owned) return window;
  }
  return nullptr;
}

// A window that came up over `window`: one it owns, or failing that an unowned dialog of its
// process above it in Z order (a message box whose caller passed no owner). Other top-level
// windows of the process, such as a main window or the dialog under a message box, are not.
HWND FindPopup(HWND window, const WindowQuery& query) {
  DWORD pid = ProcessOf(window);
  HWND unowned = nullptr;
  bool above = true;  // Z order runs from the top
  for (HWND candidate : TopLevelWindows()) {
    if (candidate == window) {
      above = false;
      continue;
    }
    if (ProcessOf(candidate) != pid || !Matches(candidate, query)) continue;
    if (OwnedBy(candidate, window)) return candidate;
    if (above && unowned == nullptr && GetWindow(candidate, GW_OWNER) == nullptr &&
        SameTextIgnoringCase(ClassOf(candidate), kDialogClass)) {
      unowned = candidate;
    }
  }
  return unowned;
}

// Wizard pages may stack several hidden controls with one id; the one the user sees wins.
HWND FindControl(HWND window, unsigned long id) {
  HWND hidden = nullptr;
  for (HWND child : Descendants(window)) {
    if (static_cast<unsigned long>(GetDlgCtrlID(child)) != id) continue;
    if (IsWindowVisible(child)) return child;
    if (hidden == nullptr) hidden = child;
  }
  return hidden;
}

// A thread handles what was posted to it, and input, before it paints. So once a fresh
// invalidation of the top-level window has been painted, everything posted or sent as input
// before it has been handled, or a modal loop that one of them opened is running.
void Settle(HWND window) {
  HWND top = GetAncestor(window, GA_ROOT);
  if (top == nullptr || !IsWindowVisible(top)) {
    Sleep(100);
    return;
  }
  InvalidateRect(top, nullptr, FALSE);
  PollUntil(kSettleLimitMs, [top] {
    return !IsWindow(top) || !IsWindowVisible(top) || !GetUpdateRect(top, nullptr, FALSE);
  });
}

// ---------------------------------------------------------------- keys

struct KeyName {
  const char* name;
  WORD vk;
  bool extended;
};

const KeyName kKeyNames[] = {
    {"TAB", VK_TAB, false},        {"ENTER", VK_RETURN, false},  {"RETURN", VK_RETURN, false},
    {"ESC", VK_ESCAPE, false},     {"ESCAPE", VK_ESCAPE, false}, {"SPACE", VK_SPACE, false},
    {"BACKSPACE", VK_BACK, false}, {"DEL", VK_DELETE, true},     {"DELETE", VK_DELETE, true},
    {"INS", VK_INSERT, true},      {"INSERT", VK_INSERT, true},  {"HOME", VK_HOME, true},
    {"END", VK_END, true},         {"PGUP", VK_PRIOR, true},     {"PGDN", VK_NEXT, true},
    {"UP", VK_UP, true},           {"DOWN", VK_DOWN, true},      {"LEFT", VK_LEFT, true},
    {"RIGHT", VK_RIGHT, true},
};

// "TAB", "SHIFT+TAB", "ALT+N", "CTRL+SHIFT+F5", "x": modifiers, then one key, any case.
bool ParseKey(const std::string& text, Key* key) {
  Key parsed;
  std::string rest = text;
  for (;;) {
    size_t plus = rest.find('+');
    if (plus == std::string::npos || plus == 0 || plus + 1 == rest.size()) break;
    std::string modifier = rest.substr(0, plus);
    if (SameTextIgnoringCase(modifier, "SHIFT")) {
      parsed.shift = true;
    } else if (SameTextIgnoringCase(modifier, "CTRL")) {
      parsed.ctrl = true;
    } else if (SameTextIgnoringCase(modifier, "ALT")) {
      parsed.alt = true;
    } else {
      return false;
    }
    rest = rest.substr(plus + 1);
  }
  if (rest.size() == 1) {
    char c = UpperAscii(rest[0]);
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    parsed.vk = static_cast<WORD>(c);
  } else if (rest.size() >= 2 && UpperAscii(rest[0]) == 'F') {
    unsigned long number = 0;
    if (!ParseNumber(rest.c_str() + 1, &number) || rest[1] == '0' || number < 1 || number > 12) {
      return false;
    }
    parsed.vk = static_cast<WORD>(VK_F1 + number - 1);
  } else {
    bool known = false;
    for (const KeyName& name : kKeyNames) {
      if (SameTextIgnoringCase(rest, name.name)) {
        parsed.vk = name.vk;
        parsed.extended = name.extended;
        known = true;
        break;
      }
    }
    if (!known) return false;
  }
  *key = parsed;
  return true;
}

INPUT KeyInput(WORD vk, bool up, bool extended) {
  INPUT input;
  ZeroMemory(&input, sizeof(input));
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
  input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
  return input;
}

// Input goes to the foreground window's thread, so the target is made foreground first.
bool MakeForeground(HWND top) {
  if (GetForegroundWindow() == top) return true;
  SetForegroundWindow(top);
  return PollUntil(kForegroundLimitMs, [top] { return GetForegroundWindow() == top; });
}

int SendKeys(HWND window, const std::vector<Key>& keys) {
  HWND top = GetAncestor(window, GA_ROOT);
  for (const Key& key : keys) {
    if (!MakeForeground(top)) {
      return Fail("window %s cannot be made the foreground window (try keys --post)",
                  HandleText(top).c_str());
    }
    std::vector<INPUT> inputs;
    if (key.ctrl) inputs.push_back(KeyInput(VK_CONTROL, false, false));
    if (key.shift) inputs.push_back(KeyInput(VK_SHIFT, false, false));
    if (key.alt) inputs.push_back(KeyInput(VK_MENU, false, false));
    inputs.push_back(KeyInput(key.vk, false, key.extended));
    inputs.push_back(KeyInput(key.vk, true, key.extended));
    if (key.alt) inputs.push_back(KeyInput(VK_MENU, true, false));
    if (key.shift) inputs.push_back(KeyInput(VK_SHIFT, true, false));
    if (key.ctrl) inputs.push_back(KeyInput(VK_CONTROL, true, false));
    UINT count = static_cast<UINT>(inputs.size());
    if (SendInput(count, &inputs[0], sizeof(INPUT)) != count) {
      return Fail("SendInput failed (error %lu)", GetLastError());
    }
    Settle(top);
  }
  return kExitOk;
}

// Posted key messages carry no keyboard state: the target's TranslateMessage turns them into
// characters and its dialog manager acts on them, but GetKeyState still sees Shift and Ctrl
// up, which is why --post refuses SHIFT+ and CTRL+. Alt travels in the message itself.
int PostKeys(HWND window, const std::vector<Key>& keys) {
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  for (const Key& key : keys) {
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    HWND focus = window;
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr) focus = info.hwndFocus;
    LPARAM down = 1 | (static_cast<LPARAM>(MapVirtualKeyA(key.vk, 0) & 0xFF) << 16) |
                  (key.extended ? (1L << 24) : 0) | (key.alt ? (1L << 29) : 0);
    LPARAM up = down | (1L << 30) | (1L << 31);
    BOOL posted = PostMessageA(focus, key.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key.vk, down) &&
                  PostMessageA(focus, key.alt ? WM_SYSKEYUP : WM_KEYUP, key.vk, up);
    if (!posted) return Fail("posting a key to %s failed", HandleText(focus).c_str());
    Settle(window);
  }
  return kExitOk;
}

// ---------------------------------------------------------------- the steps

struct Driver {
  HWND window = nullptr;
  std::string pendingTitle;  // --window named a caption not looked up yet
  DWORD pendingPid = 0;
};

// The window the steps work on; a caption given with --window is waited for (up to the
// step's time limit) the first time it is needed. Null after saying why.
HWND CurrentWindow(Driver* driver, const Step& step) {
  if (!driver->pendingTitle.empty()) {
    WindowQuery query;
    query.title = driver->pendingTitle;
    query.pid = driver->pendingPid;
    HWND found = nullptr;
    if (!PollUntil(step.timeoutMs, [&] { return (found = FindTopLevel(query)) != nullptr; })) {
      Fail("no visible window with \"%s\" in its caption within %lu ms",
           driver->pendingTitle.c_str(), step.timeoutMs);
      return nullptr;
    }
    driver->window = found;
    driver->pendingTitle.clear();
  }
  if (driver->window == nullptr || !IsWindow(driver->window)) {
    Fail("window %s does not exist", HandleText(driver->window).c_str());
    return nullptr;
  }
  return driver->window;
}

HWND ControlOrFail(HWND window, unsigned long id) {
  HWND control = FindControl(window, id);
  if (control == nullptr) Fail("window %s has no control %lu", HandleText(window).c_str(), id);
  return control;
}

int ClickControl(HWND control) {
  unsigned long id = static_cast<unsigned long>(GetDlgCtrlID(control));
  if (!IsWindowVisible(control)) return Fail("control %lu is hidden", id);
  if (!IsWindowEnabled(control)) return Fail("control %lu is disabled", id);
  // Posted: a click that opens a modal message box does not return until the box is
  // answered, and a sent click would hold this program until then.
  if (!PostMessageA(control, BM_CLICK, 0, 0)) return Fail("posting a click to %lu failed", id);
  Settle(control);
  return kExitOk;
}

bool CheckState(HWND control, LRESULT* state) { return Send(control, BM_GETCHECK, 0, 0, state); }

// Clicks rather than setting the check, so that the dialog hears of it as from a user; a
// three-state box may need two clicks.
int SetChecked(HWND control, bool wanted, DWORD timeoutMs) {
  unsigned long id = static_cast<unsigned long>(GetDlgCtrlID(control));
  for (int click = 0; click < 3; ++click) {
    LRESULT state = 0;
    if (!CheckState(control, &state)) return Fail("control %lu does not answer", id);
    if ((state == BST_CHECKED) == wanted) return kExitOk;
    int status = ClickControl(control);
    if (status != kExitOk) return status;
    LRESULT after = state;
    PollUntil(timeoutMs < 2000 ? timeoutMs : 2000,
              [&] { return !CheckState(control, &after) || after != state; });
    if (after == state) break;
  }
  return Fail("control %lu stays %s after a click", id, wanted ? "unchecked" : "checked");
}

// Any other control answers LB_GETCOUNT with 0 through DefWindowProc, so the class is
// looked at first ("ListBox", "ComboLBox", and names of the same family).
int ListCount(HWND list, LRESULT* count) {
  std::string name = ClassOf(list);
  bool listClass = ContainsIgnoringCase(name, "ListBox") || ContainsIgnoringCase(name, "LBox");
  if (!listClass || !Send(list, LB_GETCOUNT, 0, 0, count) || *count == LB_ERR) {
    return Fail("control %d is not a list box", GetDlgCtrlID(list));
  }
  return kExitOk;
}

int ListEntryText(HWND list, unsigned long index, std::string* text) {
  LRESULT count = 0;
  int status = ListCount(list, &count);
  if (status != kExitOk) return status;
  if (index >= static_cast<unsigned long>(count)) {
    return Fail("list box %d has %ld entries, none with index %lu", GetDlgCtrlID(list),
                static_cast<long>(count), index);
  }
  // Wide: Wine 8 answers an ANSI LB_GETTEXT from another process with the UTF-16 text,
  // twice as long as the ANSI buffer the caller sized for it.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, index, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &length) ||
      static_cast<LRESULT>(length) == LB_ERR) {
    return Fail("entry %lu of list box %d cannot be read", index, GetDlgCtrlID(list));
  }
  std::vector<wchar_t> wide(length + 2, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&wide[0]),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied) ||
      static_cast<LRESULT>(copied) == LB_ERR) {
    return Fail("entry %lu of list box %d cannot be read", index, GetDlgCtrlID(list));
  }
  int wideLength = static_cast<int>(copied < wide.size() ? copied : length);
  int size = WideCharToMultiByte(CP_ACP, 0, &wide[0], wideLength, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_ACP, 0, &wide[0], wideLength, &narrow[0], size, nullptr, nullptr);
  }
  *text = narrow;
  return kExitOk;
}

bool MultipleSelection(HWND list) {
  return (GetWindowLongA(list, GWL_STYLE) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
}

// LB_GETSEL one entry at a time: it carries no buffer, so it needs no marshalling across
// processes (LB_GETSELITEMS would).
int ListSelected(HWND list, std::vector<long>* selected) {
  LRESULT count = 0;
  int status = ListCount(list, &count);
  if (status != kExitOk) return status;
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT state = 0;
    if (!Send(list, LB_GETSEL, i, 0, &state) || state == LB_ERR) {
      return Fail("selection of list box %d cannot be read", GetDlgCtrlID(list));
    }
    if (state > 0) selected->push_back(static_cast<long>(i));
  }
  return kExitOk;
}

// Setting a selection by message raises no notification, so the dialog is told as it would
// be after a user's click (when the list box notifies at all).
int ListSelect(HWND list, unsigned long index, bool select) {
  int id = GetDlgCtrlID(list);
  LRESULT count = 0;
  int status = ListCount(list, &count);
  if (status != kExitOk) return status;
  if (index >= static_cast<unsigned long>(count)) {
    return Fail("list box %d has %ld entries, none with index %lu", id, static_cast<long>(count),
                index);
  }
  LRESULT result = 0;
  bool sent =
      MultipleSelection(list)
          ? Send(list, LB_SETSEL, select ? TRUE : FALSE, static_cast<LPARAM>(index), &result)
          : Send(list, LB_SETCURSEL, select ? index : static_cast<WPARAM>(-1), 0, &result);
  LRESULT state = 0;
  if (!sent || !Send(list, LB_GETSEL, index, 0, &state) || (state > 0) != select) {
    return Fail("entry %lu of list box %d could not be %s", index, id,
                select ? "selected" : "deselected");
  }
  if ((GetWindowLongA(list, GWL_STYLE) & LBS_NOTIFY) != 0) {
    PostMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    Settle(list);
  }
  return kExitOk;
}

// A message box's text is its one static control that is not an icon.
std::string MessageText(HWND box) {
  for (HWND child : Descendants(box)) {
    if (!SameTextIgnoringCase(ClassOf(child), "Static")) continue;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
    std::string text;
    if (ReadText(child, &text) && !text.empty()) return text;
  }
  return "";
}

int RunMsgBox(HWND owner, const Step& step) {
  WindowQuery query;
  query.className = kDialogClass;
  HWND box = nullptr;
  std::string text;
  std::string seen;  // texts of boxes that did not match, for the failure message
  bool found = PollUntil(step.timeoutMs, [&] {
    HWND candidate = FindPopup(owner, query);
    if (candidate == nullptr) return false;
    text = MessageText(candidate);
    if (!ContainsIgnoringCase(text, step.textContains)) {
      seen = text;
      return false;
    }
    box = candidate;
    return true;
  });
  if (!found) {
    if (!seen.empty()) {
      return Fail("the message box says \"%s\", not \"%s\" (waited %lu ms)", seen.c_str(),
                  step.textContains.c_str(), step.timeoutMs);
    }
    return Fail("no message box over %s within %lu ms", HandleText(owner).c_str(), step.timeoutMs);
  }
  PrintValue(text);
  if (step.press == 0) return kExitOk;
  HWND button = FindControl(box, static_cast<unsigned long>(step.press));
  if (button == nullptr) return Fail("the message box has no button %d", step.press);
  int status = ClickControl(button);
  if (status != kExitOk) return status;
  if (!PollUntil(step.timeoutMs, [box] { return !IsWindow(box) || !IsWindowVisible(box); })) {
    return Fail("the message box is still open %lu ms after button %d", step.timeoutMs, step.press);
  }
  return kExitOk;
}

int RunFocus(HWND window) {
  GUITHREADINFO info;
  ZeroMemory(&info, sizeof(info));
  info.cbSize = sizeof(info);
  HWND focus = nullptr;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) focus = info.hwndFocus;
  if (focus == nullptr || focus == window || !IsChild(window, focus)) {
    PrintNumber(0);
    return kExitOk;
  }
  // The edit box inside a combo box reports the combo box; a control inside a dialog page
  // reports itself.
  for (HWND parent = GetParent(focus); parent != nullptr && parent != window &&
                                       !SameTextIgnoringCase(ClassOf(parent), kDialogClass);
       parent = GetParent(parent)) {
    focus = parent;
  }
  PrintNumber(GetDlgCtrlID(focus));
  return kExitOk;
}

void PrintDumpLine(HWND window, HWND origin, int depth, bool top) {
  RECT rect;
  GetWindowRect(window, &rect);
  if (!top) MapWindowPoints(nullptr, origin, reinterpret_cast<POINT*>(&rect), 2);
  std::string text;
  ReadText(window, &text);
  std::string line(static_cast<size_t>(depth) * 2, ' ');
  char fields[400];
  if (top) {
    snprintf(fields, sizeof(fields), "window %s class=%s pid=%lu", HandleText(window).c_str(),
             ClassOf(window).c_str(), ProcessOf(window));
  } else {
    snprintf(fields, sizeof(fields), "id=%d hwnd=%s class=%s", GetDlgCtrlID(window),
             HandleText(window).c_str(), ClassOf(window).c_str());
  }
  line += fields;
  snprintf(fields, sizeof(fields), " visible=%d enabled=%d rect=%ld,%ld,%ld,%ld text=\"",
           IsWindowVisible(window) ? 1 : 0, IsWindowEnabled(window) ? 1 : 0, rect.left, rect.top,
           rect.right, rect.bottom);
  line += fields;
  PrintValue(line + text + "\"");
}

// Rectangles of controls are in the window's client coordinates, so that they read the same
// wherever the window was placed on the screen.
int RunDump(HWND window) {
  PrintDumpLine(window, nullptr, 0, true);
  for (HWND child : Descendants(window)) {
    int depth = 1;
    for (HWND up = GetParent(child); up != nullptr && up != window; up = GetParent(up)) ++depth;
    PrintDumpLine(child, window, depth, false);
  }
  return kExitOk;
}

int RunWaitGone(Driver* driver, const Step& step) {
  if (!driver->pendingTitle.empty()) {
    WindowQuery query;
    query.title = driver->pendingTitle;
    query.pid = driver->pendingPid;
    HWND found = FindTopLevel(query);
    if (found == nullptr) return kExitOk;  // never there, or already gone
    driver->window = found;
    driver->pendingTitle.clear();
  }
  HWND window = driver->window;
  if (!PollUntil(step.timeoutMs,
                 [window] { return !IsWindow(window) || !IsWindowVisible(window); })) {
    return Fail("window %s is still there after %lu ms", HandleText(window).c_str(),
                step.timeoutMs);
  }
  return kExitOk;
}

int RunWindowStep(Driver* driver, const Step& step) {
  if (step.kind == kWait) {
    WindowQuery query;
    query.title = step.title;
    query.className = step.className;
    query.pid = step.pid;
    HWND found = nullptr;
    if (!PollUntil(step.timeoutMs, [&] { return (found = FindTopLevel(query)) != nullptr; })) {
      return Fail("no matching window within %lu ms", step.timeoutMs);
    }
    driver->window = found;
    driver->pendingTitle.clear();
    PrintValue(HandleText(found));
    return kExitOk;
  }
  if (step.kind == kWaitGone) return RunWaitGone(driver, step);

  HWND window = CurrentWindow(driver, step);
  if (window == nullptr) return kExitFailed;
  switch (step.kind) {
    case kPopup: {
      WindowQuery query;
      query.title = step.title;
      query.className = step.className;
      HWND found = nullptr;
      if (!PollUntil(step.timeoutMs,
                     [&] { return (found = FindPopup(window, query)) != nullptr; })) {
        return Fail("no window came up over %s within %lu ms", HandleText(window).c_str(),
                    step.timeoutMs);
      }
      driver->window = found;
      PrintValue(HandleText(found));
      return kExitOk;
    }
    case kCaption: {
      std::string text;
      if (!ReadText(window, &text)) {
        return Fail("window %s does not answer", HandleText(window).c_str());
      }
      PrintValue(text);
      return kExitOk;
    }
    case kMsgBox: return RunMsgBox(window, step);
    case kKeys: return step.post ? PostKeys(window, step.keys) : SendKeys(window, step.keys);
    case kFocus: return RunFocus(window);
    case kDump: return RunDump(window);
    default: break;
  }

  HWND control = ControlOrFail(window, step.numbers[0]);
  if (control == nullptr) return kExitFailed;
  switch (step.kind) {
    case kText: {
      std::string text;
      if (!ReadText(control, &text)) return Fail("control %lu does not answer", step.numbers[0]);
      PrintValue(text);
      return kExitOk;
    }
    case kWaitText: {
      DWORD start = GetTickCount();
      std::string text;
      while (!ReadText(control, &text) || text != step.newText) {
        if (GetTickCount() - start >= step.timeoutMs) {
          return Fail("control %lu still shows \"%s\"", step.numbers[0], text.c_str());
        }
        Sleep(kPollMs);
      }
      return kExitOk;
    }
    case kSetText: {
      LRESULT done = 0;
      if (!Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.newText.c_str()), &done) ||
          !done) {
        return Fail("control %lu did not take the text", step.numbers[0]);
      }
      return kExitOk;
    }
    case kVisible: PrintNumber(IsWindowVisible(control) ? 1 : 0); return kExitOk;
    case kEnabled: PrintNumber(IsWindowEnabled(control) ? 1 : 0); return kExitOk;
    case kChecked: {
      LRESULT state = 0;
      if (!CheckState(control, &state)) return Fail("control %lu does not answer", step.numbers[0]);
      PrintNumber(static_cast<long>(state));
      return kExitOk;
    }
    case kClick: return ClickControl(control);
    case kCheck: return SetChecked(control, true, step.timeoutMs);
    case kUncheck: return SetChecked(control, false, step.timeoutMs);
    case kLbCount: {
      LRESULT count = 0;
      int status = ListCount(control, &count);
      if (status == kExitOk) PrintNumber(static_cast<long>(count));
      return status;
    }
    case kLbText: {
      std::string text;
      int status = ListEntryText(control, step.numbers[1], &text);
      if (status == kExitOk) PrintValue(text);
      return status;
    }
    case kLbSel: return ListSelect(control, step.numbers[1], step.numbers[2] == 1);
    case kLbSelected: {
      std::vector<long> selected;
      int status = ListSelected(control, &selected);
      for (long index : selected) PrintNumber(index);
      return status;
    }
    default: return Fail("step %s is not handled", step.name);
  }
}

// A hidden top-level window, answering its messages, for the given time.
void HoldDesktop(DWORD milliseconds) {
  HWND window = CreateWindowExA(0, "STATIC", "guidriver hold", WS_POPUP, 0, 0, 1, 1, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  if (window != nullptr) DestroyWindow(window);
}

int RunSteps(const std::vector<Step>& steps) {
  Driver driver;
  DWORD mark = GetTickCount();
  for (const Step& step : steps) {
    int status = kExitOk;
    if (step.kind == kUseWindow) {
      unsigned long handle = 0;
      if (ParseNumber(step.window.c_str(), &handle)) {
        driver.window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
        driver.pendingTitle.clear();
      } else {
        driver.window = nullptr;
        driver.pendingTitle = step.window;
        driver.pendingPid = step.pid;
      }
    } else if (step.kind == kSleep) {
      Sleep(step.numbers[0]);
    } else if (step.kind == kMark) {
      mark = GetTickCount();
    } else if (step.kind == kElapsed) {
      PrintNumber(static_cast<long>(GetTickCount() - mark));
    } else if (step.kind == kHold) {
      HoldDesktop(static_cast<DWORD>(step.numbers[0]));
    } else {
      status = RunWindowStep(&driver, step);
    }
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

// ---------------------------------------------------------------- the command line

const StepInfo* FindStep(const char* name) {
  for (const StepInfo& info : kSteps) {
    if (strcmp(info.name, name) == 0) return &info;
  }
  return nullptr;
}

// Reads the value after option argv[*i]; false at the end of the command line.
bool OptionValue(int argc, char** argv, int* i, std::string* value) {
  if (*i + 1 >= argc) return false;
  *value = argv[*i + 1];
  *i += 2;
  return true;
}

// The options a step accepts; *i moves past the option and its value. 0 when the token is
// not one of them (it then belongs to the steps that follow), kExitUsage when it is malformed.
int ParseStepOption(int argc, char** argv, int* i, unsigned options, Step* step, bool* taken) {
  const char* token = argv[*i];
  std::string value;
  unsigned long number = 0;
  *taken = true;
  if (strcmp(token, "--post") == 0 && (options & kOptPost) != 0) {
    step->post = true;
    ++*i;
    return kExitOk;
  }
  unsigned wanted = strcmp(token, "--title") == 0           ? kOptTitle
                    : strcmp(token, "--class") == 0         ? kOptClass
                    : strcmp(token, "--pid") == 0           ? kOptPid
                    : strcmp(token, "--timeout") == 0       ? kOptTimeout
                    : strcmp(token, "--text-contains") == 0 ? kOptTextContains
                    : strcmp(token, "--press") == 0         ? kOptPress
                                                            : 0;
  if (wanted == 0 || (options & wanted) == 0) {
    *taken = false;
    return kExitOk;
  }
  if (!OptionValue(argc, argv, i, &value)) return UsageError("%s needs a value", token);
  bool numeric = wanted == kOptPid || wanted == kOptTimeout || wanted == kOptPress;
  if (numeric && !ParseNumber(value.c_str(), &number)) {
    return UsageError("%s needs a number, not \"%s\"", token, value.c_str());
  }
  switch (wanted) {
    case kOptTitle: step->title = value; break;
    case kOptClass: step->className = value; break;
    case kOptPid: step->pid = number; break;
    case kOptTimeout: step->timeoutMs = number; break;
    case kOptTextContains: step->textContains = value; break;
    case kOptPress:
      if (number < 1 || number > 0xFFFF) return UsageError("--press needs a button id");
      step->press = static_cast<int>(number);
      break;
    default: break;
  }
  return kExitOk;
}

// Parses the whole command line before any step runs, so that a mistake late in a chain
// does not leave a dialog half driven.
int ParseCommandLine(int argc, char** argv, std::vector<Step>* steps) {
  DWORD timeoutMs = kDefaultTimeoutMs;
  DWORD pid = 0;
  bool haveWindow = false;
  bool haveStep = false;
  int i = 1;
  while (i < argc) {
    std::string arg = argv[i];
    std::string value;
    unsigned long number = 0;
    if (arg == "--window") {
      if (!OptionValue(argc, argv, &i, &value) || value.empty()) {
        return UsageError("--window needs a caption or a handle");
      }
      Step step;
      step.window = value;
      step.pid = pid;
      steps->push_back(step);
      haveWindow = true;
      continue;
    }
    if (arg == "--pid" || arg == "--timeout") {
      if (!OptionValue(argc, argv, &i, &value) || !ParseNumber(value.c_str(), &number)) {
        return UsageError("%s needs a number", arg.c_str());
      }
      (arg == "--pid" ? pid : timeoutMs) = number;
      continue;
    }
    const StepInfo* info = FindStep(arg.c_str());
    if (info == nullptr) return UsageError("unknown step or option \"%s\"", arg.c_str());
    Step step;
    step.kind = info->kind;
    step.name = info->name;
    step.pid = pid;
    step.timeoutMs = timeoutMs;
    ++i;
    while (i < argc) {
      if (strncmp(argv[i], "--", 2) == 0) {
        bool taken = false;
        int status = ParseStepOption(argc, argv, &i, info->options, &step, &taken);
        if (status != kExitOk) return status;
        if (!taken) break;
      } else if (info->kind == kKeys) {
        Key key;
        if (!ParseKey(argv[i], &key)) break;
        step.keys.push_back(key);
        ++i;
      } else if (static_cast<int>(step.numbers.size()) < info->numbers) {
        if (!ParseNumber(argv[i], &number)) {
          return UsageError("%s needs a number, not \"%s\"", info->name, argv[i]);
        }
        step.numbers.push_back(number);
        ++i;
      } else {
        break;
      }
    }
    if (static_cast<int>(step.numbers.size()) < info->numbers) {
      return UsageError("%s needs %d number%s", info->name, info->numbers,
                        info->numbers == 1 ? "" : "s");
    }
    if (info->kind == kKeys) {
      if (step.keys.empty()) return UsageError("keys needs at least one key");
      for (const Key& key : step.keys) {
        if (step.post && (key.shift || key.ctrl)) {
          return UsageError("keys --post cannot carry SHIFT+ or CTRL+");
        }
      }
    }
    if (info->kind == kSetText || info->kind == kWaitText) {
      // The text follows the id, whatever it looks like (it may start with "--").
      if (i >= argc) return UsageError("%s needs a text after the id", info->name);
      step.newText = argv[i++];
    }
    if (info->kind == kLbSel && step.numbers[2] > 1) {
      return UsageError("lbsel takes 0 (deselect) or 1 (select), not %lu", step.numbers[2]);
    }
    if (info->kind == kWait) {
      if (step.title.empty() && step.className.empty() && step.pid == 0) {
        return UsageError("wait needs --title, --class or --pid");
      }
      haveWindow = true;
    }
    if (info->needsWindow && !haveWindow) {
      return UsageError("%s needs a window: give --window or a wait step before it", info->name);
    }
    steps->push_back(step);
    haveStep = true;
  }
  if (!haveStep) return UsageError("no step given");
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(kUsage, stdout);
    return kExitOk;
  }
  std::vector<Step> steps;
  int status = ParseCommandLine(argc, argv, &steps);
  if (status != kExitOk) return status;
  return RunSteps(steps);
}
