// The command line of the uninstaller: switches, the install log's path and an optional
// title, parsed into the option fields of the run state.
//
//   [/A] [/S] [/R] [/U] [/Wn] [/z | /z1] [/Z] log-path [title]
//   "long log path" [title]
//
// Switches are read only at the very start of the line; the first "/" that names no switch
// begins the log path.
#pragma once

// Fills gRun's options, logPath, commandTitle (hasCommandTitle) and, in a clean-up run,
// cleanupArguments from commandLine (cut to 255 characters). Flags are only ever set, so
// the caller starts from a reset run state. A quoted path is converted to its short form
// through the platform's directory search.
void ParseCommandLine(const char* commandLine);
