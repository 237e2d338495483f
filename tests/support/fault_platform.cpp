// FaultPlatform and FaultUi (fault_platform.h), and the table of how each operation fails.
#include "support/fault_platform.h"

#include <cstring>
#include <tuple>
#include <type_traits>

#include "platform/sim/sim_machine.h"

namespace {

constexpr uint32_t kErrProcNotFound = 127;

enum class Kind {
  kFails,   // fails with the result and error of its entry
  kPure,    // cannot fail and changes nothing: passes even in a dead process
  kEffect,  // no result to fail with: passes, and does nothing in a dead process
};

struct Entry {
  FaultOp op;
  Kind kind;
  int64_t result;
  uint32_t error;
  const char* name;
};

// The failures, named once each and given to the operations below.
struct Failure {
  int64_t result;
  uint32_t error;
  const char* name;
};
constexpr Failure kAccessDenied = {kErrAccessDenied, kErrAccessDenied, "access denied"};
constexpr Failure kSharingViolation = {kErrSharingViolation, kErrSharingViolation,
                                       "sharing violation"};
constexpr Failure kDeviceError = {kErrGeneric, kErrGeneric, "device error"};
constexpr Failure kNoFileHandle = {kNoFile, kErrSharingViolation, "no handle (sharing violation)"};
constexpr Failure kNoSearchHandle = {kNoSearch, kErrAccessDenied, "no search (access denied)"};
constexpr Failure kNoHandle = {0, kErrAccessDenied, "no handle (access denied)"};
constexpr Failure kNoLibrary = {0, kErrModNotFound, "no library"};
constexpr Failure kNoLength = {0, kErrInsufficientBuffer, "no text (buffer too small)"};
constexpr Failure kNoCount = {-1, kErrGeneric, "no bytes (device error)"};
constexpr Failure kNoAnswer = {0, kErrAccessDenied, "no (access denied)"};
constexpr Failure kNoAttributesRead = {kNoAttributes, kErrAccessDenied,
                                       "no attributes (access denied)"};
constexpr Failure kNoEntryPoint = {0, kErrProcNotFound, "no entry point"};
constexpr Failure kNotStarted = {kErrFileNotFound, kErrFileNotFound, "not started"};
constexpr Failure kDefaultRead = {0, kErrAccessDenied, "the default (file unreadable)"};

constexpr Entry Fails(FaultOp op, const Failure& f) {
  return {op, Kind::kFails, f.result, f.error, f.name};
}
constexpr Entry Pure(FaultOp op) { return {op, Kind::kPure, 0, 0, "cannot fail"}; }
constexpr Entry Effect(FaultOp op) { return {op, Kind::kEffect, 0, 0, "no result"}; }

using O = FaultOp;
constexpr Entry kTable[] = {
    Fails(O::GetAttributes, kNoAttributesRead),
    Fails(O::SetAttributes, kAccessDenied),
    Fails(O::RemoveFile, kSharingViolation),
    Fails(O::CopyFileTo, kAccessDenied),
    Fails(O::MoveFileFlags, kAccessDenied),
    Fails(O::MakeDirectory, kAccessDenied),
    Fails(O::RemoveEmptyDirectory, kSharingViolation),
    Fails(O::OpenForRead, kNoFileHandle),
    Fails(O::OpenForWrite, kNoFileHandle),
    Fails(O::CreateTruncated, kNoFileHandle),
    Fails(O::ReadBytes, kNoCount),
    Fails(O::WriteBytes, kNoCount),
    Fails(O::Seek, kNoCount),
    Fails(O::SetLength, kAccessDenied),
    Fails(O::GetLastWrite, kDeviceError),
    Fails(O::GetTimeAndSize, kDeviceError),
    Effect(O::CloseFile),
    Fails(O::FlushFile, kDeviceError),
    Fails(O::FindFirst, kNoSearchHandle),
    Fails(O::FindNext, kDeviceError),
    Effect(O::FindEnd),
    Fails(O::GetCurrentDir, kNoLength),
    Fails(O::TempDirectory, kNoLength),
    Fails(O::ModuleFileName, kNoLength),
    Fails(O::WindowsDirectory, kNoLength),
    Fails(O::SystemDirectory, kNoLength),
    Fails(O::SetCurrentDir, kAccessDenied),
    Fails(O::TempFileName, {0, kErrAccessDenied, "no name (access denied)"}),
    Fails(O::RandomBytes, kDeviceError),
    Pure(O::Version),
    Fails(O::DriveType, {kDriveUnknown, kErrAccessDenied, "unknown drive"}),
    Effect(O::SuppressFileErrorBoxes),
    Pure(O::LocalTimeNow),
    Pure(O::TickCount),
    Fails(O::FileTimeToLocalDos, {kErrInvalidParameter, kErrInvalidParameter, "invalid time"}),
    Fails(O::DaylightShiftMinutes, {0, kErrGeneric, "no zone (no shift)"}),
    Pure(O::OemToAnsiText),
    Pure(O::IsLeadByte),
    Pure(O::UpperByte),
    Fails(O::ReadIniString, kDefaultRead),
    Fails(O::ReadIniInt, kDefaultRead),
    Fails(O::WriteIniString, kAccessDenied),
    Fails(O::RegOpen, kAccessDenied),
    Fails(O::RegCreate, kAccessDenied),
    Fails(O::RegQuery, kAccessDenied),
    Fails(O::RegSet, kAccessDenied),
    Fails(O::RegRemoveValue, kAccessDenied),
    Fails(O::RegEnumValueAt, kAccessDenied),
    Fails(O::RegEnumKeyAt, kAccessDenied),
    Fails(O::RegHoldsEntries, kAccessDenied),
    Fails(O::RegRemoveKey, kAccessDenied),
    Effect(O::RegClose),
    // No lock (a name another user's object holds): the run goes on unguarded.
    Fails(O::ClaimRunLock, kAccessDenied),
    Effect(O::ReleaseRunLock),
    Fails(O::ScmOpen, kNoHandle),
    Fails(O::ServiceOpen, kNoHandle),
    Fails(O::ServiceCreate, kNoHandle),
    Fails(O::ServiceStop, kAccessDenied),
    Fails(O::ServiceDelete, kAccessDenied),
    Effect(O::ServiceClose),
    Fails(O::StartProcess, kNotStarted),
    // WinExec and ShellExecute answer a failure with a number of 32 or less.
    Fails(O::ExecProgram, {kErrFileNotFound, kErrFileNotFound, "not started (2)"}),
    Fails(O::ShellOpen, {kErrAccessDenied, kErrAccessDenied, "not started (5)"}),
    Fails(O::LoadSystemLib, kNoLibrary),
    Fails(O::LoadLib, kNoLibrary),
    Fails(O::HasEntry, kNoEntryPoint),
    Fails(O::CallEntry, kDeviceError),
    Fails(O::CallEntryWithPointer, kDeviceError),
    Fails(O::CallRestorePoint, kDeviceError),
    Fails(O::CallInstallStatusMif, kDeviceError),
    Fails(O::CallShellChangeNotify, kDeviceError),
    Effect(O::FreeLib),
    Fails(O::LoadStringText, {0, kErrGeneric, "no text"}),
    Fails(O::ResourceBytes, kDeviceError),
    Fails(O::CreateShellLink, kAccessDenied),
    Fails(O::DdeStart, kDeviceError),
    Fails(O::DdeConnectTo, kDeviceError),
    Fails(O::DdeRequestText, kNoCount),
    Fails(O::DdeExecuteText, kDeviceError),
    Effect(O::DdeDisconnectNow),
    Effect(O::DdeStop),
    Fails(O::TopWindowOfClassExists, kNoAnswer),
    Effect(O::BroadcastSettingsChange),
    Fails(O::RestartWindows, kAccessDenied),
    Pure(O::LastError),
    Fails(O::SystemErrorText, kNoLength),
};

const char* const kNames[] = {
#define PLATFORM_OP(result, Name, parameters, arguments) #Name,
#include "platform/platform_operations.def"
};

// The table by operation; an operation the table lacks cannot fail until it is added.
struct Lookup {
  Entry byOp[static_cast<int>(FaultOp::kCount)];
  bool listed[static_cast<int>(FaultOp::kCount)] = {};
  Lookup() {
    for (int i = 0; i < static_cast<int>(FaultOp::kCount); ++i)
      byOp[i] = Pure(static_cast<FaultOp>(i));
    for (const Entry& e : kTable) {
      byOp[static_cast<int>(e.op)] = e;
      listed[static_cast<int>(e.op)] = true;
    }
  }
};

const Lookup& Table() {
  static const Lookup lookup;
  return lookup;
}

}  // namespace

const char* FaultOpName(FaultOp op) {
  int i = static_cast<int>(op);
  return i >= 0 && i < static_cast<int>(FaultOp::kCount) ? kNames[i] : "(none)";
}

OpFailure FailureOf(FaultOp op) {
  OpFailure f;
  int i = static_cast<int>(op);
  if (i < 0 || i >= static_cast<int>(FaultOp::kCount)) return f;
  const Entry& e = Table().byOp[i];
  f.canFail = e.kind == Kind::kFails;
  f.listed = Table().listed[i];
  f.result = e.result;
  f.error = e.error;
  f.name = e.name;
  return f;
}

FaultPlatform::Fate FaultPlatform::Enter(FaultOp op) {
  ++calls_;
  if (callLimit_ != 0 && calls_ > callLimit_)
    throw RunawayRun(std::string("more than ") + std::to_string(callLimit_) + " calls, the last " +
                     FaultOpName(op));
  if (recordTrace_) trace_.push_back(op);
  const Entry& e = Table().byOp[static_cast<int>(op)];
  if (!killed_ && killAt_ != 0 && calls_ >= killAt_) Kill();
  if (killed_) return e.kind == Kind::kPure ? Fate::kPass : Fate::kDead;
  bool chosen = calls_ == failAt_ || (op == failOp_ && ++failOpSeen_ == failOpAt_);
  if (chosen && e.kind == Kind::kFails) {
    injected_ = true;
    injectedOp_ = op;
    return Fate::kFail;
  }
  return Fate::kPass;
}

// The system closes what a process held when it ends.
void FaultPlatform::Kill() {
  killed_ = true;
  for (uint64_t h : files_) inner_.CloseFile(static_cast<FileHandle>(h));
  for (uint64_t h : searches_) inner_.FindEnd(static_cast<SearchHandle>(h));
  for (uint64_t h : keys_) inner_.RegClose(static_cast<RegHandle>(h));
  for (uint64_t h : services_) inner_.ServiceClose(static_cast<ServiceHandle>(h));
  for (uint64_t h : libraries_) inner_.FreeLib(static_cast<LibHandle>(h));
  if (ddeConnected_) inner_.DdeDisconnectNow();
  if (ddeStarted_) inner_.DdeStop();
  files_.clear();
  searches_.clear();
  keys_.clear();
  services_.clear();
  libraries_.clear();
  ddeStarted_ = ddeConnected_ = false;
}

void FaultPlatform::CutProfile(const char* section, const char* file) {
  if (section == nullptr || file == nullptr) return;  // a flush of the cache writes nothing
  std::string path = file;
  if (path.find('\\') == std::string::npos) {
    // A bare name is the Windows directory's, as the profile functions place it.
    char windows[260] = {};
    inner_.WindowsDirectory(windows, sizeof windows);
    path = std::string(windows) + "\\" + path;
  }
  if (inner_.GetAttributes(path.c_str()) == kNoAttributes) return;
  FileHandle cut = inner_.CreateTruncated(path.c_str());
  if (cut != kNoFile) inner_.CloseFile(cut);
}

size_t FaultPlatform::OpenHandles() const {
  return files_.size() + searches_.size() + keys_.size() + services_.size() + libraries_.size() +
         (ddeStarted_ ? 1 : 0) + (ddeConnected_ ? 1 : 0);
}

std::string FaultPlatform::OpenHandlesText() const {
  std::string text;
  auto add = [&](const char* what, size_t n) {
    if (n == 0) return;
    text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + what;
  };
  add("files", files_.size());
  add("searches", searches_.size());
  add("registry keys", keys_.size());
  add("service handles", services_.size());
  add("libraries", libraries_.size());
  add("DDE instance", ddeStarted_ ? 1 : 0);
  add("DDE conversation", ddeConnected_ ? 1 : 0);
  return text;
}

namespace {

bool IsRootKey(uint64_t key) { return key >= 0x80000000u && key <= 0x80000006u; }

}  // namespace

template <FaultOp op, typename R, typename Pass, typename Arguments>
R FaultPlatform::Call(Pass pass, Arguments arguments) {
  Fate fate = Enter(op);
  if (fate == Fate::kPass) {
    // The thread's last error is the failed call's until another call goes through.
    if constexpr (op == FaultOp::LastError) {
      if (failedLast_) return lastError_;
    } else {
      failedLast_ = false;
    }
    if constexpr (std::is_void_v<R>) {
      pass();
      if constexpr (op == FaultOp::CloseFile) files_.erase(std::get<0>(arguments));
      if constexpr (op == FaultOp::FindEnd) searches_.erase(std::get<0>(arguments));
      if constexpr (op == FaultOp::RegClose) keys_.erase(std::get<0>(arguments));
      if constexpr (op == FaultOp::ServiceClose) services_.erase(std::get<0>(arguments));
      if constexpr (op == FaultOp::FreeLib) {
        auto it = libraries_.find(std::get<0>(arguments));
        if (it != libraries_.end()) libraries_.erase(it);
      }
      if constexpr (op == FaultOp::DdeDisconnectNow) ddeConnected_ = false;
      if constexpr (op == FaultOp::DdeStop) ddeStarted_ = ddeConnected_ = false;
      return;
    } else {
      R r = pass();
      if constexpr (op == FaultOp::OpenForRead || op == FaultOp::OpenForWrite ||
                    op == FaultOp::CreateTruncated) {
        if (r != kNoFile) files_.insert(static_cast<uint64_t>(r));
      }
      if constexpr (op == FaultOp::FindFirst) {
        if (r != kNoSearch) searches_.insert(static_cast<uint64_t>(r));
      }
      if constexpr (op == FaultOp::RegOpen || op == FaultOp::RegCreate) {
        RegHandle key = *std::get<3>(arguments);
        if (r == 0 && key != 0 && !IsRootKey(key)) keys_.insert(key);
      }
      if constexpr (op == FaultOp::ScmOpen || op == FaultOp::ServiceOpen ||
                    op == FaultOp::ServiceCreate) {
        if (r != 0) services_.insert(r);
      }
      if constexpr (op == FaultOp::LoadSystemLib || op == FaultOp::LoadLib) {
        // A library loaded twice is one handle with two references.
        if (r != 0) libraries_.insert(r);
      }
      if constexpr (op == FaultOp::DdeStart) {
        if (r == 0) ddeStarted_ = true;
      }
      if constexpr (op == FaultOp::DdeConnectTo) {
        if (r == 0) ddeConnected_ = true;
      }
      return r;
    }
  }
  if constexpr (op == FaultOp::WriteIniString) {
    // The system rewrites the whole file for one entry: killed inside that call, the process
    // leaves the file truncated and not yet written again.
    if (fate == Fate::kDead && calls_ == killAt_)
      CutProfile(std::get<0>(arguments), std::get<3>(arguments));
  }
  if constexpr (std::is_void_v<R>) {
    return;  // a dead process does nothing more
  } else {
    const Entry& e = Table().byOp[static_cast<int>(op)];
    failedLast_ = true;
    lastError_ = e.error;
    // What the failed call leaves in its output: a key that was not opened is no key, a
    // profile that cannot be read gives the default, a text that cannot be loaded is empty.
    if constexpr (op == FaultOp::RegOpen || op == FaultOp::RegCreate) *std::get<3>(arguments) = 0;
    if constexpr (op == FaultOp::ReadIniString) {
      const char* fallback = std::get<2>(arguments);
      char* buffer = std::get<3>(arguments);
      uint32_t size = std::get<4>(arguments);
      if (buffer == nullptr || size == 0) return 0;
      size_t length = fallback != nullptr ? strlen(fallback) : 0;
      while (length > 0 && fallback[length - 1] == ' ') --length;
      if (length > size - 1) length = size - 1;
      if (length > 0) memcpy(buffer, fallback, length);
      buffer[length] = '\0';
      return static_cast<int>(length);
    }
    if constexpr (op == FaultOp::ReadIniInt) return std::get<2>(arguments);
    if constexpr (op == FaultOp::LoadStringText) {
      char* buffer = std::get<1>(arguments);
      if (buffer != nullptr && std::get<2>(arguments) > 0) buffer[0] = '\0';
    }
    if constexpr (op == FaultOp::LastError) return lastError_;
    if constexpr (std::is_arithmetic_v<R>) {
      return static_cast<R>(e.result);
    } else {
      return R{};
    }
  }
}

#define PLATFORM_OP(result, Name, parameters, arguments)                                  \
  result FaultPlatform::Name parameters {                                                 \
    return Call<FaultOp::Name, result>([&]() -> result { return inner_.Name arguments; }, \
                                       std::forward_as_tuple arguments);                  \
  }
#include "platform/platform_operations.def"

// ---------------------------------------------------------------------------------------

void FaultUi::Count() {
  ++calls;
  if (callLimit_ != 0 && calls > callLimit_)
    throw RunawayRun("more than " + std::to_string(callLimit_) + " calls of the user interface");
}

namespace {

enum class UiOp {
#define UI_OP(result, Name, parameters, arguments) Name,
#include "platform/ui_operations.def"
};

// The questions and the answer nobody gives them: the scripted user's answer to a
// question it was not told of.
bool IsQuestion(UiOp op) {
  return op == UiOp::AskMessage || op == UiOp::AskOpenLog || op == UiOp::AskSharedFile ||
         op == UiOp::AskInstallationPath;
}

template <typename Arguments>
int DeadAnswer(UiOp op, const Arguments& arguments) {
  switch (op) {
    case UiOp::AskMessage:
      if constexpr (std::tuple_size_v<Arguments> == 4) {
        return SimUi::UnscriptedAnswer(SimQuestion::kMessage,
                                       static_cast<uint32_t>(std::get<3>(arguments)));
      }
      return kIdCancel;
    case UiOp::AskOpenLog: return SimUi::UnscriptedAnswer(SimQuestion::kOpenLog, 0);
    case UiOp::AskSharedFile: return SimUi::UnscriptedAnswer(SimQuestion::kSharedFile, 0);
    default: return SimUi::UnscriptedAnswer(SimQuestion::kInstallationPath, 0);
  }
}

}  // namespace

#define UI_OP(result, Name, parameters, arguments)                                         \
  result FaultUi::Name parameters {                                                        \
    Count();                                                                               \
    if (IsQuestion(UiOp::Name) && platform_.killed()) {                                    \
      ++deadQuestions;                                                                     \
      return static_cast<result>(DeadAnswer(UiOp::Name, std::forward_as_tuple arguments)); \
    }                                                                                      \
    return inner_.Name arguments;                                                          \
  }
#include "platform/ui_operations.def"
