// target_dialog: the dialog that guidriver's self-test drives under Wine. It is built from an
// in-memory template (the real dialog manager, class "#32770", tab order and mnemonics), and
// each control shows in another control what the dialog saw, so that a test can tell a click
// the dialog heard from a state merely set:
//   - Next (1010, the default button, "&Next >") counts up the step text (1002, "Step N");
//   - the radio buttons Automatic (1000) and Custom (1001) set the mode text (1005);
//   - the multiple-selection list box (1003) sets the count text (1004) on LBN_SELCHANGE;
//   - a check box (1006), an edit box (1011), a disabled button (1007), a hidden text (1008);
//   - Cancel (2) asks "Are you sure ...?" with Yes and No; on Yes the dialog writes
//     "step=N mode=M keep=K selected=I,J" to the file named on its command line and ends.
//
// Usage: target_dialog OUTPUT-FILE    exit 0 after writing the file, 1 when it cannot.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr WORD kIdAutomatic = 1000;
constexpr WORD kIdCustom = 1001;
constexpr WORD kIdStep = 1002;
constexpr WORD kIdFiles = 1003;
constexpr WORD kIdSelectedCount = 1004;
constexpr WORD kIdMode = 1005;
constexpr WORD kIdKeep = 1006;
constexpr WORD kIdRepair = 1007;
constexpr WORD kIdHiddenNote = 1008;
constexpr WORD kIdNext = 1010;
constexpr WORD kIdFolder = 1011;

// Atoms of the predefined control classes in a dialog template.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kListBoxAtom = 0x0083;

constexpr char kCaption[] = "Guidriver Target";
const char* const kFiles[] = {"alpha.dll", "beta.exe", "gamma.hlp", "delta.ini", "epsilon.txt"};

struct Target {
  int step = 1;
  std::string outputFile;
};

Target gTarget;

// Lays out a DLGTEMPLATE and its items in memory: words, with each item on a DWORD boundary.
class TemplateWriter {
 public:
  void Dialog(DWORD style, short cx, short cy, const char* caption, WORD items) {
    Dword(style);
    Dword(0);  // extended style
    Word(items);
    Word(0);  // x
    Word(0);  // y
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(caption);
    Word(8);  // DS_SETFONT: point size, then the face
    Text("MS Shell Dlg");
  }

  void Item(WORD atom, DWORD style, short x, short y, short cx, short cy, WORD id,
            const char* text) {
    while (words_.size() % 2 != 0) Word(0);
    Dword(style | WS_CHILD);
    Dword(0);  // extended style
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(id);
    Word(0xFFFF);
    Word(atom);
    Text(text);
    Word(0);  // no creation data
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD value) { words_.push_back(value); }
  void Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
  }
  void Text(const char* text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::vector<wchar_t> wide(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    for (wchar_t c : wide) Word(static_cast<WORD>(c));
  }

  std::vector<WORD> words_;
};

// Template order is tab order: Automatic, Keep, the list, the folder, Next, Cancel (the
// disabled Repair is skipped).
void BuildTemplate(TemplateWriter* writer) {
  writer->Dialog(
      DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 260,
      172, kCaption, 12);
  writer->Item(kStaticAtom, WS_VISIBLE | SS_LEFT, 7, 7, 150, 10, kIdStep, "Step 1");
  writer->Item(kButtonAtom, WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 7, 22, 80, 10,
               kIdAutomatic, "&Automatic");
  writer->Item(kButtonAtom, WS_VISIBLE | BS_AUTORADIOBUTTON, 90, 22, 80, 10, kIdCustom, "C&ustom");
  writer->Item(kStaticAtom, WS_VISIBLE | WS_GROUP | SS_LEFT, 7, 36, 150, 10, kIdMode,
               "Mode: automatic");
  writer->Item(kButtonAtom, WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_AUTOCHECKBOX, 7, 50, 100, 10,
               kIdKeep, "&Keep settings");
  writer->Item(kListBoxAtom,
               WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_MULTIPLESEL | LBS_NOTIFY |
                   LBS_NOINTEGRALHEIGHT,
               7, 64, 120, 60, kIdFiles, "");
  writer->Item(kStaticAtom, WS_VISIBLE | SS_LEFT, 134, 64, 100, 10, kIdSelectedCount, "0 selected");
  writer->Item(kStaticAtom, SS_LEFT, 134, 78, 100, 10, kIdHiddenNote, "Hidden note");
  writer->Item(kEditAtom, WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 7, 130, 180, 12,
               kIdFolder, "C:\\Program Files\\Target");
  writer->Item(kButtonAtom, WS_VISIBLE | WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, 7, 151, 50, 14,
               kIdRepair, "&Repair");
  writer->Item(kButtonAtom, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 148, 151, 50, 14, kIdNext,
               "&Next >");
  writer->Item(kButtonAtom, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 203, 151, 50, 14, IDCANCEL,
               "Cancel");
}

void ShowStep(HWND dialog) {
  char text[32];
  snprintf(text, sizeof(text), "Step %d", gTarget.step);
  SetDlgItemTextA(dialog, kIdStep, text);
}

const char* Mode(HWND dialog) {
  return IsDlgButtonChecked(dialog, kIdCustom) == BST_CHECKED ? "custom" : "automatic";
}

std::string SelectedEntries(HWND dialog) {
  HWND list = GetDlgItem(dialog, kIdFiles);
  std::string selected;
  LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    if (SendMessageA(list, LB_GETSEL, i, 0) <= 0) continue;
    if (!selected.empty()) selected += ',';
    selected += std::to_string(i);
  }
  return selected;
}

void ShowSelectedCount(HWND dialog) {
  LRESULT count = SendDlgItemMessageA(dialog, kIdFiles, LB_GETSELCOUNT, 0, 0);
  char text[32];
  snprintf(text, sizeof(text), "%ld selected", static_cast<long>(count));
  SetDlgItemTextA(dialog, kIdSelectedCount, text);
}

// What the dialog itself holds at the end, written for the test to compare.
bool WriteOutcome(HWND dialog) {
  if (gTarget.outputFile.empty()) return false;
  FILE* file = fopen(gTarget.outputFile.c_str(), "wb");
  if (file == nullptr) return false;
  fprintf(file, "step=%d mode=%s keep=%d selected=%s\r\n", gTarget.step, Mode(dialog),
          IsDlgButtonChecked(dialog, kIdKeep) == BST_CHECKED ? 1 : 0,
          SelectedEntries(dialog).c_str());
  return fclose(file) == 0;
}

INT_PTR CALLBACK TargetDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      for (const char* name : kFiles) {
        SendDlgItemMessageA(dialog, kIdFiles, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
      }
      CheckRadioButton(dialog, kIdAutomatic, kIdCustom, kIdAutomatic);
      ShowStep(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdNext:
          ++gTarget.step;
          ShowStep(dialog);
          return TRUE;
        case kIdAutomatic:
        case kIdCustom:
          if (HIWORD(wParam) == BN_CLICKED) {
            std::string text = std::string("Mode: ") + Mode(dialog);
            SetDlgItemTextA(dialog, kIdMode, text.c_str());
          }
          return TRUE;
        case kIdFiles:
          if (HIWORD(wParam) == LBN_SELCHANGE) ShowSelectedCount(dialog);
          return TRUE;
        case IDCANCEL:
          if (MessageBoxA(dialog, "Are you sure you want to cancel the removal?", kCaption,
                          MB_YESNO | MB_ICONQUESTION) == IDYES) {
            EndDialog(dialog, WriteOutcome(dialog) ? 0 : 1);
          }
          return TRUE;
        default: break;
      }
      break;
    default: break;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  std::string file = commandLine != nullptr ? commandLine : "";
  while (!file.empty() && (file.back() == ' ' || file.back() == '"')) file.pop_back();
  while (!file.empty() && (file.front() == ' ' || file.front() == '"')) file.erase(0, 1);
  gTarget.outputFile = file;
  TemplateWriter writer;
  BuildTemplate(&writer);
  INT_PTR result = DialogBoxIndirectParamA(instance, writer.Get(), nullptr, TargetDlg, 0);
  return result == 0 ? 0 : 1;
}
