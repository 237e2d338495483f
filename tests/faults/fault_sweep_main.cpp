// fault_sweep: the whole fault sweep (fault_sweep.h), every failable call of every case.
//
//   fault_sweep [--case TEXT] [--k K] [--details N]
//     --case TEXT  only the cases whose name holds TEXT
//     --k K        only call K (with every finding of that run)
//     --op NAME    only the calls of that operation
//     --details N  the runs shown per check (default 5)
//     --changes    also what the unfaulted run changed (with --k: how that run ended
//                  otherwise)
//     --kill       the process killed at each call instead of the call failing, then the
//                  run started again, which must finish as a whole run does
//
// Prints per case the calls of the unfaulted run, the runs made, the time and the findings
// per check; exits 1 when any run found something other than what the design does (a
// counted file whose count cannot be read goes).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "faults/fault_sweep.h"

int main(int argc, char** argv) {
  const char* only = nullptr;
  uint64_t onlyK = 0;
  const char* onlyOp = nullptr;
  int details = 5;
  bool changes = false;
  bool kill = false;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--case") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else if (strcmp(argv[i], "--k") == 0 && i + 1 < argc) {
      onlyK = strtoull(argv[++i], nullptr, 10);
    } else if (strcmp(argv[i], "--kill") == 0) {
      kill = true;
    } else if (strcmp(argv[i], "--changes") == 0) {
      changes = true;
    } else if (strcmp(argv[i], "--op") == 0 && i + 1 < argc) {
      onlyOp = argv[++i];
    } else if (strcmp(argv[i], "--details") == 0 && i + 1 < argc) {
      details = atoi(argv[++i]);
    } else {
      fprintf(stderr,
              "usage: fault_sweep [--case TEXT] [--k K] [--op NAME] [--details N] [--changes] "
              "[--kill]\n");
      return 2;
    }
  }
  using Clock = std::chrono::steady_clock;
  auto start = Clock::now();
  int found = 0;
  uint64_t runs = 0;
  for (const SweepCase& sweepCase : StandardSweepCases(UNTARN_TEST_DATA)) {
    if (only != nullptr && sweepCase.name.find(only) == std::string::npos) continue;
    auto caseStart = Clock::now();
    CaseSweep sweep(sweepCase);
    // A process can be killed at any call, a call failed only where it can fail.
    std::vector<uint64_t> ks = sweep.FailableCalls();
    if (kill) {
      ks.clear();
      for (uint64_t k = 1; k <= sweep.trace().size(); ++k) ks.push_back(k);
    }
    if (onlyK != 0) ks = {onlyK};
    if (onlyOp != nullptr) {
      std::vector<uint64_t> ofOp;
      for (uint64_t k : ks)
        if (strcmp(FaultOpName(sweep.trace()[k - 1]), onlyOp) == 0) ofOp.push_back(k);
      ks = ofOp;
    }
    printf("%s: %zu calls, %zu of them can fail\n", sweepCase.name.c_str(), sweep.trace().size(),
           sweep.FailableCalls().size());
    if (changes && onlyK == 0)
      for (const StateChange& c : sweep.UnfaultedChanges()) printf("  %s\n", ChangeText(c).c_str());
    if (!sweep.baseline().findings.empty()) {
      printf("  the unfaulted run: %s\n", sweep.baseline().Text().c_str());
      ++found;
    }
    std::map<std::string, std::vector<std::string>> byCheck;
    std::map<std::string, int> byOperation;
    for (uint64_t k : ks) {
      // Named before it runs: a crash then points at its call.
      fprintf(stderr, "\r  %s k=%llu ", sweepCase.name.c_str(), static_cast<unsigned long long>(k));
      SweepRun run = kill ? sweep.KillAndRunAgain(k) : sweep.Run(k);
      ++runs;
      if (changes && (onlyK != 0 || onlyOp != nullptr)) {
        printf("  k=%llu %s, against the unfaulted run:\n", static_cast<unsigned long long>(k),
               FaultOpName(run.op));
        for (const StateChange& c : sweep.LastRunDifferences())
          printf("    %s\n", ChangeText(c).c_str());
      }
      if (run.findings.empty()) continue;
      ++byOperation[FaultOpName(run.op)];
      std::map<std::string, bool> seen;
      for (const SweepFinding& f : run.findings) {
        if (seen[f.check]) continue;
        seen[f.check] = true;
        byCheck[f.check].push_back(run.Text());
      }
    }
    fprintf(stderr, "\r%*s\r", 60, "");
    double seconds = std::chrono::duration<double>(Clock::now() - caseStart).count();
    printf("  %zu runs in %.1f s\n", ks.size(), seconds);
    for (const auto& check : byCheck) {
      printf("  %s%s: %zu runs\n", check.first.c_str(),
             check.first == kCheckUnreadCount ? " (as the design says)" : "", check.second.size());
      for (int i = 0; i < details && i < static_cast<int>(check.second.size()); ++i)
        printf("    %s\n", check.second[static_cast<size_t>(i)].c_str());
      if (check.first != kCheckUnreadCount) found += static_cast<int>(check.second.size());
    }
    if (!byOperation.empty()) {
      printf("  failed operations that found something:");
      for (const auto& op : byOperation) printf(" %s (%d)", op.first.c_str(), op.second);
      printf("\n");
    }
  }
  printf("%llu runs in %.1f s; %d runs found a fault\n", static_cast<unsigned long long>(runs),
         std::chrono::duration<double>(Clock::now() - start).count(), found);
  return found > 0 ? 1 : 0;
}
