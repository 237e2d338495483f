// The fault sweep and its machinery: the fault-injecting platform (each operation's
// failure, the kill and what it closes, the user nobody answers for), the picture of the
// machine's state, and a sample of the sweep itself: calls spread over every case's run and
// every call of the operations whose failures found faults, each run checked as
// faults/fault_sweep.h says. The whole sweep is `make faults`.
#include "faults/fault_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "support/fault_platform.h"
#include "support/machine_diff.h"

namespace {

// ---------------------------------------------------------------------------------------
// FaultPlatform

TEST(FaultPlatform, EveryOperationIsInTheTableOfFailures) {
  int failing = 0;
  for (int i = 0; i < static_cast<int>(FaultOp::kCount); ++i) {
    FaultOp op = static_cast<FaultOp>(i);
    OpFailure f = FailureOf(op);
    EXPECT_TRUE(f.listed) << FaultOpName(op) << " is not in the table of fault_platform.cpp";
    EXPECT_STRNE(f.name, "") << FaultOpName(op);
    failing += f.canFail;
  }
  EXPECT_GT(failing, 60);
  EXPECT_FALSE(FailureOf(FaultOp::UpperByte).canFail);
  EXPECT_FALSE(FailureOf(FaultOp::CloseFile).canFail);
}

class FaultPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override { Seed(); }
  void Seed() {
    ASSERT_EQ(machine.WriteFile("C:\\APP\\A.TXT", "a"), 0);
    ASSERT_EQ(machine.WriteFile("C:\\APP\\P.EXE", "MZ program"), 0);
    ASSERT_EQ(machine.WriteFile("C:\\APP\\A.INI", "[S]\r\nK=7\r\n"), 0);
    ASSERT_EQ(machine.RegSetRaw("HKLM\\Software\\App", "V", kRegSz, RegStringBytes("x")), 0);
    machine.RemoveFile("C:\\APP\\B.TXT");
    machine.processes.clear();
  }
  SimMachine machine;
  SimUi sim;
};

// The first call of each operation fails as that operation fails, with its error as the
// last error, and nothing reaches the machine; the next call of it goes through.
TEST_F(FaultPlatformTest, ACallFailsAsItsOperationFails) {
  struct Case {
    FaultOp op;
    std::function<int64_t(Platform&)> call;
    int64_t failed;
    std::function<bool()> untouched;
  };
  char buffer[64];
  RegHandle key = 7;
  const Case cases[] = {
      {FaultOp::RemoveFile, [](Platform& p) { return p.RemoveFile("C:\\APP\\A.TXT"); },
       kErrSharingViolation, [&] { return machine.FileExists("C:\\APP\\A.TXT"); }},
      {FaultOp::CreateTruncated, [](Platform& p) { return p.CreateTruncated("C:\\APP\\B.TXT"); },
       kNoFile, [&] { return !machine.FileExists("C:\\APP\\B.TXT"); }},
      {FaultOp::RegOpen,
       [&](Platform& p) { return p.RegOpen(RegistryRoot(2), "Software\\App", kKeyRead, &key); },
       kErrAccessDenied, [&] { return key == 0 && machine.OpenRegistryHandles() == 0; }},
      {FaultOp::ReadIniString,
       [&](Platform& p) {
         return p.ReadIniString("S", "K", "none", buffer, sizeof buffer, "C:\\APP\\A.INI");
       },
       4, [&] { return std::string(buffer) == "none"; }},
      {FaultOp::ReadIniInt, [](Platform& p) { return p.ReadIniInt("S", "K", 3, "C:\\APP\\A.INI"); },
       3, [] { return true; }},
      {FaultOp::GetAttributes, [](Platform& p) { return p.GetAttributes("C:\\APP\\A.TXT"); },
       kNoAttributes, [] { return true; }},
      {FaultOp::ExecProgram, [](Platform& p) { return p.ExecProgram("C:\\APP\\P.EXE", kSwShow); },
       kErrFileNotFound, [&] { return machine.processes.empty(); }},
      {FaultOp::WindowsDirectory,
       [&](Platform& p) { return p.WindowsDirectory(buffer, sizeof buffer); }, 0,
       [] { return true; }},
      {FaultOp::LoadStringText,
       [&](Platform& p) { return p.LoadStringText(2, buffer, sizeof buffer); }, 0,
       [&] { return buffer[0] == '\0'; }},
      {FaultOp::LoadSystemLib,
       [](Platform& p) { return static_cast<int64_t>(p.LoadSystemLib("OLE32.DLL")); }, 0,
       [] { return true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FaultOpName(c.op));
    Seed();
    FaultPlatform fault(machine);
    fault.FailOperation(c.op);
    EXPECT_EQ(c.call(fault), c.failed);
    EXPECT_EQ(fault.LastError(), FailureOf(c.op).error);
    EXPECT_TRUE(fault.injected());
    EXPECT_EQ(fault.injectedOp(), c.op);
    EXPECT_TRUE(c.untouched());
    int64_t again = c.call(fault);
    if (c.op != FaultOp::ReadIniInt) {
      EXPECT_NE(again, c.failed);
    }
    if (c.op == FaultOp::RegOpen) fault.RegClose(key);
    if (c.op == FaultOp::LoadSystemLib) fault.FreeLib(static_cast<LibHandle>(again));
    if (c.op == FaultOp::CreateTruncated) fault.CloseFile(static_cast<FileHandle>(again));
    EXPECT_EQ(fault.OpenHandles(), 0u) << fault.OpenHandlesText();
  }
}

// Every call counts, in order; a call that cannot fail is not failed at its number.
TEST_F(FaultPlatformTest, CallsAreCountedAndOnlyFailableOnesFail) {
  FaultPlatform fault(machine);
  fault.RecordTrace(true);
  fault.FailCall(1);
  EXPECT_EQ(fault.UpperByte('a'), 'A');
  EXPECT_FALSE(fault.injected());
  fault.FailCall(3);
  EXPECT_NE(fault.GetAttributes("C:\\APP\\A.TXT"), kNoAttributes);
  EXPECT_EQ(fault.GetAttributes("C:\\APP\\A.TXT"), kNoAttributes);
  EXPECT_EQ(fault.calls(), 3u);
  EXPECT_EQ(fault.trace(), (std::vector<FaultOp>{FaultOp::UpperByte, FaultOp::GetAttributes,
                                                 FaultOp::GetAttributes}));
  fault.LimitCalls(4);
  fault.GetAttributes("C:\\APP\\A.TXT");
  EXPECT_THROW(fault.GetAttributes("C:\\APP\\A.TXT"), RunawayRun);
}

// From the kill on nothing reaches the machine: what the process held is closed, as the
// system closes a dead process's handles, and its later calls fail or do nothing, while
// pure conversions still answer. Questions get the answer of nobody, and do not reach the
// scripted user.
TEST_F(FaultPlatformTest, AKilledProcessLeavesTheMachineAsItWas) {
  FaultPlatform fault(machine);
  FaultUi ui(sim, fault);
  sim.AnswerMessage(kIdOk);
  EXPECT_EQ(ui.AskMessage(0, "before", "caption", kMbOkCancel), kIdOk);
  FileHandle file = fault.OpenForWrite("C:\\APP\\A.TXT");
  ASSERT_NE(file, kNoFile);
  RegHandle key = 0;
  ASSERT_EQ(fault.RegOpen(RegistryRoot(2), "Software\\App", kKeyRead, &key), 0);
  ASSERT_EQ(fault.OpenHandles(), 2u);
  EXPECT_EQ(fault.WriteBytes(file, "bc", 2), 2);
  fault.KillAt(fault.calls() + 1);

  EXPECT_EQ(fault.WriteBytes(file, "de", 2), -1);
  EXPECT_TRUE(fault.killed());
  EXPECT_EQ(fault.OpenHandles(), 0u);
  EXPECT_EQ(machine.OpenRegistryHandles(), 0u);
  fault.CloseFile(file);
  EXPECT_NE(fault.RemoveFile("C:\\APP\\A.TXT"), 0);
  EXPECT_EQ(fault.RegRemoveValue(key, "V"), kErrAccessDenied);
  EXPECT_EQ(fault.UpperByte('b'), 'B');
  EXPECT_EQ(machine.FileContents("C:\\APP\\A.TXT"), "bc");
  EXPECT_EQ(machine.RegString("HKLM\\Software\\App", "V"), "x");
  // The inner machine holds nothing of the dead process: the file is free again.
  EXPECT_EQ(fault.inner().RemoveFile("C:\\APP\\A.TXT"), 0);

  sim.AnswerMessage(kIdOk);
  EXPECT_EQ(ui.AskMessage(0, "after", "caption", kMbOkCancel), kIdCancel);
  EXPECT_EQ(ui.AskSharedFile(0, "after", "caption"), kIdCancel);
  EXPECT_EQ(ui.deadQuestions, 2);
  EXPECT_EQ(sim.transcript.size(), 1u);
  EXPECT_EQ(sim.answers.size(), 1u);
}

// ---------------------------------------------------------------------------------------
// The machine's state

TEST(MachineDiff, ChangesAreNamedAsALogNamesThem) {
  SimMachine machine;
  ASSERT_EQ(machine.WriteFile("C:\\Program Files\\App\\A.EXE", "a"), 0);
  ASSERT_EQ(machine.WriteFile("C:\\Program Files\\App\\B.DLL", "b"), 0);
  ASSERT_EQ(machine.WriteFile("C:\\WINDOWS\\APP.INI", "[Options]\r\nLevel=1\r\nKeep=2\r\n"), 0);
  ASSERT_EQ(machine.RegSetRaw("HKLM\\Software\\Classes\\.app", "", kRegSz, RegStringBytes("App")),
            0);
  ASSERT_EQ(machine.RegSetRaw("HKCU\\Software\\App", "Size", kRegDword, RegDwordBytes(3)), 0);
  machine.services["APPSVC"] = SimService{"AppSvc", "C:\\APP\\SVC.EXE"};
  machine.groups.push_back({"App", "C:\\WINDOWS\\APP.GRP", {{"App", "C:\\APP\\A.EXE"}}});
  MachineState before = CaptureState(machine);

  machine.RemoveFile("C:\\Program Files\\App\\A.EXE");
  machine.WriteFile("C:\\Program Files\\App\\B.DLL", "b2");
  machine.MakeDirectories("C:\\Program Files\\App\\New");
  machine.WriteIniString("Options", "Level", "5", "APP.INI");
  machine.RegRemoveTree("HKLM\\Software\\Classes\\.app");
  machine.RegSetRaw("HKCU\\Software\\App", "Size", kRegDword, RegDwordBytes(4));
  machine.services.clear();
  machine.groups.clear();
  std::vector<std::string> texts;
  for (const StateChange& c : DiffStates(before, CaptureState(machine))) {
    std::string text = ChangeText(c);
    texts.push_back(text.substr(0, text.find(':')));
  }
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts,
            (std::vector<std::string>{
                "added folder C", "changed INI entry C", "changed file C", "changed file C",
                "changed registry value HKCU\\SOFTWARE\\APP|SIZE", "removed file C",
                "removed group APP", "removed icon APP|APP", "removed registry key HKCR\\.APP",
                "removed registry value HKCR\\.APP|", "removed service APPSVC"}));

  // Names: long paths, folded; HKCR for the classes; INI entries by file, section and key.
  std::string shortPath = "C:\\" + machine.Find("C:\\Program Files")->shortName + "\\APP\\b.dll";
  EXPECT_EQ(StatePath(machine, shortPath), "C:\\PROGRAM FILES\\APP\\B.DLL");
  EXPECT_EQ(StateKey(0, ".app"), "HKCR\\.APP");
  EXPECT_EQ(StateKey(2, "Software\\Classes\\.app"), "HKCR\\.APP");
  EXPECT_EQ(StateIniEntry(machine, "app.ini", "options", "level"),
            "C:\\WINDOWS\\APP.INI [OPTIONS] LEVEL");
  EXPECT_NE(before.Find(kStateIni, "C:\\WINDOWS\\APP.INI [OPTIONS] KEEP"), nullptr);
}

// ---------------------------------------------------------------------------------------
// The sweep

// The operations whose failures found faults: every call of them is run.
const FaultOp kRegressionOperations[] = {FaultOp::WindowsDirectory,
                                         FaultOp::SystemDirectory,
                                         FaultOp::ReadBytes,
                                         FaultOp::OpenForWrite,
                                         FaultOp::Seek,
                                         FaultOp::MoveFileFlags,
                                         FaultOp::CopyFileTo,
                                         FaultOp::RegSet,
                                         FaultOp::RegCreate,
                                         FaultOp::HasEntry,
                                         FaultOp::CallEntryWithPointer,
                                         FaultOp::WriteIniString,
                                         FaultOp::FindFirst,
                                         FaultOp::GetAttributes};
constexpr size_t kSpreadCalls = 60;

std::vector<uint64_t> SampleOf(const CaseSweep& sweep) {
  std::vector<uint64_t> failable = sweep.FailableCalls();
  std::vector<uint64_t> ks = SpreadCalls(failable, kSpreadCalls);
  for (uint64_t k : failable)
    for (FaultOp op : kRegressionOperations)
      if (sweep.trace()[k - 1] == op) ks.push_back(k);
  std::sort(ks.begin(), ks.end());
  ks.erase(std::unique(ks.begin(), ks.end()), ks.end());
  return ks;
}

// Each case's unfaulted run, then a sample of its calls failed one at a time: no finding
// but what the design does (a counted file whose count cannot be read goes, and is named).
TEST(FaultSweep, SampledCallsFailWithoutHarm) {
  for (const SweepCase& sweepCase : StandardSweepCases(UNTARN_TEST_DATA)) {
    SCOPED_TRACE(sweepCase.name);
    CaseSweep sweep(sweepCase);
    EXPECT_TRUE(sweep.baseline().findings.empty()) << sweep.baseline().Text();
    ASSERT_GT(sweep.FailableCalls().size(), 100u);
    std::vector<uint64_t> ks = SampleOf(sweep);
    int designed = 0;
    for (uint64_t k : ks) {
      SweepRun run = sweep.Run(k);
      EXPECT_TRUE(run.injected) << run.Text();
      for (const SweepFinding& f : run.findings) {
        if (f.check == kCheckUnreadCount) {
          ++designed;
          continue;
        }
        ADD_FAILURE() << run.Text();
        break;
      }
    }
    RecordProperty(sweepCase.name, std::to_string(ks.size()) + " runs");
    printf("  %s: %zu calls, %zu can fail, %zu failed one by one, %d by design\n",
           sweepCase.name.c_str(), sweep.trace().size(), sweep.FailableCalls().size(), ks.size(),
           designed);
  }
}

// The process killed at every call of each case's run (some seven thousand runs, seconds
// in all): what it leaves is checked as a failed call's leftovers are (the kill closes what
// the process held); then the same run is started again and must leave the machine as
// one whole run does.
TEST(FaultSweep, KilledRunsLeaveNothingUnaccountedAndFinishWhenRunAgain) {
  for (const SweepCase& sweepCase : StandardSweepCases(UNTARN_TEST_DATA)) {
    SCOPED_TRACE(sweepCase.name);
    CaseSweep sweep(sweepCase);
    for (uint64_t k = 1; k <= sweep.trace().size(); ++k) {
      SweepRun run = sweep.KillAndRunAgain(k);
      EXPECT_TRUE(run.injected) << run.Text();
      for (const SweepFinding& f : run.findings)
        if (f.check != kCheckUnreadCount) ADD_FAILURE() << run.Text();
    }
  }
}

// The checks find what they are for: a program the log runs (the sample's clean-up) that
// deletes a file the log never named, takes a shared count of its own and, in the faulted
// runs only, deletes a system file the unfaulted run keeps.
TEST(FaultSweep, TheChecksFindWhatTheyAreFor) {
  std::vector<SweepCase> cases = StandardSweepCases(UNTARN_TEST_DATA);
  SweepCase sweepCase = cases[0];
  ASSERT_EQ(sweepCase.name, "sample uninstall");
  auto faulted = std::make_shared<bool>(false);
  const std::string counts = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
  const std::string runtime = "C:\\windows\\system32\\FHRUNTIM.DLL";
  sweepCase.prepare = [faulted, counts, runtime](SimMachine& m) {
    m.WriteFile("C:\\windows\\NOTEPAD.EXE", "MZ notepad");
    m.RegSetRaw(counts, runtime, kRegDword, RegDwordBytes(5));
    // The log runs it by its short path.
    m.SetProgramHook("C:\\PROGRA~1\\FERNHILL\\BRAMBL~1\\BRAMBLE.EXE",
                     [faulted, counts, runtime](SimMachine& machine, const std::string&) {
                       machine.RemoveFile("C:\\windows\\NOTEPAD.EXE");
                       machine.RegSetRaw(counts, runtime, kRegDword, RegDwordBytes(3));
                       if (*faulted) machine.RemoveFile("C:\\windows\\system32\\FHVXD.386");
                     });
  };
  CaseSweep sweep(sweepCase);
  std::set<std::string> found;
  for (const SweepFinding& f : sweep.baseline().findings) found.insert(f.check);
  EXPECT_EQ(found, (std::set<std::string>{kCheckOutside, kCheckCounts}));
  *faulted = true;
  SweepRun run = sweep.Run(sweep.FailableCalls().back());
  found.clear();
  for (const SweepFinding& f : run.findings) found.insert(f.check);
  EXPECT_EQ(found, (std::set<std::string>{kCheckOutside, kCheckCounts, kCheckFurther}))
      << run.Text();
}

}  // namespace
