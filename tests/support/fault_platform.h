// Fault injection over any back-end. FaultPlatform counts every call of the seam and either
// fails exactly one of them with the failure that operation realistically has (FailCall),
// or, from one call on, lets nothing reach the machine any more (KillAt): every later call
// fails and calls without a result do nothing, so the machine stays as a process killed at
// that moment would have left it while the program runs on to its end. The handles the
// program held are closed at the kill, as the system closes a dead process's handles.
// FaultUi goes with it: once the platform is killed, questions get the answer a user who
// is not there gives (the unscripted default) without reaching the scripted user.
//
// The operations come from platform_operations.def, so a new operation is counted and
// forwarded without being written here; what its failure is comes from the table in
// fault_platform.cpp, and the test of that table fails until a new operation is in it.
#pragma once

#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/forwarding.h"

enum class FaultOp : int {
#define PLATFORM_OP(result, Name, parameters, arguments) Name,
#include "platform/platform_operations.def"
  kCount
};

const char* FaultOpName(FaultOp op);

// How an operation fails: the result it gives and the error the thread's last error then
// reads. Operations that cannot fail (pure conversions, the clock, the version) and those
// without a result pass through in the fault-at-k mode.
struct OpFailure {
  bool canFail = false;
  bool listed = false;  // the table names the operation (a test insists on every one)
  int64_t result = 0;   // converted to the operation's result type
  uint32_t error = 0;
  const char* name = "";  // what the failure stands for, for reports ("sharing violation")
};
OpFailure FailureOf(FaultOp op);

// Thrown from a call when the run has made far more calls than it should: the sweep's
// watchdog for a run that would otherwise never end.
struct RunawayRun : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class FaultPlatform final : public ForwardingPlatform {
 public:
  explicit FaultPlatform(Platform& inner) : ForwardingPlatform(inner) {}

  // Fails exactly the call numbered k (from 1); 0 fails nothing.
  void FailCall(uint64_t k) { failAt_ = k; }
  // Fails the n-th call (from 1) of one operation, whatever comes before it: a test of one
  // unit names the call it means without counting the others.
  void FailOperation(FaultOp op, uint64_t n = 1) {
    failOp_ = op;
    failOpAt_ = n;
    failOpSeen_ = 0;
  }
  // From the call numbered n on (from 1), nothing reaches the machine; 0 never kills. A
  // kill that lands on a profile write leaves that file truncated, as the system's rewrite of
  // the whole file would.
  void KillAt(uint64_t n) { killAt_ = n; }
  // Ends the run with RunawayRun once it has made more calls than this; 0: no limit.
  void LimitCalls(uint64_t limit) { callLimit_ = limit; }
  // Keeps the operation of every call in trace().
  void RecordTrace(bool on) { recordTrace_ = on; }

  uint64_t calls() const { return calls_; }
  bool killed() const { return killed_; }
  // The call that was failed in the fault-at-k mode (its operation), when it came.
  bool injected() const { return injected_; }
  FaultOp injectedOp() const { return injectedOp_; }
  const std::vector<FaultOp>& trace() const { return trace_; }
  // The machine underneath, untouched by the counting (to read it back or run again).
  Platform& inner() { return inner_; }

  // Handles the program opened through this platform and has not closed.
  size_t OpenHandles() const;
  std::string OpenHandlesText() const;

#define PLATFORM_OP(result, Name, parameters, arguments) result Name parameters override;
#include "platform/platform_operations.def"

 private:
  // A call's fate, decided as it comes: passed on, failed, or swallowed by a dead process.
  enum class Fate { kPass, kFail, kDead };
  Fate Enter(FaultOp op);
  // One call: counted, then passed on (with the handles it opens or closes noted), or
  // failed as the operation fails.
  template <FaultOp op, typename R, typename Pass, typename Arguments>
  R Call(Pass pass, Arguments arguments);
  void Kill();
  // A profile write the kill lands in leaves its file empty (see Call).
  void CutProfile(const char* section, const char* file);

  uint64_t failAt_ = 0;
  FaultOp failOp_ = FaultOp::kCount;
  uint64_t failOpAt_ = 0;
  uint64_t failOpSeen_ = 0;
  uint64_t killAt_ = 0;
  uint64_t callLimit_ = 0;
  uint64_t calls_ = 0;
  bool recordTrace_ = false;
  bool killed_ = false;
  bool injected_ = false;
  FaultOp injectedOp_ = FaultOp::kCount;
  bool failedLast_ = false;  // the last call was failed here: LastError answers for it
  uint32_t lastError_ = 0;
  std::vector<FaultOp> trace_;

  std::set<uint64_t> files_, searches_, keys_, services_, libraries_;
  bool ddeStarted_ = false, ddeConnected_ = false;
};

// The user interface beside a FaultPlatform: everything is forwarded until the platform is
// killed; after that a question is answered as nobody answering it would be (the safest
// answer, as the scripted user gives an unscripted question) and reaches no one.
class FaultUi final : public ForwardingUi {
 public:
  FaultUi(UserInterface& inner, const FaultPlatform& platform)
      : ForwardingUi(inner), platform_(platform) {}

  // Questions answered after the kill; UI calls in all, for the watchdog.
  int deadQuestions = 0;
  uint64_t calls = 0;
  void LimitCalls(uint64_t limit) { callLimit_ = limit; }

#define UI_OP(result, Name, parameters, arguments) result Name parameters override;
#include "platform/ui_operations.def"

 private:
  void Count();
  const FaultPlatform& platform_;
  uint64_t callLimit_ = 0;
};
