// The dump of the item store: its shape on a small log (every list, every field, the links
// between repair values and their records, old data as lists) and what the sample
// application's log loads into on its own machine image.
#include "tarnlog/store_dump.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#include "tarnlog/load_log.h"
#include "ui/console_ui.h"

namespace {

using Json = nlohmann::json;

const char* const kLists[] = {"PrivateFiles", "SystemFiles",  "MissingFiles", "EditedFiles",
                              "DeletedFiles", "Directories",  "IniFiles",     "IniEdits",
                              "RegKeys",      "RegEdits",     "RegTrees",     "RepairValues",
                              "Icons",        "Programs",     "Services"};

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Installs a fresh simulated machine and a console user; loads logPath and returns the
// parsed dump (null when the loader refused).
struct Loaded {
  SimMachine machine;
  ConsoleUi ui;
  int result = -1;
  Json dump;

  void Load(const char* logPath) {
    InstallPlatform(&machine);
    InstallUserInterface(&ui);
    result = LoadLogAsUninstaller(logPath);
    if (result != 0) return;
    JsonWriter w;
    DumpStore(w);
    ASSERT_FALSE(w.failed);
    dump = Json::parse(w.out);
  }
};

std::set<std::string> Keys(const Json& object) {
  std::set<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.insert(it.key());
  return keys;
}

const char kSmallLog[] =
    "***  first\r\n"
    "Title: Small Test Installation\r\n"
    "Source: D:\\SETUP.EXE | 01-02-2001 | 03:04:05 | 1000\r\n"
    "Product: Caf\xe9 \x96 Tools\r\n"
    "File Copy: C:\\APP\\ONE.EXE | 01-02-2001 | 03:04:05 | 1 | 10 | 0\r\n"
    "Link Info: C:\\APP\\ONE.EXE|C:\\APP|C:\\APP\\ONE.EXE|0|1|0|\r\n"
    "RegDB Key: Software\\Small\r\n"
    "RegDB Val: created\r\n"
    "RegDB Name: New\r\n"
    "RegDB Root: 2\r\n"
    "RegDB Key: Software\\Small\r\n"
    "RegDB Val: changed\r\n"
    "RegDB Name: Old\r\n"
    "RegDB Type: 2\r\n"
    "RegDB Root: 2\r\n"
    "RegDB Old: first line\r\n"
    "RegDB Old: second \"line\"\r\n"
    "***  second\r\n"
    "Title: Small Test Installation\r\n"
    "RegDB Key: Software\\Small\r\n"
    "RegDB Val: created again\r\n"
    "RegDB Name: New\r\n"
    "RegDB Root: 2\r\n";

TEST(StoreDump, EveryListAndFieldOfASmallLog) {
  Loaded run;
  ASSERT_EQ(run.machine.WriteFile("C:\\APP\\ONE.EXE", "x"), 0);
  ASSERT_EQ(run.machine.WriteFile("C:\\APP\\INSTALL.LOG", kSmallLog), 0);
  run.Load("C:\\APP\\INSTALL.LOG");
  ASSERT_EQ(run.result, 0) << run.ui.lastMessage.c_str();
  const Json& d = run.dump;

  std::set<std::string> top = {"header", "SectionSources"};
  for (const char* list : kLists) top.insert(list);
  EXPECT_EQ(Keys(d), top);
  for (const char* list : kLists) EXPECT_TRUE(d[list].is_array()) << list;

  const Json& h = d["header"];
  EXPECT_EQ(Keys(h), (std::set<std::string>{
                         "appTitle", "appDirectory", "statusMifName", "manufacturer", "product",
                         "versionNumber", "serialNumber", "perUserId", "deleteInUse",
                         "restorePointWanted", "rollbackAvailable", "repairAvailable",
                         "subSystemName", "sectionCount", "lastSectionOffset", "profilesRoot",
                         "commonProfileRoot", "systemDirPath"}));
  EXPECT_EQ(h["appTitle"], "Small Test");
  EXPECT_EQ(h["product"], "Caf\xc3\xa9 \xe2\x80\x93 Tools");
  EXPECT_TRUE(h["perUserId"].is_null());
  EXPECT_TRUE(h["subSystemName"].is_null());
  EXPECT_EQ(h["repairAvailable"], true);
  EXPECT_EQ(h["sectionCount"], 2);
  EXPECT_EQ(h["lastSectionOffset"], std::string(kSmallLog).find("***  second"));

  // One entry per section and the unused entry 0.
  ASSERT_EQ(d["SectionSources"].size(), 3u);
  EXPECT_TRUE(d["SectionSources"][0].is_null());
  EXPECT_EQ(d["SectionSources"][1], "D:\\SETUP.EXE | 01-02-2001 | 03:04:05 | 1000");
  EXPECT_TRUE(d["SectionSources"][2].is_null());

  ASSERT_EQ(d["PrivateFiles"].size(), 1u);
  const Json& file = d["PrivateFiles"][0];
  EXPECT_EQ(Keys(file), (std::set<std::string>{
                            "path", "backupPath", "stamp", "linkSpec", "selected",
                            "removeByDefault", "selfRegSection", "deviceSection", "firstSection",
                            "lastSection", "backupSection", "infoSection", "counterSection",
                            "counterCount"}));
  EXPECT_EQ(file["path"], "C:\\APP\\ONE.EXE");
  EXPECT_EQ(file["linkSpec"], "C:\\APP\\ONE.EXE|C:\\APP|C:\\APP\\ONE.EXE|0|1|0|");
  EXPECT_EQ(file["removeByDefault"], 1);

  ASSERT_EQ(d["RegKeys"].size(), 1u);
  EXPECT_EQ(d["RegKeys"][0]["valueName"], "New");
  EXPECT_EQ(d["RegKeys"][0]["rootText"], "2");
  EXPECT_EQ(d["RegKeys"][0]["section"], 2);
  ASSERT_EQ(d["RegEdits"].size(), 1u);
  const Json& edit = d["RegEdits"][0];
  EXPECT_EQ(edit["firstOldData"], Json::array({"first line", "second \"line\""}));
  EXPECT_EQ(edit["lastOldData"], edit["firstOldData"]);
  EXPECT_EQ(edit["type"], 2);
  EXPECT_EQ(Keys(edit), (std::set<std::string>{"key", "valueName", "rootText", "firstOldData",
                                               "lastOldData", "root", "type", "selected",
                                               "section", "firstSection"}));

  // Repair values in log order, each naming its record by list and index.
  ASSERT_EQ(d["RepairValues"].size(), 3u);
  EXPECT_EQ(d["RepairValues"][0]["item"], (Json{{"list", "RegKeys"}, {"index", 0}}));
  EXPECT_EQ(d["RepairValues"][0]["data"], "created");
  EXPECT_EQ(d["RepairValues"][1]["item"], (Json{{"list", "RegEdits"}, {"index", 0}}));
  EXPECT_EQ(d["RepairValues"][1]["isChange"], 1);
  EXPECT_EQ(d["RepairValues"][2]["item"], (Json{{"list", "RegKeys"}, {"index", 0}}));
  EXPECT_EQ(d["RepairValues"][2]["data"], "created again");
}

TEST(StoreDump, RefusedLogLeavesTheMessageWithTheUser) {
  Loaded run;
  run.Load("C:\\NOWHERE\\INSTALL.LOG");
  EXPECT_EQ(run.result, 1);
  EXPECT_STREQ(run.ui.lastMessage.c_str(), "Could not open INSTALL.LOG file.");

  Loaded invalid;
  ASSERT_EQ(invalid.machine.WriteFile("C:\\APP\\BAD.LOG", "no header\r\nTitle: x\r\n"), 0);
  invalid.Load("C:\\APP\\BAD.LOG");
  EXPECT_EQ(invalid.result, 1);
  EXPECT_STREQ(invalid.ui.lastMessage.c_str(), "Invalid INSTALL.LOG file.");
}

// The sample application (tests/data/sample) on its own image: what the demo and the Wine
// agreement check show. Also guards the sample against drifting from its description.
class SampleDump : public ::testing::Test {
 protected:
  static constexpr const char* kLog =
      "C:\\Program Files\\Fernhill\\Bramble Notes\\INSTALL.LOG";
  Loaded run;
  MachineImage image;

  void SetUp() override {
    std::string error;
    ASSERT_EQ(ReadMachineImage(ReadHostFile(std::string(TARNLOG_SAMPLE_DIR) + "/image.json"),
                               &image, &error),
              0)
        << error;
    ASSERT_EQ(run.machine.ApplyImage(image, &error), 0) << error;
  }
};

TEST_F(SampleDump, ImageCarriesTheSampleLog) {
  std::string log = ReadHostFile(std::string(TARNLOG_SAMPLE_DIR) + "/INSTALL.LOG");
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(run.machine.FileContents(kLog), log)
      << "image.json and INSTALL.LOG differ: run tests/data/sample/build_sample.py";
}

TEST_F(SampleDump, LoadsEveryKindOfRecord) {
  run.Load(kLog);
  ASSERT_EQ(run.result, 0) << run.ui.lastMessage.c_str();
  const Json& d = run.dump;
  const Json& h = d["header"];
  EXPECT_EQ(h["appTitle"], "Bramble Notes");
  EXPECT_EQ(h["product"], "Bramble Notes\xe2\x84\xa2");
  EXPECT_EQ(h["versionNumber"], "1.1");  // the upgrade's value wins
  EXPECT_EQ(h["sectionCount"], 2);
  EXPECT_EQ(h["rollbackAvailable"], true);
  EXPECT_EQ(h["restorePointWanted"], true);
  EXPECT_EQ(h["deleteInUse"], true);
  EXPECT_EQ(h["systemDirPath"], "C:\\windows\\system32");
  EXPECT_EQ(d["SectionSources"].size(), 3u);

  EXPECT_EQ(d["PrivateFiles"].size(), 11u);
  EXPECT_EQ(d["SystemFiles"].size(), 4u);
  EXPECT_EQ(d["MissingFiles"].size(), 1u);
  EXPECT_EQ(d["EditedFiles"].size(), 1u);
  EXPECT_EQ(d["DeletedFiles"].size(), 1u);
  EXPECT_EQ(d["IniFiles"].size(), 1u);
  EXPECT_EQ(d["IniEdits"].size(), 2u);
  EXPECT_EQ(d["RegKeys"].size(), 6u);
  EXPECT_EQ(d["RegEdits"].size(), 2u);
  EXPECT_EQ(d["RegTrees"].size(), 1u);
  EXPECT_EQ(d["RepairValues"].size(), 10u);
  EXPECT_EQ(d["Icons"].size(), 2u);
  EXPECT_EQ(d["Programs"].size(), 1u);
  EXPECT_EQ(d["Services"].size(), 1u);

  // Nested created directories collapse into the vendor folder; the Start Menu folder
  // stays on its own.
  ASSERT_EQ(d["Directories"].size(), 2u);
  EXPECT_EQ(d["Directories"][0]["path"], "C:\\Program Files\\Fernhill\\");

  // The program logged in both sections, counted twice.
  const Json& exe = d["PrivateFiles"][0];
  EXPECT_EQ(exe["path"], "C:\\Program Files\\Fernhill\\Bramble Notes\\BRAMBLE.EXE");
  EXPECT_EQ(exe["firstSection"], 1);
  EXPECT_EQ(exe["lastSection"], 2);
  EXPECT_EQ(exe["counterCount"], 2);

  // The overwritten runtime stays because SharedDLLs counts it; the hook is marked
  // non-system; the device file was not counted.
  const Json& sys = d["SystemFiles"];
  EXPECT_EQ(sys[0]["path"], "C:\\windows\\system32\\FHRUNTIM.DLL");
  EXPECT_EQ(sys[0]["removeByDefault"], 1);
  EXPECT_EQ(sys[1]["selected"], 1);
  EXPECT_EQ(sys[2]["deviceSection"], 1);
  EXPECT_EQ(sys[2]["counterCount"], 0);
  EXPECT_EQ(sys[3]["removeByDefault"], 0);
  EXPECT_EQ(sys[3]["backupSection"], 2);

  EXPECT_EQ(d["Icons"][1]["title"], "Lies mich \xe2\x80\x93 Bramble");
  EXPECT_EQ(d["IniEdits"][1]["firstOldValue"], "1.5");
  EXPECT_EQ(d["IniEdits"][1]["lastOldValue"], "2.0");
}

}  // namespace
