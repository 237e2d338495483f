// Self-registration of COM servers, undone before a file goes and done again when a
// rollback or a repair puts it back: a program file is run with /REGSERVER or
// /UNREGSERVER, a 32-bit library is loaded and its registration entry point called.
#pragma once

constexpr int kUnregisterServer = 0;
constexpr int kRegisterServer = 1;

// Shows prefix + path as the action line, then registers (direction kRegisterServer) or
// unregisters (kUnregisterServer) the file. Every failure is silent; the current directory
// is the same afterwards as before.
void SelfRegister(const char* prefix, const char* path, int direction);

// True when the file begins with "MZ" and the header offset at byte 60 leads to "PE".
bool IsWin32Image(const char* path);
