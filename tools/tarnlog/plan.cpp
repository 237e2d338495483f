// The plan of an uninstall (plan.h). Two wrappers sit between the program and the machine:
// a platform that forwards every call and notes the ones that change something, and a
// user interface that notes action lines and questions and answers every question with the
// choice that changes the least. Both write into one list, so the order of the steps is
// the order of the run. What the run keeps is found afterwards on the same machine, as
// `tarnlog verify` finds it after a real run.
#include "tarnlog/plan.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "log/run_journal.h"
#include "platform/forwarding.h"
#include "platform/platform.h"
#include "repair/file_check.h"
#include "tarnlog/load_log.h"
#include "tarnlog/machine_snapshot.h"
#include "ui/console_ui.h"
#include "uninstall/uninstall_driver.h"

namespace {

std::string Text(const char* text) { return text != nullptr ? text : "(none)"; }

std::string RootName(RegHandle root) {
  switch (root) {
    case 0x80000000u: return "HKCR";
    case 0x80000001u: return "HKCU";
    case 0x80000002u: return "HKLM";
    case 0x80000003u: return "HKU";
    case 0x80000005u: return "HKCC";
    default: return std::string();
  }
}

// Registry data in one line: strings as text, DWORDs as numbers, anything else in hex.
std::string DataText(uint32_t type, const void* data, uint32_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr) return "(none)";
  if (type == kRegDword && size == 4)
    return std::to_string(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | (uint32_t)bytes[3] << 24);
  if (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz) {
    // The terminators are dropped before the bars go in: the second byte of ポ is a bar's.
    while (size > 0 && bytes[size - 1] == 0) --size;
    std::string text;
    for (uint32_t i = 0; i < size; ++i)
      text.push_back(bytes[i] == 0 ? '|' : static_cast<char>(bytes[i]));
    return "\"" + text + "\"";
  }
  std::string hex;
  char two[4];
  for (uint32_t i = 0; i < size && i < 64; ++i) {
    snprintf(two, sizeof two, "%02x", bytes[i]);
    hex += two;
  }
  return hex + (size > 64 ? "..." : "");
}

class RecordingPlatform final : public ForwardingPlatform {
 public:
  RecordingPlatform(Platform& inner, std::vector<PlanStep>& steps)
      : ForwardingPlatform(inner), steps_(steps) {}

  void Note(const char* kind, const std::string& text) { steps_.push_back({kind, text}); }
  std::string KeyName(RegHandle key) {
    std::string root = RootName(key);
    if (!root.empty()) return root;
    auto found = keys_.find(key);
    return found != keys_.end() ? found->second : "(key)";
  }
  std::string SubKey(RegHandle parent, const char* path) {
    std::string name = KeyName(parent);
    if (path != nullptr && *path != '\0') name += "\\" + std::string(path);
    return name;
  }

  int SetAttributes(const char* p, uint32_t a) override {
    int r = inner_.SetAttributes(p, a);
    if (r == 0) Note("attributes", Text(p) + " = " + std::to_string(a));
    return r;
  }
  int RemoveFile(const char* p) override {
    int r = inner_.RemoveFile(p);
    Note("delete", Text(p) + (r == 0 ? "" : " (refused: " + std::to_string(r) + ")"));
    return r;
  }
  int CopyFileTo(const char* f, const char* t, bool x) override {
    int r = inner_.CopyFileTo(f, t, x);
    Note("copy", Text(f) + " -> " + Text(t) + (r == 0 ? "" : " (failed)"));
    return r;
  }
  int MoveFileFlags(const char* f, const char* t, uint32_t flags) override {
    int r = inner_.MoveFileFlags(f, t, flags);
    std::string when = (flags & kMoveDelayUntilReboot) ? " at the next restart" : "";
    Note("move", Text(f) + " -> " + (t != nullptr ? std::string(t) : "(deleted)") + when +
                     (r == 0 ? "" : " (failed)"));
    return r;
  }
  int MakeDirectory(const char* p) override {
    int r = inner_.MakeDirectory(p);
    if (r == 0) Note("mkdir", Text(p));
    return r;
  }
  int RemoveEmptyDirectory(const char* p) override {
    int r = inner_.RemoveEmptyDirectory(p);
    if (r == 0) Note("rmdir", Text(p));
    return r;
  }
  FileHandle OpenForWrite(const char* p) override {
    FileHandle f = inner_.OpenForWrite(p);
    if (f != kNoFile) files_[f] = Text(p);
    return f;
  }
  FileHandle CreateTruncated(const char* p) override {
    FileHandle f = inner_.CreateTruncated(p);
    if (f != kNoFile) {
      files_[f] = Text(p);
      Note("write", Text(p) + " created or emptied");
    }
    return f;
  }
  int WriteBytes(FileHandle f, const void* d, uint32_t c) override {
    int r = inner_.WriteBytes(f, d, c);
    if (r > 0) Note("write", files_[f] + ": " + std::to_string(r) + " bytes");
    return r;
  }
  int SetLength(FileHandle f, int64_t l) override {
    int r = inner_.SetLength(f, l);
    if (r == 0) Note("write", files_[f] + ": cut to " + std::to_string(l) + " bytes");
    return r;
  }
  void CloseFile(FileHandle f) override {
    files_.erase(f);
    inner_.CloseFile(f);
  }
  int WriteIniString(const char* s, const char* k, const char* v, const char* f) override {
    int r = inner_.WriteIniString(s, k, v, f);
    std::string what = Text(f) + " [" + Text(s) + "]";
    if (k == nullptr)
      what += " section removed";
    else if (v == nullptr)
      what += " " + std::string(k) + " removed";
    else
      what += " " + std::string(k) + "=" + v;
    Note("ini", what + (r == 0 ? "" : " (failed)"));
    return r;
  }
  int RegOpen(RegHandle p, const char* path, uint32_t a, RegHandle* k) override {
    int r = inner_.RegOpen(p, path, a, k);
    if (r == 0) keys_[*k] = SubKey(p, path);
    return r;
  }
  int RegCreate(RegHandle p, const char* path, uint32_t a, RegHandle* k) override {
    bool existed = false;
    RegHandle probe = 0;
    if (inner_.RegOpen(p, path, kKeyQueryValue, &probe) == 0) {
      existed = true;
      inner_.RegClose(probe);
    }
    int r = inner_.RegCreate(p, path, a, k);
    if (r == 0) {
      keys_[*k] = SubKey(p, path);
      if (!existed) Note("regcreate", keys_[*k]);
    }
    return r;
  }
  int RegSet(RegHandle k, const char* n, uint32_t t, const void* d, uint32_t s) override {
    int r = inner_.RegSet(k, n, t, d, s);
    Note("regset", KeyName(k) + " " + (n != nullptr && *n ? n : "(default)") + " = " +
                       DataText(t, d, s) + (r == 0 ? "" : " (failed)"));
    return r;
  }
  int RegRemoveValue(RegHandle k, const char* n) override {
    int r = inner_.RegRemoveValue(k, n);
    if (r == 0) Note("regdelvalue", KeyName(k) + " " + (n != nullptr && *n ? n : "(default)"));
    return r;
  }
  int RegRemoveKey(RegHandle p, const char* path) override {
    int r = inner_.RegRemoveKey(p, path);
    if (r == 0) Note("regdelkey", SubKey(p, path));
    return r;
  }
  void RegClose(RegHandle k) override {
    keys_.erase(k);
    inner_.RegClose(k);
  }
  ServiceHandle ServiceOpen(ServiceHandle m, const char* n, uint32_t a) override {
    ServiceHandle s = inner_.ServiceOpen(m, n, a);
    if (s != 0) services_[s] = Text(n);
    return s;
  }
  ServiceHandle ServiceCreate(ServiceHandle m, const char* n, const char* b) override {
    ServiceHandle s = inner_.ServiceCreate(m, n, b);
    if (s != 0) Note("service", Text(n) + " created");
    return s;
  }
  int ServiceStop(ServiceHandle s) override {
    int r = inner_.ServiceStop(s);
    if (r == 0) Note("service", services_[s] + " stopped");
    return r;
  }
  int ServiceDelete(ServiceHandle s) override {
    int r = inner_.ServiceDelete(s);
    Note("service",
         services_[s] + (r == 0 ? " deleted" : " not deleted (" + std::to_string(r) + ")"));
    return r;
  }
  void ServiceClose(ServiceHandle h) override {
    services_.erase(h);
    inner_.ServiceClose(h);
  }
  int StartProcess(const char* c, const char* d, bool w) override {
    Note("process", Text(c) + (w ? " (waited for)" : ""));
    return inner_.StartProcess(c, d, w);
  }
  int ExecProgram(const char* c, int s) override {
    Note("process", Text(c));
    return inner_.ExecProgram(c, s);
  }
  int ShellOpen(const char* f, const char* p, const char* d, int s) override {
    Note("process", "open " + Text(f) + (p != nullptr && *p ? " " + std::string(p) : ""));
    return inner_.ShellOpen(f, p, d, s);
  }
  LibHandle LoadSystemLib(const char* n) override {
    LibHandle l = inner_.LoadSystemLib(n);
    if (l != 0) libraries_[l] = Text(n);
    return l;
  }
  LibHandle LoadLib(const char* p) override {
    LibHandle l = inner_.LoadLib(p);
    if (l != 0) libraries_[l] = Text(p);
    return l;
  }
  int CallEntry(LibHandle l, const char* n, int32_t* r) override {
    Note("library", libraries_[l] + " " + Text(n));
    return inner_.CallEntry(l, n, r);
  }
  int CallRestorePoint(LibHandle l, const RestorePointRequest& q, RestorePointStatus* s,
                       int32_t* r) override {
    Note("library", "restore point: " + std::string(q.description));
    return inner_.CallRestorePoint(l, q, s, r);
  }
  int CallInstallStatusMif(LibHandle l, const StatusMifArguments& a, int32_t* r) override {
    Note("library", "status report " + Text(a.fileName));
    return inner_.CallInstallStatusMif(l, a, r);
  }
  void FreeLib(LibHandle l) override {
    libraries_.erase(l);
    inner_.FreeLib(l);
  }
  int CreateShellLink(const ShellLinkFields& l) override {
    Note("link", Text(l.linkPath) + " -> " + Text(l.target));
    return inner_.CreateShellLink(l);
  }
  int DdeExecuteText(const char* c, uint32_t t) override {
    Note("dde", Text(c));
    return inner_.DdeExecuteText(c, t);
  }
  void BroadcastSettingsChange() override {
    Note("broadcast", "settings changed");
    inner_.BroadcastSettingsChange();
  }
  int RestartWindows() override {
    Note("restart", "Windows restarts");
    return inner_.RestartWindows();
  }

 private:
  std::vector<PlanStep>& steps_;
  std::map<RegHandle, std::string> keys_;
  std::map<FileHandle, std::string> files_;
  std::map<ServiceHandle, std::string> services_;
  std::map<LibHandle, std::string> libraries_;
};

// A user who watches: action lines are noted, each question is noted with the answer the
// console gives (the one that changes the least). The wizard is present so that the
// driver shows its actions; it is wide enough that no path is shortened.
class RecordingUi final : public ConsoleUi {
 public:
  explicit RecordingUi(std::vector<PlanStep>& steps) : steps_(steps) {}

  int AskMessage(WindowHandle, const char* text, const char* caption, uint32_t type) override {
    int answer = ConsoleDefaultAnswer(type);
    steps_.push_back(
        {"question", "[" + Text(caption) + "] " + Text(text) + " -> " + AnswerName(answer)});
    return answer;
  }
  int AskSharedFile(WindowHandle, const char* text, const char* caption) override {
    steps_.push_back(
        {"question", "[" + Text(caption) + "] " + Text(text) + " -> closed (file kept)"});
    return kIdCancel;
  }
  bool HasWizard() override { return true; }
  void SetActionText(const char* text) override {
    // The control's text starts with two line breaks and puts the item on its own line.
    std::string line;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
      if (*p == '\r') continue;
      if (*p == '\n') {
        if (!line.empty() && line.back() != ' ') line.push_back(' ');
        continue;
      }
      line.push_back(*p);
    }
    steps_.push_back({"action", line});
  }
  int ActionControlWidth() override { return 1 << 20; }
  int MeasureActionText(const char* text) override {
    int n = 0;
    while (text != nullptr && text[n] != '\0') ++n;
    return n;
  }

 private:
  static const char* AnswerName(int answer) {
    switch (answer) {
      case kIdOk: return "OK";
      case kIdCancel: return "Cancel";
      case kIdAbort: return "Abort";
      case kIdYes: return "Yes";
      case kIdNo: return "No";
      default: return "?";
    }
  }
  std::vector<PlanStep>& steps_;
};

// The log's bytes, read before the run deletes it or cuts it back.
std::string ReadWholeFile(Platform& machine, const char* path) {
  std::string bytes;
  FileHandle file = machine.OpenForRead(path);
  if (file == kNoFile) return bytes;
  char block[16384];
  int got;
  while ((got = machine.ReadBytes(file, block, sizeof block)) > 0) bytes.append(block, got);
  machine.CloseFile(file);
  return bytes;
}

// What the run took to zero in SharedDLLs and kept: a value it removed from the counts'
// key, for a file still there.
RunFacts FactsOfTheRun(const std::vector<PlanStep>& steps) {
  static const std::string kCounts =
      "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs ";
  RunFacts facts;
  for (const PlanStep& step : steps) {
    if (step.kind != "regdelvalue" || step.text.size() <= kCounts.size()) continue;
    if (!EqualNoCaseAscii(step.text.c_str(), kCounts.c_str(), kCounts.size())) continue;
    facts.sharedReleasedKept.push_back(step.text.substr(kCounts.size()));
  }
  return facts;
}

bool EndsWithNoCase(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         EqualNoCase(text.c_str() + text.size() - ending.size(), ending.c_str());
}

// True for the reasons of items the run acted on and could not (or was not to) remove: an
// action line names them. The other reasons are gates, which keep an item before any line.
bool AfterAnAction(const std::string& reason) {
  for (const char* acted :
       {kReasonPendingDelete, kReasonPendingReplace, kReasonNotEmpty, kReasonLink, kReasonProtected,
        kReasonBackupRestored, kReasonRestored, kReasonUnexplained})
    if (reason == acted) return true;
  return false;
}

// Puts each kept item after the changes of the last action line that names it; the others
// go at the end.
void PlaceKeptItems(const LeftoverReport& report, std::vector<PlanStep>* steps) {
  std::vector<PlanStep> atEnd;
  for (const Leftover& leftover : report.items) {
    PlanStep kept{"kept", leftover.item, leftover};
    size_t action = steps->size();
    for (size_t i = 0; i < steps->size() && AfterAnAction(leftover.reason); ++i) {
      const PlanStep& step = (*steps)[i];
      if (step.kind == "action" && EndsWithNoCase(step.text, " " + leftover.anchor)) action = i;
    }
    if (action == steps->size()) {
      kept.unnamed = true;
      atEnd.push_back(kept);
      continue;
    }
    size_t at = action + 1;
    while (at < steps->size() && (*steps)[at].kind != "action") ++at;
    steps->insert(steps->begin() + static_cast<std::ptrdiff_t>(at), kept);
  }
  steps->insert(steps->end(), atEnd.begin(), atEnd.end());
}

// The logged date and time of a stamp, or the file's, as the log writes them.
std::string DosText(uint16_t date, uint16_t time) {
  char text[32];
  snprintf(text, sizeof text, "%02d-%02d-%04d %02d:%02d:%02d", DosMonth(date), DosDay(date),
           DosYear(date), DosHour(time), DosMinute(time), DosSecond(time));
  return text;
}

// What makes a file another than the logged copy, in words.
std::string ChangeDetail(StampVerdict verdict, const StampCheck& check) {
  if (verdict == StampVerdict::kOlder || verdict == StampVerdict::kNewer)
    return "last written " + DosText(check.fileDate, check.fileTime) + ", logged " +
           DosText(check.stamp.dosDate, check.stamp.dosTime);
  if (verdict == StampVerdict::kSizeDiffers)
    return std::to_string(check.fileSize) + " bytes, logged " + std::to_string(check.stamp.size);
  char text[80];
  snprintf(text, sizeof text, "same time and size, another CRC-32 than the logged %08x",
           static_cast<unsigned>(check.stamp.checksum));
  return text;
}

// The private files the user changed since they were installed, checked as a repair checks
// them, on the machine as it is before anything is removed. A missing file holds nothing of
// the user's; one that cannot be read says nothing about who changed it; a link is written
// by the shell, not copied, and has no stamp a repair compares.
void FindChangedFiles(std::vector<ChangedFile>* changed) {
  // On a copy of a machine, large files have no contents: the files themselves are read.
  OnSnapshotOriginal original;
  for (int32_t i = 0; i < gStore.PrivateFiles.count; ++i) {
    const FileItem& item = *gStore.PrivateFiles[i];
    if (item.linkSpec != nullptr || item.path.Empty()) continue;
    StampCheck check;
    StampVerdict verdict = CheckAgainstStamp(item.path.c_str(), item.stamp.c_str(), &check);
    if (verdict != StampVerdict::kOlder && verdict != StampVerdict::kNewer &&
        verdict != StampVerdict::kSizeDiffers && verdict != StampVerdict::kChecksumDiffers)
      continue;
    changed->push_back({item.path.c_str(), VerdictName(verdict), ChangeDetail(verdict, check)});
  }
}

// Marks each changed file right after the last action line that names it: the line that
// removes it comes after any that unregister it. A file no line names (kept by a gate)
// stays in the list only.
void MarkChangedFiles(const std::vector<ChangedFile>& changed, std::vector<PlanStep>* steps) {
  for (const ChangedFile& file : changed) {
    size_t action = steps->size();
    for (size_t i = 0; i < steps->size(); ++i) {
      const PlanStep& step = (*steps)[i];
      if (step.kind == "action" && EndsWithNoCase(step.text, " " + file.path)) action = i;
    }
    if (action == steps->size()) continue;
    PlanStep mark{"changed", file.path, Leftover{"file", file.path, file.reason, file.detail, ""}};
    steps->insert(steps->begin() + static_cast<std::ptrdiff_t>(action + 1), mark);
  }
}

// The log as it was before the run, loaded again on the machine the run left, and the
// machine checked against it. The copy goes to a scratch folder of the simulated machine
// (the log's own folder is not an item of the log, so where it lies changes nothing).
void FindWhatTheRunKeeps(const std::string& switches, const std::string& log, PlanResult* result) {
  Platform& machine = Sys();
  char temp[260] = {};
  machine.TempDirectory(temp, sizeof temp);
  temp[sizeof temp - 1] = '\0';
  std::string folder = temp;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  folder += "tarnlog-plan";
  std::string copy = folder + "\\INSTALL.LOG";
  machine.MakeDirectory(folder.c_str());
  FileHandle file = machine.CreateTruncated(copy.c_str());
  if (file == kNoFile) return;
  machine.WriteBytes(file, log.data(), static_cast<uint32_t>(log.size()));
  machine.CloseFile(file);

  // The run's answers are not wanted here: the load shows nothing on a log it accepted.
  ConsoleUi console;
  InstallUserInterface(&console);
  StartRunAsProgram(switches, copy.c_str());
  if (LogLoader(gRun.logPath.c_str(), gRun.appDirectory.data()) == 0) {
    gRun.uninstallMode = kModeAutomatic;
    LeftoverReport report;
    FindLeftovers(FactsOfTheRun(result->steps), &report);
    PlaceKeptItems(report, &result->steps);
    result->unexplained = report.unexplained;
  }
  machine.RemoveFile(copy.c_str());
  machine.RemoveEmptyDirectory(folder.c_str());
}

}  // namespace

void RunPlan(const std::string& switches, const char* logPath, PlanResult* result) {
  *result = PlanResult();
  Platform& machine = Sys();
  RecordingPlatform recorder(machine, result->steps);
  RecordingUi ui(result->steps);

  // Start-up's part, on the machine as it is, with what an interrupted run left.
  StartRunAsProgram(switches, logPath);
  InstallUserInterface(&ui);
  OpenRunJournal(gRun.logPath.c_str());
  result->resumed = JournalResumed();
  int64_t logFate = -1;
  if (result->resumed && IsWorkDone(&logFate)) {
    // Only the interrupted run's end is left, and the log may be gone already.
    result->endOnly = true;
    InstallPlatform(&recorder);
    FinishUninstall(gRun.logPath.c_str());
    InstallPlatform(&machine);
    return;
  }
  result->loadResult = LogLoader(gRun.logPath.c_str(), gRun.appDirectory.data());
  if (result->loadResult != 0) {
    InstallPlatform(&machine);
    return;
  }
  std::string log = ReadWholeFile(machine, gRun.logPath.c_str());
  gRun.shellLibrary = machine.LoadSystemLib("SHELL32.DLL");
  gRun.hasShellNotify =
      gRun.shellLibrary != 0 && machine.HasEntry(gRun.shellLibrary, "SHChangeNotify");
  gRun.uninstallMode = kModeAutomatic;
  gRun.wizardFinished = true;
  gRun.progressMode = true;
  FindChangedFiles(&result->changed);

  InstallPlatform(&recorder);
  UninstallDriver(gRun.logPath.c_str());
  FinishUninstall(gRun.logPath.c_str());
  InstallPlatform(&machine);
  MarkChangedFiles(result->changed, &result->steps);
  result->rollback = gRun.rollbackChosen;
  result->cancelled = gRun.cancelled;
  result->rebootNeeded = gRun.rebootNeeded;
  result->selfDeletePending = gRun.selfDeletePending;
  if (!result->cancelled) FindWhatTheRunKeeps(switches, log, result);
  InstallUserInterface(&ui);
}

void WritePlanJson(JsonWriter& w, const PlanResult& result) {
  JsonOpenObject(w);
  JsonKey(w, "rollback");
  JsonBool(w, result.rollback);
  JsonKey(w, "resumes");
  JsonText(w, result.endOnly ? "end" : result.resumed ? "interrupted" : "");
  JsonKey(w, "changed");
  JsonOpenArray(w);
  for (const ChangedFile& file : result.changed) {
    JsonOpenObject(w, true);
    JsonKey(w, "path");
    JsonText(w, file.path.c_str());
    JsonKey(w, "reason");
    JsonText(w, file.reason.c_str());
    JsonKey(w, "detail");
    JsonText(w, file.detail.c_str());
    JsonCloseObject(w);
  }
  JsonCloseArray(w);
  JsonKey(w, "steps");
  JsonOpenArray(w);
  for (const PlanStep& step : result.steps) {
    JsonOpenObject(w, true);
    JsonKey(w, "kind");
    JsonText(w, step.kind.c_str());
    JsonKey(w, "text");
    JsonText(w, step.text.c_str());
    if (step.kind == "changed") {
      JsonKey(w, "reason");
      JsonText(w, step.kept.reason.c_str());
      JsonKey(w, "detail");
      JsonText(w, step.kept.detail.c_str());
    } else if (step.kind == "kept") {
      JsonKey(w, "itemKind");
      JsonText(w, step.kept.kind.c_str());
      JsonKey(w, "reason");
      JsonText(w, step.kept.reason.c_str());
      JsonKey(w, "detail");
      JsonText(w, step.kept.detail.c_str());
    }
    JsonCloseObject(w);
  }
  JsonCloseArray(w);
  JsonKey(w, "rebootNeeded");
  JsonBool(w, result.rebootNeeded);
  JsonKey(w, "selfDeletePending");
  JsonBool(w, result.selfDeletePending);
  JsonKey(w, "unexplained");
  JsonNumber(w, result.unexplained);
  JsonCloseObject(w);
  w.out.push_back('\n');
}

namespace {

std::string Files(size_t count) {
  return std::to_string(count) + (count == 1 ? " file" : " files");
}

}  // namespace

std::string PlanText(const PlanResult& result) {
  std::string text;
  if (result.endOnly) {
    text += "An interrupted run of this log did its work; a run now only ends it:\n";
  } else if (result.resumed) {
    text += "An interrupted run of this log left its journal; a run now finishes it without "
            "taking a step of it again (counts taken, backups put back, values written back):\n";
  }
  // Before any step: what the run would remove of the user's own changes.
  if (!result.changed.empty()) {
    text += "Changed since installation (" + Files(result.changed.size()) +
            "; the uninstall removes them like the others):\n";
    for (const ChangedFile& file : result.changed)
      text += "    " + Utf8(file.path) + "\n        " + file.reason + ": " + file.detail + "\n";
  }
  size_t kept = 0;
  size_t marks = 0;
  bool unnamedSeen = false;
  for (const PlanStep& step : result.steps) {
    if (step.kind == "action") {
      text += Utf8(step.text) + "\n";
    } else if (step.kind == "kept") {
      // Kept items that no action line names come last, under a line of their own.
      if (step.unnamed && !unnamedSeen) text += "Kept, named by no action line:\n";
      unnamedSeen = unnamedSeen || step.unnamed;
      text += "    kept: " + Utf8(step.kept.kind + " " + step.text) + "\n        " +
              step.kept.reason + ": " + Utf8(step.kept.detail) + "\n";
      ++kept;
    } else if (step.kind == "changed") {
      text += "    changed since installation: " + step.kept.reason + ": " +
              Utf8(step.kept.detail) + "\n";
      ++marks;
    } else {
      text += "    " + step.kind + ": " + Utf8(step.text) + "\n";
    }
  }
  text += std::string("-- ") + (result.rollback ? "rollback" : "uninstall") +
          " planned: " + std::to_string(result.steps.size() - kept - marks) + " steps, " +
          std::to_string(kept) + " items kept (" + std::to_string(result.unexplained) +
          " unexplained), " + Files(result.changed.size()) + " changed since installation" +
          (result.rebootNeeded ? ", a restart is needed" : "") +
          (result.selfDeletePending ? ", the program removes itself" : "") + "\n";
  return text;
}
