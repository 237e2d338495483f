// The check of what a run left: the real driver uninstalls (or rolls back) on a simulated
// machine, then RunVerify reads a copy of the log saved before the run and must give every
// item still there the reason the run had for it. Between them the scenarios reach every
// reason. The command itself is run for its exit statuses and its JSON.
#include "tarnlog/verify.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#include "tarnlog/plan.h"
#include "ui/console_ui.h"

namespace {

using Json = nlohmann::json;

constexpr const char* kLog = "C:\\Program Files\\Fernhill\\Bramble Notes\\INSTALL.LOG";
constexpr const char* kSaved = "C:\\Saved\\INSTALL.LOG";
constexpr const char* kApp = "C:\\Program Files\\Fernhill\\Bramble Notes\\";

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A machine seeded from the sample image, the log saved aside, a run made with switches,
// and the check made after it. adjust changes the machine before the run.
struct AfterRun {
  SimMachine machine;
  ConsoleUi ui;
  PlanResult run;
  VerifyResult check;
  std::map<std::string, Leftover> byItem;

  template <typename Adjust>
  void Make(const char* switches, Adjust adjust) {
    MachineImage image;
    std::string error;
    ASSERT_EQ(ReadMachineImage(ReadHostFile(std::string(TARNLOG_SAMPLE_DIR) + "/image.json"),
                               &image, &error),
              0)
        << error;
    ASSERT_EQ(machine.ApplyImage(image, &error), 0) << error;
    ASSERT_EQ(machine.WriteFile(kSaved, machine.FileContents(kLog)), 0);
    adjust(machine);
    InstallPlatform(&machine);
    RunPlan(switches, kLog, &run);
    ASSERT_EQ(run.loadResult, 0);
    InstallUserInterface(&ui);
    RunVerify(std::string(switches).find("/R") != std::string::npos, kSaved, &check);
    ASSERT_EQ(check.loadResult, 0);
    for (const Leftover& l : check.report.items) byItem[l.item] = l;
  }

  std::string Reason(const std::string& item) const {
    auto found = byItem.find(item);
    return found == byItem.end() ? "(not listed)" : found->second.reason;
  }
  std::string Detail(const std::string& item) const {
    auto found = byItem.find(item);
    return found == byItem.end() ? "" : found->second.detail;
  }
  std::string All() const {
    std::string text;
    for (const Leftover& l : check.report.items)
      text += l.kind + " " + l.item + ": " + l.reason + ": " + l.detail + "\n";
    return text;
  }
};

// A silent uninstall of the sample with a shared file other applications still count, a
// file held open, an unlogged file in the application's folder and a logged value removed
// by hand: what stays is there for a reason, and the JSON says so in its documented shape.
TEST(Verify, SilentUninstallLeavesOnlyWhatItMeansTo) {
  AfterRun after;
  const std::string shared = "C:\\windows\\system32\\FHRUNTIM.DLL";
  after.Make("/S", [&](SimMachine& m) {
    m.RegSetRaw("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", shared, kRegDword,
                RegDwordBytes(2));
    m.SetInUse(std::string(kApp) + "README.TXT", true);
    m.WriteFile(std::string(kApp) + "MYNOTES.TXT", "mine");
    m.RegRemoveRaw("HKCU\\Software\\Fernhill\\Bramble Notes\\Settings", "Greeting");
  });
  SCOPED_TRACE(after.All());

  EXPECT_EQ(after.Reason(shared), kReasonShared);
  EXPECT_NE(after.Detail(shared).find("counts 1 other user"), std::string::npos);
  EXPECT_EQ(after.Reason(std::string(kApp) + "README.TXT"), kReasonPendingDelete);
  EXPECT_NE(after.Detail(std::string(kApp) + "README.TXT").find("PendingFileRenameOperations"),
            std::string::npos);
  // The application's folders collapse into the outermost one the log made.
  EXPECT_EQ(after.Reason("C:\\Program Files\\Fernhill"), kReasonNotEmpty);
  EXPECT_NE(after.Detail("C:\\Program Files\\Fernhill").find("Bramble Notes\\MYNOTES.TXT"),
            std::string::npos);
  EXPECT_EQ(after.Reason("C:\\windows\\system32\\FHVXD.386"), kReasonSystemFile);
  EXPECT_EQ(after.Reason("C:\\windows\\win.ini"), kReasonEditedFile);
  EXPECT_EQ(after.Reason("C:\\windows\\fernhill.ini [Shared] Runtime"), kReasonRestored);
  EXPECT_EQ(after.Reason("HKCR\\.txt: (default)"), kReasonRestored);
  EXPECT_NE(after.Detail("HKCR\\.txt: (default)").find("\"txtfile\""), std::string::npos);
  // Gone is gone, whether the run or a user took it away; the other files went.
  EXPECT_EQ(after.Reason("HKCU\\Software\\Fernhill\\Bramble Notes\\Settings: Greeting"),
            "(not listed)");
  EXPECT_EQ(after.Reason(std::string(kApp) + "BRAMBLE.EXE"), "(not listed)");
  EXPECT_EQ(after.check.report.unexplained, 0);

  JsonWriter w;
  WriteVerifyJson(w, after.check);
  Json json = Json::parse(w.out);
  EXPECT_EQ(json["rollback"], false);
  EXPECT_EQ(json["unexplained"], 0);
  EXPECT_TRUE(json["notes"].is_array());
  ASSERT_EQ(json["items"].size(), after.check.report.items.size());
  for (const Json& item : json["items"]) {
    std::set<std::string> keys;
    for (auto it = item.begin(); it != item.end(); ++it) keys.insert(it.key());
    EXPECT_EQ(keys, (std::set<std::string>{"kind", "item", "reason", "detail"}));
  }
  EXPECT_EQ(json["items"][0]["item"], after.check.report.items[0].item);
}

// A rollback of the sample's second installation with the overwritten control held open:
// what the first installation brought stays for that reason, the earlier copies are put
// back, and the one held open is put back at the next restart.
TEST(Verify, RollbackKeepsTheEarlierInstallation) {
  AfterRun after;
  const std::string control = "C:\\windows\\system32\\FHCTL32.OCX";
  after.Make("/S /R", [&](SimMachine& m) { m.SetInUse(control, true); });
  SCOPED_TRACE(after.All());

  EXPECT_TRUE(after.check.rollback);
  EXPECT_EQ(after.Reason(control), kReasonPendingReplace);
  EXPECT_EQ(after.Reason("C:\\windows\\win.ini"), kReasonBackupRestored);
  EXPECT_EQ(after.Reason(std::string(kApp) + "OLDHELP.HLP"), kReasonBackupRestored);
  EXPECT_EQ(after.Reason(std::string(kApp) + "README.TXT"), kReasonEarlierSection);
  EXPECT_NE(after.Detail(std::string(kApp) + "README.TXT").find("section 1 only"),
            std::string::npos);
  // Logged again by the second installation without a backup: the first one's file stays.
  EXPECT_EQ(after.Reason(std::string(kApp) + "BRAMBLE.EXE"), kReasonEarlierSection);
  EXPECT_NE(after.Detail(std::string(kApp) + "BRAMBLE.EXE").find("installed it before"),
            std::string::npos);
  EXPECT_EQ(after.Reason("BrambleSync"), kReasonEarlierSection);
  EXPECT_EQ(after.Reason("HKLM\\Software\\Fernhill\\Bramble Notes\\Settings: Paths"),
            kReasonRestored);
  EXPECT_EQ(after.Reason(std::string(kApp) + "Templates\\Invoice.tpl"), "(not listed)");
  EXPECT_EQ(after.check.report.unexplained, 0);
}

// A rollback that could not put the earlier copies back (here: none was run at all) leaves
// the files with the last installation's data and their copies beside them: nothing
// explains that. A copy put back whose own deletion failed is the earlier copy all the same.
TEST(Verify, ACopyStillThereWithOtherDataWasNotPutBack) {
  SimMachine machine;
  MachineImage image;
  std::string error;
  ASSERT_EQ(ReadMachineImage(ReadHostFile(std::string(TARNLOG_SAMPLE_DIR) + "/image.json"), &image,
                             &error),
            0)
      << error;
  ASSERT_EQ(machine.ApplyImage(image, &error), 0) << error;
  ConsoleUi ui;
  InstallPlatform(&machine);
  InstallUserInterface(&ui);
  const std::string control = "C:\\windows\\system32\\FHCTL32.OCX";
  const std::string copy = std::string(kApp) + "BACKUP\\FHCTL32.OCX";
  for (bool putBack : {false, true}) {
    SCOPED_TRACE(putBack ? "put back" : "not put back");
    if (putBack) {
      ASSERT_EQ(machine.WriteFile(control, machine.FileContents(copy)), 0);
    }
    VerifyResult check;
    RunVerify(true, kLog, &check);
    ASSERT_EQ(check.loadResult, 0);
    std::map<std::string, std::string> reasons;
    for (const Leftover& l : check.report.items) reasons[l.item] = l.reason;
    EXPECT_EQ(reasons[control], putBack ? kReasonBackupRestored : kReasonUnexplained);
    EXPECT_EQ(reasons["C:\\windows\\win.ini"], kReasonUnexplained);
  }
  InstallPlatform(nullptr);
  InstallUserInterface(nullptr);
}

// A small log on a Windows 95 machine: links and protected folders the run will not enter,
// a file replaced with a backup copy, an overwrite that is not the application's, a file the
// installation deleted, deletion through WININIT.INI, and one file that came back after the
// run, which nothing explains.
TEST(Verify, LinksProtectedFoldersAndWhatNothingExplains) {
  SimMachine machine;
  ImagePlatform& p = machine.settings;
  p.ntFamily = false;
  p.major = 4;
  p.minor = 0;
  p.build = 950;
  p.windowsDirectory = "C:\\WINDOWS";
  p.systemDirectory = "C:\\WINDOWS\\SYSTEM";
  ASSERT_EQ(machine.MakeDirectories("C:\\WINDOWS\\SYSTEM"), 0);
  const char* log =
      "***  Installation Started 06/15/2001 10:12  ***\r\n"
      "Title: Leftover Check Installation\r\n"
      "Delete in-use files: On\r\n"
      "Made Dir: C:\\APP\r\n"
      "Made Dir: C:\\LINKED\r\n"
      "File Tree: C:\\APP\\VIA\\TREE\r\n"
      "File Tree: C:\\WINDOWS\\*.*\r\n"
      "File Tree: C:\\APP\\DATA\r\n"
      "File Copy: C:\\APP\\KEEP.DAT\r\n"
      "Backup Copy: C:\\BACKUP\\KEEP.DAT\r\n"
      "File Copy: C:\\APP\\BUSY.DAT\r\n"
      "File Copy: C:\\APP\\BACK.DAT\r\n"
      "File Overwrite: C:\\APP\\OVER.DLL | 06-15-2001 | 10:12:30 | 1.0.0.0 | 1 | 00000000\r\n"
      "File Delete: C:\\APP\\GONE.TXT\r\n"
      "Backup Copy: C:\\BACKUP\\GONE.TXT\r\n";
  ASSERT_EQ(machine.WriteFile("C:\\APP\\INSTALL.LOG", log), 0);
  ASSERT_EQ(machine.WriteFile("C:\\SAVED\\INSTALL.LOG", log), 0);
  for (const char* file :
       {"C:\\APP\\KEEP.DAT", "C:\\BACKUP\\KEEP.DAT", "C:\\APP\\BUSY.DAT", "C:\\APP\\BACK.DAT",
        "C:\\APP\\OVER.DLL", "C:\\APP\\GONE.TXT", "C:\\REAL\\TREE\\DATA.BIN",
        "C:\\ELSEWHERE\\OTHER.TXT", "C:\\APP\\DATA\\IN.USE", "C:\\APP\\DATA\\FREE.DAT"})
    ASSERT_EQ(machine.WriteFile(file, "x"), 0);
  ASSERT_EQ(machine.MakeJunction("C:\\APP\\VIA", "C:\\REAL"), 0);
  ASSERT_EQ(machine.MakeJunction("C:\\LINKED", "C:\\ELSEWHERE"), 0);
  ASSERT_EQ(machine.SetInUse("C:\\APP\\BUSY.DAT", true), 0);
  ASSERT_EQ(machine.SetInUse("C:\\APP\\DATA\\IN.USE", true), 0);
  InstallPlatform(&machine);
  PlanResult run;
  RunPlan("/S", "C:\\APP\\INSTALL.LOG", &run);
  ASSERT_EQ(run.loadResult, 0);
  // The plan names the tree below the link under its action line, which is all the run shows.
  std::string afterTree;
  for (size_t i = 0; i < run.steps.size(); ++i) {
    if (run.steps[i].kind != "action" ||
        run.steps[i].text != "Removing Directory: C:\\APP\\VIA\\TREE")
      continue;
    for (size_t j = i + 1; j < run.steps.size() && run.steps[j].kind != "action"; ++j)
      afterTree += run.steps[j].kind + " " + run.steps[j].kept.reason + ";";
  }
  EXPECT_EQ(afterTree, "kept link;");
  ASSERT_FALSE(machine.FileExists("C:\\APP\\BACK.DAT"));
  ASSERT_EQ(machine.WriteFile("C:\\APP\\BACK.DAT", "back again"), 0);

  ConsoleUi ui;
  InstallUserInterface(&ui);
  VerifyResult check;
  RunVerify(false, "C:\\SAVED\\INSTALL.LOG", &check);
  ASSERT_EQ(check.loadResult, 0);
  std::map<std::string, Leftover> found;
  for (const Leftover& l : check.report.items) found[l.item] = l;
  auto reason = [&](const char* item) {
    return found.count(item) ? found[item].reason : "(not listed)";
  };
  auto detail = [&](const char* item) { return found.count(item) ? found[item].detail : ""; };

  EXPECT_EQ(reason("C:\\LINKED"), kReasonLink);
  EXPECT_EQ(reason("C:\\APP\\VIA\\TREE"), kReasonLink);
  EXPECT_NE(detail("C:\\APP\\VIA\\TREE").find("below the link C:\\APP\\VIA"), std::string::npos);
  EXPECT_EQ(reason("C:\\WINDOWS"), kReasonProtected);
  EXPECT_EQ(reason("C:\\APP\\KEEP.DAT"), kReasonHasBackup);
  EXPECT_EQ(reason("C:\\APP\\OVER.DLL"), kReasonNotOwned);
  EXPECT_EQ(reason("C:\\APP\\GONE.TXT"), kReasonDeletedFile);
  EXPECT_EQ(reason("C:\\APP\\BUSY.DAT"), kReasonPendingDelete);
  EXPECT_NE(detail("C:\\APP\\BUSY.DAT").find("WININIT.INI"), std::string::npos);
  EXPECT_EQ(reason("C:\\APP\\BACK.DAT"), kReasonUnexplained);
  // A whole tree keeps only what waits for the restart.
  EXPECT_EQ(reason("C:\\APP\\DATA"), kReasonNotEmpty);
  EXPECT_EQ(detail("C:\\APP\\DATA"), "holds IN.USE, deleted at the next restart");
  EXPECT_EQ(reason("C:\\APP"), kReasonNotEmpty);
  EXPECT_NE(detail("C:\\APP").find("VIA\\"), std::string::npos) << detail("C:\\APP");
  EXPECT_EQ(check.report.unexplained, 1);
  EXPECT_NE(VerifyText(check).find("-- 10 items left, 1 unexplained"), std::string::npos)
      << VerifyText(check);
}

// Code page 932: ヂ (0x83 0x61) and ア (0x83 0x41) differ only in a second byte that is a
// letter's. Files that came back under both names are two leftovers.
TEST(Verify, DoubleByteNamesAreItemsOfTheirOwn) {
  SimMachine machine;
  machine.settings.ansiCodePage = 932;
  const char* log =
      "***  Installation Started 06/15/2001 10:12  ***\r\nTitle: DBCS\r\n"
      "File Copy: C:\\\x83\x61\\A.DAT\r\nFile Copy: C:\\\x83\x41\\A.DAT\r\n";
  ASSERT_EQ(machine.WriteFile("C:\\APP\\INSTALL.LOG", log), 0);
  ASSERT_EQ(machine.WriteFile("C:\\SAVED\\INSTALL.LOG", log), 0);
  InstallPlatform(&machine);
  PlanResult run;
  RunPlan("/S", "C:\\APP\\INSTALL.LOG", &run);
  ASSERT_EQ(run.loadResult, 0);
  const char* files[] = {"C:\\\x83\x61\\A.DAT", "C:\\\x83\x41\\A.DAT"};
  for (const char* file : files) ASSERT_EQ(machine.WriteFile(file, "back"), 0);

  ConsoleUi ui;
  InstallUserInterface(&ui);
  VerifyResult check;
  RunVerify(false, "C:\\SAVED\\INSTALL.LOG", &check);
  ASSERT_EQ(check.loadResult, 0);
  ASSERT_EQ(check.report.items.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(check.report.items[i].item, files[i]);
    EXPECT_EQ(check.report.items[i].reason, kReasonUnexplained);
  }
}

// The plan keeps what the run keeps, with the reason, as JSON steps of their own; a shared
// file whose count the run took to zero is one the plan can name.
TEST(Verify, PlanJsonNamesWhatTheRunKeeps) {
  SimMachine machine;
  MachineImage image;
  std::string error;
  ASSERT_EQ(ReadMachineImage(ReadHostFile(std::string(TARNLOG_SAMPLE_DIR) + "/image.json"), &image,
                             &error),
            0);
  ASSERT_EQ(machine.ApplyImage(image, &error), 0) << error;
  InstallPlatform(&machine);
  PlanResult result;
  RunPlan("/S", kLog, &result);
  JsonWriter w;
  WritePlanJson(w, result);
  Json json = Json::parse(w.out);
  std::map<std::string, Json> kept;
  size_t actions = 0;
  for (const Json& step : json["steps"]) {
    if (step["kind"] == "action") ++actions;
    if (step["kind"] == "kept") kept[step["text"]] = step;
  }
  EXPECT_GT(actions, 10u);
  ASSERT_EQ(kept.count("C:\\windows\\system32\\FHRUNTIM.DLL"), 1u) << w.out;
  EXPECT_EQ(kept["C:\\windows\\system32\\FHRUNTIM.DLL"]["reason"], kReasonSharedReleased);
  EXPECT_EQ(kept["C:\\Program Files\\Fernhill"]["itemKind"], "folder");
  EXPECT_EQ(kept["C:\\Program Files\\Fernhill"]["reason"], kReasonNotEmpty);
  EXPECT_EQ(json["unexplained"], 0);
}

// The command: 0 when nothing unexplained is left, 3 when something is, 2 with the
// program's message when the loader refuses the log, 1 with the reason for a machine image
// that cannot be read.
TEST(Verify, ExitStatusesOfTheCommand) {
  const std::string dir = ::testing::TempDir();
  const std::string out = dir + "verify.out", err = dir + "verify.err";
  auto run = [&](const std::string& arguments) {
    std::string command =
        std::string(TARNLOG_EXE) + " verify " + arguments + " >" + out + " 2>" + err;
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  const std::string sample = std::string(TARNLOG_SAMPLE_DIR);

  // Nothing was removed: everything the log names is still there, unexplained.
  EXPECT_EQ(run("--machine " + sample + "/image.json '" + kLog + "'"), 3);
  EXPECT_NE(ReadHostFile(out).find(" unexplained\n"), std::string::npos);
  // A machine without the application: nothing is left.
  EXPECT_EQ(run("--json --log-from " + sample + "/INSTALL.LOG '" + kSaved + "'"), 0);
  Json json = Json::parse(ReadHostFile(out));
  EXPECT_EQ(json["unexplained"], 0);
  EXPECT_TRUE(json["items"].empty());
  // No Program Manager answers: the icons go unchecked, and the status says so.
  std::ofstream(dir + "no-progman.json") << "{\"platform\": {\"progman\": false}}";
  EXPECT_EQ(run("--json --machine " + dir + "no-progman.json --log-from " + sample +
                "/INSTALL.LOG '" + kSaved + "'"),
            4);
  json = Json::parse(ReadHostFile(out));
  EXPECT_EQ(json["unchecked"], Json::array({"icons"}));
  EXPECT_EQ(json["unexplained"], 0);
  EXPECT_EQ(run("--machine " + sample + "/image.json 'C:\\Nowhere\\INSTALL.LOG'"), 2);
  EXPECT_NE(ReadHostFile(err).find("[Tarn Uninstall] Could not open INSTALL.LOG file."),
            std::string::npos);
  EXPECT_EQ(run("--machine " + dir + "no-such-image.json '" + kLog + "'"), 1);
  EXPECT_NE(ReadHostFile(err).find("cannot read the machine image"), std::string::npos);
  std::ofstream(dir + "bad-image.json") << "{\"platform\": {\"kind\": \"os2\"}}";
  EXPECT_EQ(run("--machine " + dir + "bad-image.json '" + kLog + "'"), 1);
  EXPECT_NE(ReadHostFile(err).find("bad-image.json: "), std::string::npos) << ReadHostFile(err);
}

}  // namespace
