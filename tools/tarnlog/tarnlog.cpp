// tarnlog: loads an install log exactly as the uninstaller does and prints what it read.
//
//   tarnlog dump [--machine IMAGE] [--log-from HOSTFILE] LOG
//   tarnlog plan [--machine IMAGE] [--log-from HOSTFILE] [--json] [--repair] [/A] [/R] [/S] LOG
//   tarnlog verify [--machine IMAGE] [--log-from HOSTFILE] [--json] [/R] LOG
//
// Natively the machine is simulated (seeded from IMAGE) and LOG is a path on it; built for
// Windows it is the machine the program runs on. The item store goes to standard output as
// JSON (docs/tarnlog.md); the plan lists, in order, every action line, question and change
// an automatic uninstall (or, with /R, rollback) would make, without making any of them,
// and what it would keep; verify, run after an uninstall on a copy of the log saved before
// it, lists what the log names that is still there, with the reason. Exit status: 0
// printed (for verify: everything checked, nothing unexplained left), 3 verify found
// something unexplained, 5 a run of the log was interrupted (what is left waits for the next
// run), 4 verify could not make every check (and found nothing unexplained),
// 2 the loader refused the log (its message is on standard error), 1 the command line or
// the machine could not be used.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "tarnlog/json_writer.h"
#include "tarnlog/load_log.h"
#include "tarnlog/plan.h"
#include "tarnlog/repair_plan.h"
#include "tarnlog/store_dump.h"
#include "tarnlog/tool_machine.h"
#include "tarnlog/verify.h"
#include "ui/console_ui.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

int Usage() {
  fprintf(stderr,
          "usage: tarnlog dump [--machine IMAGE] [--log-from HOSTFILE] LOG\n"
          "       tarnlog plan [--machine IMAGE] [--log-from HOSTFILE] [--json] [--repair] [/A] [/R] [/S] LOG\n"
          "       tarnlog verify [--machine IMAGE] [--log-from HOSTFILE] [--json] [/R] LOG\n"
          "  LOG            the install log, a path on the machine that is read (for verify:\n"
          "                 a copy saved before the run, outside the application's folders)\n"
          "  --machine      seed the simulated machine from this machine image (native)\n"
          "  --log-from     put this host file on the simulated machine at LOG first (native)\n"
          "  --json         the plan or the check as JSON instead of text\n"
          "  --repair       plan a repair instead of an uninstall\n"
          "  /A /R /S       the program's switches (the plan is always of the automatic method;\n"
          "                 /R makes it a rollback; verify checks after a rollback with /R)\n"
          "verify exits 0 when everything was checked and nothing unexplained is left, 3 when\n"
          "something is unexplained, 5 when a run of the log was interrupted (running it\n"
          "again finishes it), 4 when some check could not be made.\n");
  return 1;
}

// Output as bytes: the JSON is UTF-8 with "\n" line ends on every build.
void WriteOut(const std::string& text) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
}

// Sets up the machine a command reads; 0 when ready, 1 (with the reason on standard error)
// when it cannot be.
int InstallMachine(int (*install)(const ToolMachineOptions&, std::string*),
                   const ToolMachineOptions& machine) {
  std::string error;
  if (install(machine, &error) == 0) return 0;
  fprintf(stderr, "tarnlog: %s\n", error.c_str());
  return 1;
}

// After the loader refused the log: a hint where the log may be, when there is one.
void SayMissingLogHint(const ToolMachineOptions& machine) {
  std::string hint = MissingLogHint(machine);
  if (!hint.empty()) fprintf(stderr, "%s\n", hint.c_str());
}

int Dump(const ToolMachineOptions& machine) {
  if (InstallMachine(InstallToolMachine, machine) != 0) return 1;
  // The console user prints every message the loader shows to standard error.
  static ConsoleUi ui;
  InstallUserInterface(&ui);
  if (LoadLogAsUninstaller(machine.logPath) != 0) {
    SayMissingLogHint(machine);
    return 2;
  }
  JsonWriter w;
  DumpStore(w);
  if (w.failed) {
    fprintf(stderr, "tarnlog: internal error: unbalanced JSON\n");
    return 1;
  }
  WriteOut(w.out);
  return 0;
}

int Plan(const ToolMachineOptions& machine, const std::string& switches, bool json, bool repair) {
  if (InstallMachine(InstallPlanMachine, machine) != 0) return 1;
  if (repair) {
    // The console user prints every message the loader shows to standard error.
    static ConsoleUi ui;
    InstallUserInterface(&ui);
    RepairPlan plan;
    RunRepairPlan(switches, machine.logPath, &plan);
    if (plan.loadResult != 0) return 2;
    JsonWriter w;
    if (json) WriteRepairPlanJson(w, plan);
    WriteOut(json ? w.out : RepairPlanText(plan));
    return 0;
  }
  PlanResult result;
  RunPlan(switches, machine.logPath, &result);
  if (result.loadResult != 0) {
    for (const PlanStep& step : result.steps) fprintf(stderr, "%s\n", step.text.c_str());
    return 2;
  }
  if (json) {
    JsonWriter w;
    WritePlanJson(w, result);
    WriteOut(w.out);
  } else {
    WriteOut(PlanText(result));
  }
  return 0;
}

constexpr int kUnexplainedLeft = 3;
constexpr int kNotAllChecked = 4;
constexpr int kInterrupted = 5;

int Verify(const ToolMachineOptions& machine, bool rollback, bool json) {
  if (InstallMachine(InstallToolMachine, machine) != 0) return 1;
  static ConsoleUi ui;
  InstallUserInterface(&ui);
  VerifyResult result;
  RunVerify(rollback, machine.logPath, &result);
  if (result.loadResult != 0) {
    SayMissingLogHint(machine);
    return 2;
  }
  if (json) {
    JsonWriter w;
    WriteVerifyJson(w, result);
    WriteOut(w.out);
  } else {
    WriteOut(VerifyText(result));
  }
  if (result.report.unexplained > 0) return kUnexplainedLeft;
  if (result.report.interrupted) return kInterrupted;
  return result.report.unchecked.empty() ? 0 : kNotAllChecked;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const char* command = argv[1];
  ToolMachineOptions machine;
  std::string switches;
  bool json = false;
  bool repair = false;
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "--machine") == 0 && i + 1 < argc) {
      machine.imagePath = argv[++i];
    } else if (strcmp(argv[i], "--log-from") == 0 && i + 1 < argc) {
      machine.logFrom = argv[++i];
    } else if (strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (strcmp(argv[i], "--repair") == 0) {
      repair = true;
    } else if (argv[i][0] == '/' && argv[i][1] != '\0' && argv[i][2] == '\0' &&
               machine.logPath == nullptr) {
      switches += std::string(switches.empty() ? "" : " ") + argv[i];
    } else if (argv[i][0] == '-' || machine.logPath != nullptr) {
      return Usage();
    } else {
      machine.logPath = argv[i];
    }
  }
  if (machine.logPath == nullptr) return Usage();
  if (strcmp(command, "dump") == 0) return Dump(machine);
  if (strcmp(command, "plan") == 0) return Plan(machine, switches, json, repair);
  if (strcmp(command, "verify") == 0) {
    // Only /R means anything afterwards: the run was automatic (or silent) either way.
    bool rollback = false;
    for (size_t at = 0; at + 1 < switches.size(); ++at)
      if (switches[at] == '/' && (switches[at + 1] == 'R' || switches[at + 1] == 'r')) rollback = true;
    return Verify(machine, rollback, json);
  }
  return Usage();
}
