// The end of every run, whichever way it went (the run flow, the clean-up run of the
// temporary copy, a shortcut launch that could not make its windows).
#pragma once

// The windows and the shell at the end of every run: destroys the initializing and the
// main window, dispatches messages until the quit message when there was a main window,
// tells the shell to refresh its views of the Windows directory and releases the shell
// library. Safe when start-up stopped before the windows were made.
void EndRun();
