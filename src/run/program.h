// The whole program after its back-ends are installed: the start-up and the run it leads
// to (the run flow, the clean-up run of the temporary copy, or a shortcut launch with its
// repair). The top of the run layer; the Windows entry and the scenario tests call it.
#pragma once

// Returns the process's exit code (gRun.exitCode).
int RunProgram(const char* commandLine);
