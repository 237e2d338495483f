// RunStartup: everything from the first instruction to the hand-over to the run flow, in
// the order that later steps depend on (the settings file before the texts, the command
// line before the windows, the windows before the file dialog).
#include "run/startup.h"

#include <cstring>

#include "base/message_text.h"
#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "platform/platform.h"
#include "resource.h"
#include "run/command_line.h"
#include "run/temp_copy.h"
#include "ui/font_scaling.h"

namespace {

constexpr char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

void ProbePlatform() {
  TakeVersionFlags();
  // Kept for the whole run: the run flow tells the shell about removed items at the end.
  gRun.shellLibrary = Sys().LoadSystemLib("SHELL32.DLL");
  gRun.hasShellNotify =
      gRun.shellLibrary != 0 && Sys().HasEntry(gRun.shellLibrary, "SHChangeNotify");
}

// The settings file differs from the program only in its extension.
void FindOwnFiles() {
  char path[256] = {};
  Sys().ModuleFileName(path, sizeof path);
  path[sizeof path - 1] = '\0';
  gRun.modulePath.Set(path);
  NormalizePath(gRun.modulePath.data(), PathText::kCapacity, true);

  size_t length = strlen(path);
  if (length >= 3) memcpy(path + length - 3, "INI", 3);
  gRun.settingsFile.Set(path);
}

// An empty command line means the log beside the program, when there is one. Returns true
// when the line was replaced by its path.
bool SubstituteLogBesideProgram(char* line, size_t size) {
  if (line[0] != '\0') return false;
  char path[256];
  CopyText(path, sizeof path, gRun.settingsFile.c_str());
  NormalizePath(path, sizeof path, false);
  KeepFolderPart(path);
  AppendText(path, sizeof path, "INSTALL.LOG");
  // A directory so long that the name no longer fits must not yield a cut name that
  // might exist by chance.
  if (strcmp(FileNamePart(path), "INSTALL.LOG") != 0) return false;
  if (!FileExists(path)) return false;
  CopyText(line, size, path);
  return true;
}

void ReadDisplaySettingValues() {
  const char* file = gRun.settingsFile.c_str();
  gRun.startRed = Sys().ReadIniInt("Settings", "Start Red", 0, file);
  gRun.startGreen = Sys().ReadIniInt("Settings", "Start Green", 0, file);
  gRun.startBlue = Sys().ReadIniInt("Settings", "Start Blue", 255, file);
  gRun.endRed = Sys().ReadIniInt("Settings", "End Red", 0, file);
  gRun.endGreen = Sys().ReadIniInt("Settings", "End Green", 0, file);
  gRun.endBlue = Sys().ReadIniInt("Settings", "End Blue", 0, file);
  gRun.noBackground = Sys().ReadIniInt("Settings", "No Background", 1, file);
  ReadDialogFontSettings(file);
}

// Returns 0 when both windows that the run needs could be made.
int CreateWindows() {
  if (Ui().RegisterMainClass() != 0) return 1;
  bool quiet = gRun.silent || gRun.cleanupRun || gRun.launchShortcut != 0;
  const char* caption = gRun.hasCommandTitle ? gRun.commandTitle.c_str() : " ";
  gRun.mainWindow = Ui().CreateMainWindow(caption, !quiet && gRun.noBackground == 0);
  if (gRun.mainWindow == 0) return 1;
  if (!quiet) gRun.progressWindow = Ui().CreateProgressWindow();
  return 0;
}

// The Program Files directory, which no removal may take; empty when unknown.
void ReadProgramFilesDir() {
  gRun.programFilesDir.Clear();
  RegHandle key = 0;
  if (Sys().RegOpen(RegistryRoot(2), kCurrentVersionKey, kKeyRead, &key) != 0) return;
  char value[261] = {};
  uint32_t type = 0;
  uint32_t size = 260;
  if (Sys().RegQuery(key, "ProgramFilesDir", &type, value, &size) == 0) {
    // Registry strings need not carry their terminator.
    value[size < 260 ? size : 260] = '\0';
    gRun.programFilesDir.Set(value);
    char* last = nullptr;
    for (char* p = gRun.programFilesDir.data(); *p != '\0'; p = NextChar(p)) last = p;
    if (last != nullptr && *last == '\\') *last = '\0';
  }
  Sys().RegClose(key);
}

void FindLog() {
  if (gRun.logPath.Empty()) {
    // The file dialog replaces the initializing window.
    if (gRun.progressWindow != 0) {
      Ui().Destroy(gRun.progressWindow);
      gRun.progressWindow = 0;
    }
    char filter[256];
    MessageText(IDS_LOG_FILTER, filter, sizeof filter);
    char path[256];
    CopyText(path, sizeof path, "INSTALL.LOG");
    if (Ui().AskOpenLog(gRun.mainWindow, filter, path, sizeof path) == 0) {
      path[sizeof path - 1] = '\0';
      gRun.logPath.Set(path);
    }
  }

  // A bare name was typed in the log's own directory. A relative name with a backslash is
  // left for the system to resolve.
  if (!gRun.logPath.Empty() && FindChar(gRun.logPath.c_str(), '\\') == nullptr) {
    char path[256] = {};
    Sys().GetCurrentDir(path, sizeof path);
    path[sizeof path - 1] = '\0';
    EnsureTrailingBackslash(path, sizeof path);
    AppendText(path, sizeof path, gRun.logPath.c_str());
    gRun.logPath.Set(path);
  }
}

// An early end releases what the probe took; the run flow does that on every other path.
int EndEarly() {
  if (gRun.shellLibrary != 0) Sys().FreeLib(gRun.shellLibrary);
  gRun.shellLibrary = 0;
  gRun.hasShellNotify = false;
  return kStartupEnd;
}

}  // namespace

void TakeVersionFlags() {
  VersionInfo version = Sys().Version();
  gRun.platformKind = version.platformId == 2 ? kPlatformNt : kPlatformOther;
  gRun.newShell = version.major >= 4;
}

int RunStartup(const char* commandLine) {
  ProbePlatform();
  FindOwnFiles();
  // The hollow brush, the dialog templates and the banner bitmap belong to the window code,
  // which takes them when it makes its windows.

  char line[256];
  CopyText(line, sizeof line, commandLine != nullptr ? commandLine : "");
  bool besideProgram = SubstituteLogBesideProgram(line, sizeof line);

  // "/Z" at the very start: the run removes its own file at the end, so no copy is needed.
  if (StartsWithNoCase(line, "/Z")) {
    gRun.inPlaceRun = true;
  } else {
    MakeTempCopy();
  }

  ParseCommandLine(line);
  if (besideProgram) {
    // The path found beside the program is a path, never a path and a title: where the
    // file system has no short names it may still hold spaces.
    gRun.logPath.Set(line);
    gRun.commandTitle.Clear();
    gRun.hasCommandTitle = false;
  }

  // The shortcut launcher (damage check before starting an application) takes over here;
  // it comes back through ContinueStartup when it turns the run into an automatic repair.
  if (gRun.launchShortcut != 0) return kStartupShortcutLaunch;
  return ContinueStartup();
}

int ContinueStartup() {
  ReadDisplaySettingValues();
  Sys().SuppressFileErrorBoxes();
  if (CreateWindows() != 0) return EndEarly();

  ReadProgramFilesDir();

  if (gRun.cleanupRun && !gRun.cleanupArguments.Empty()) return kStartupCleanupRun;

  FindLog();
  MessageText(IDS_REBOOT_QUESTION, gRun.rebootText.data(), decltype(gRun.rebootText)::kCapacity);
  MessageText(IDS_UNINSTALL_CAPTION, gRun.rebootCaption.data(),
              decltype(gRun.rebootCaption)::kCapacity);
  return kStartupRunFlow;
}
