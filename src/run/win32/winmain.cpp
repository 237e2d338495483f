// The Windows entry of UNTARN32.EXE: installs the Win32 back-ends of the seam, runs the
// start-up and hands over to the run flow. The exit code is 0 on every path that ran
// (callers such as the installer's uninstall entry must not read a failure into an ended
// uninstall); only a run that could not start says why (gRun.exitCode).
#include <windows.h>

#include "base/text.h"
#include "platform/platform.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_platform.h"
#include "run/program.h"
#include "ui/win32/win32_ui.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)show;
  // Before anything can load a library: from here on a library named without a path comes
  // from the system directory only, never from a user-writable folder where a copy may
  // have been planted (the temporary folder the clean-up run starts from, among others).
  LimitLibrarySearchToSystem();
  static Win32Platform platform;
  static Win32Ui ui;
  InstallPlatform(&platform);
  InstallUserInterface(&ui);
  LoadTextRules();

  return RunProgram(commandLine);
}
