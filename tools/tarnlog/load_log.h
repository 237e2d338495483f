// Loading a log the way the uninstaller does, for the tools: a fresh run state and item
// store, the platform flags that start-up takes from the version, the code page rules, and
// then the loader itself with the application directory going where start-up keeps it.
#pragma once

// Returns the loader's result: 0 loaded, 1 refused (the user interface was told why).
int LoadLogAsUninstaller(const char* logPath);
