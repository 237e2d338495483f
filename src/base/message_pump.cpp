// PumpMessages and QueueLookDue (message_pump.h).
#include "base/message_pump.h"

#include <cstdint>

#include "platform/platform.h"

namespace {

bool gLooked = false;
uint32_t gLastLook = 0;

}  // namespace

void PumpMessages(int ms) {
  Ui().PumpMessages(ms);
  gLastLook = Sys().TickCount();
  gLooked = true;
}

bool QueueLookDue() { return !gLooked || Sys().TickCount() - gLastLook >= kQueueLookIntervalMs; }

void ResetMessagePump() {
  gLooked = false;
  gLastLook = 0;
}
