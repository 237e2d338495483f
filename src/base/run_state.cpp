// The run-wide state.
#include "base/run_state.h"

RunState gRun;

void ResetRunState() { gRun = RunState(); }
