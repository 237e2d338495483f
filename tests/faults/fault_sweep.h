// The fault sweep: a whole run of the program on the simulated machine (an uninstall, a
// rollback or a repair, with the clean-up run of its temporary copy when it starts one) is
// made once unfaulted, then again with the k-th call of the seam failing as that call
// realistically fails, for any k. After each faulted run:
//
//   - it ended (no crash; a run that makes far more calls than the unfaulted one, or asks
//     the user interface far more often, is a runaway), left no handle open, and ended
//     no OLE initialisation it had not begun;
//   - nothing outside what the log names changed (beside what the program owns: its
//     temporary copy and folder, the status report, restart-time operations, list files);
//   - no SharedDLLs count, nor the database engine's use count, is below the count before
//     the run less what the log lets the run take (one per section that counted the file,
//     one in a rollback);
//   - after a restart, no item the log names that the unfaulted run leaves is gone or in a
//     state that is neither its state before the run nor the unfaulted run's (a repair may
//     also leave what the installation program extracts); a counted file whose count could
//     not be read goes, as the design says, and is reported apart;
//   - after an uninstall or rollback, `tarnlog verify` (run with the log saved before the
//     run) names every item the failure left behind, or left otherwise, than the unfaulted
//     run; it gives none of them a reason that blames the log (a kept section, a protected
//     folder, a backup, a system file) when the unfaulted run removed it, nor says that a
//     backup copy was put back; and every item it calls unexplained is one of those or one
//     it also lists after the unfaulted run (then left without what that run did for it,
//     such as a deletion at the restart);
//   - after a repair, the repair's plan (`tarnlog plan --repair`) names every logged file
//     the failure left unrepaired.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#include "support/fault_platform.h"
#include "support/machine_diff.h"

struct SweepCase {
  enum Kind { kUninstall, kRollback, kRepair };
  std::string name;
  Kind kind = kUninstall;
  MachineImage image;
  std::string logPath;      // on the machine
  std::string commandLine;  // switches and the log
  bool wizard = false;      // a wizard window is there (the repair's method page, /A's progress)
  std::function<void(SimMachine&)> prepare;  // after the image: damage for a repair
  // What changes on the machine between a killed run and the run started again (a file
  // that was in use is free), when something does.
  std::function<void(SimMachine&)> beforeRunAgain;
};

// The sample application (tests/data/sample) uninstalled and rolled back silently, the
// repair fixture (tests/data/repair) damaged and repaired, and the every-kind log
// (testing/loggen) uninstalled and rolled back with its wizard (the rollback once more with
// its files in use freed before a killed run is started again), repaired, and uninstalled
// silently on the Windows 95 family. dataDir is tests/data.
std::vector<SweepCase> StandardSweepCases(const std::string& dataDir);

struct SweepFinding {
  std::string check;  // kCheck... below
  std::string detail;
};

extern const char kCheckRunaway[];
extern const char kCheckException[];
extern const char kCheckHandles[];
extern const char kCheckOle[];
extern const char kCheckOutside[];
extern const char kCheckCounts[];
extern const char kCheckFurther[];
// What the design does (a count that cannot be read counts as none) rather than a fault:
// reported, never failing the sweep.
extern const char kCheckUnreadCount[];
extern const char kCheckVerifyMisses[];
extern const char kCheckVerifyBlames[];
extern const char kCheckVerifyUnexplained[];
extern const char kCheckRepairPlan[];
// Killed, then run again: the machine after a restart differs from the whole run's.
extern const char kCheckRunAgain[];

struct SweepRun {
  uint64_t k = 0;                // the failed call; 0 for the unfaulted run
  bool killed = false;           // the process was killed at call k
  FaultOp op = FaultOp::kCount;  // its operation
  bool injected = false;         // the call came and was failed
  uint64_t calls = 0;
  std::vector<SweepFinding> findings;
  std::string Text() const;  // "k=12 RegOpen: check: detail; ..."
};

// One case: the unfaulted run is made when it is built, and any k can be run after it.
class CaseSweep {
 public:
  explicit CaseSweep(const SweepCase& sweepCase);
  ~CaseSweep();

  const SweepCase& sweepCase() const { return case_; }
  const SweepRun& baseline() const { return baseline_; }
  // The operation of each call of the unfaulted run (call k at index k - 1).
  const std::vector<FaultOp>& trace() const { return trace_; }
  // The calls that can fail, in order: a faulted run differs from the unfaulted one only
  // at those.
  std::vector<uint64_t> FailableCalls() const;

  SweepRun Run(uint64_t k);
  // The process killed at call k instead: from it on nothing reaches the machine, and the
  // run goes on to its end (what a kill leaves, checked as a failed call is).
  SweepRun Kill(uint64_t k);
  // Killed at call k, then the same run started again on what the kill left, unfaulted:
  // after a restart the machine must be as the unfaulted run left it (kCheckRunAgain).
  SweepRun KillAndRunAgain(uint64_t k);
  // What the unfaulted run changed, and how the last faulted run ended otherwise.
  std::vector<StateChange> UnfaultedChanges() const { return DiffStates(before_, baselineAfter_); }
  std::vector<StateChange> LastRunDifferences() const {
    return DiffStates(baselineAfter_, lastAfter_);
  }

 private:
  struct Names;
  // The machine of the case as the run finds it, with the log saved aside.
  void Prepare(SimMachine& machine) const;
  // One run failing call k (0: none); the unfaulted run also keeps what the others are
  // compared with.
  SweepRun Execute(uint64_t k, bool unfaulted, bool kill = false, bool runAgain = false);
  // The case's program run, with the clean-up run of its copy when one was started after
  // the processesBefore-th start on the machine.
  void RunWhole(SimMachine& machine, size_t processesBefore) const;
  void CheckOutside(SimMachine& machine, const MachineState& after, SweepRun* run) const;
  void CheckCounts(const MachineState& after, SweepRun* run) const;
  void CheckFurther(const MachineState& after, const MachineState& unfaulted, SweepRun* run) const;
  void CheckVerify(SimMachine& machine, const MachineState& after, SweepRun* run,
                   std::vector<std::string>* listed) const;
  void CheckRepairPlan(SimMachine& machine, const MachineState& after, SweepRun* run) const;

  SweepCase case_;
  std::unique_ptr<Names> names_;
  MachineState before_;
  MachineState baselineAfter_;
  MachineState baselineFinal_;  // after a restart
  MachineState lastAfter_;
  std::vector<std::string> baselineListed_;  // what verify lists after the unfaulted run
  std::vector<FaultOp> trace_;
  SweepRun baseline_;
};

// k spread evenly over the failable calls of a sweep: count of them, first and last
// included.
std::vector<uint64_t> SpreadCalls(const std::vector<uint64_t>& failable, size_t count);
