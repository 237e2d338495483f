// The contract suite against the real system: the Win32 back-end with a console "user",
// so that nothing waits for a click when the suite runs unattended under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/text.h"
#include "contract/contract_support.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "ui/console_ui.h"

int main(int argc, char** argv) {
  static Win32Platform platform;
  static ConsoleUi ui;
  InstallPlatform(&platform);
  InstallUserInterface(&ui);
  platform.SuppressFileErrorBoxes();
  LoadTextRules();
  // Wine's ntdll exports its version; Windows' does not.
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  gUnderWine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
