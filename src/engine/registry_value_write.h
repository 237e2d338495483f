// Writes a logged registry value back: the data text of the log converted by its type
// number (0 REG_SZ, 1 REG_EXPAND_SZ, 2 REG_MULTI_SZ, 3 REG_DWORD, 4 REG_BINARY). With
// create set the key is created when missing; without it a missing key is left missing.
#pragma once

void RegistryValueWrite(int root, int type, const char* keyPath, const char* valueName,
                        const char* data, bool create);
