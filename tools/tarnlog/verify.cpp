// RunVerify and its two output forms (verify.h).
//
// The log is loaded as the program loads it, on the machine as the run left it. That load
// still sees every item the log names that is still there: the loader sets a file aside as
// missing only when it is gone (and then nothing is left of it to report), and keeps every
// folder, INI entry, registry record, service and icon whatever the machine holds. A file
// it now finds present but sets aside is one the log never let the run remove (overwritten
// without a backup copy and not counted), which is reported as such.
#include "tarnlog/verify.h"

#include "base/run_state.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "log/run_journal.h"
#include "tarnlog/load_log.h"

void RunVerify(bool rollback, const char* logPath, VerifyResult* result) {
  *result = VerifyResult();
  StartRunAsProgram(rollback ? "/A /R" : "/A", logPath);
  // Only read: a journal found is the machine's, not this check's to drop.
  OpenRunJournal(gRun.logPath.c_str(), true);
  bool interrupted = JournalResumed();
  result->loadResult = LogLoader(gRun.logPath.c_str(), gRun.appDirectory.data());
  if (result->loadResult != 0) return;
  // The method a silent or automatic run takes; choosing items by hand leaves no trace in
  // the log, so a custom run cannot be checked afterwards.
  gRun.uninstallMode = kModeAutomatic;
  result->rollback = gRun.rollbackChosen;
  result->appTitle = gRun.appTitle.c_str();
  result->sections = gStore.sectionCount;
  FindLeftovers(RunFacts(), &result->report);
  if (!interrupted) return;
  // What nothing else explains is what the interrupted run did not get to.
  char journal[260];
  JournalPathFor(gRun.logPath.c_str(), journal, sizeof journal);
  LeftoverReport& report = result->report;
  report.interrupted = true;
  report.notes.push_back(std::string("a run of this log stopped before its end and left its "
                                     "journal (") +
                         journal + "); running the uninstall again finishes it");
  for (Leftover& leftover : report.items) {
    if (leftover.reason != kReasonUnexplained) continue;
    leftover.reason = kReasonInterrupted;
    leftover.detail = "the interrupted run stopped before it got here (" + leftover.detail + ")";
    --report.unexplained;
  }
}

void WriteVerifyJson(JsonWriter& w, const VerifyResult& result) {
  JsonOpenObject(w);
  JsonKey(w, "rollback");
  JsonBool(w, result.rollback);
  JsonKey(w, "items");
  JsonOpenArray(w);
  for (const Leftover& leftover : result.report.items) {
    JsonOpenObject(w, true);
    WriteLeftoverMembers(w, leftover);
    JsonCloseObject(w);
  }
  JsonCloseArray(w);
  JsonKey(w, "notes");
  JsonOpenArray(w);
  for (const std::string& note : result.report.notes) JsonText(w, note.c_str());
  JsonCloseArray(w);
  JsonKey(w, "unchecked");
  JsonOpenArray(w);
  for (const std::string& kind : result.report.unchecked) JsonText(w, kind.c_str());
  JsonCloseArray(w);
  JsonKey(w, "interrupted");
  JsonBool(w, result.report.interrupted);
  JsonKey(w, "unexplained");
  JsonNumber(w, result.report.unexplained);
  JsonCloseObject(w);
  w.out.push_back('\n');
}

std::string VerifyText(const VerifyResult& result) {
  std::string text = "Still on this machine of what the log of " + Utf8(result.appTitle) + " (" +
                     std::to_string(result.sections) +
                     (result.sections == 1 ? " section" : " sections") + ") names, after " +
                     (result.rollback ? "a rollback" : "an uninstall") + ":\n";
  for (const Leftover& leftover : result.report.items) text += LeftoverText(leftover, "");
  for (const std::string& note : result.report.notes) text += "note: " + Utf8(note) + "\n";
  size_t count = result.report.items.size();
  text += "-- " + std::to_string(count) + (count == 1 ? " item" : " items") + " left, " +
          std::to_string(result.report.unexplained) + " unexplained";
  for (size_t i = 0; i < result.report.unchecked.size(); ++i) {
    text += (i == 0 ? "; not checked: " : ", ") + result.report.unchecked[i];
  }
  text += "\n";
  return text;
}
