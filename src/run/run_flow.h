// The run flow after start-up: load the install log, take the method from the switches or
// the wizard, carry out the uninstall bracketed by a System Restore point, tell running
// programs that settings changed, ask about the restart, write the status report, and end
// the run with self-removal and restart.
#pragma once

// Runs from the start-up state (RunStartup returned kStartupRunFlow) to the end of the
// run. The process exits with code 0 when it returns.
void RunFlow();
