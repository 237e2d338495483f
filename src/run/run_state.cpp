// The run-wide state.
#include "run/run_state.h"

RunState gRun;

void ResetRunState() { gRun = RunState(); }
