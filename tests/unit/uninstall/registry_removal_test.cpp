// Registry removal: the walk up from a created value, whole trees, and the database
// engine's keys with its running-server question.
#include "uninstall/registry_removal.h"

#include <string>
#include <vector>

#include "support/engine_fixture.h"
#include "platform/image/machine_image.h"

namespace {

class RegistryRemovalTest : public EngineTest {
 protected:
  void Set(const std::string& key, const std::string& name, const std::string& text) {
    ASSERT_EQ(machine.RegSetRaw(key, name, kRegSz, RegStringBytes(text)), 0) << key;
  }
  // Runs RemoveCreatedKey on a copy of key and returns what the path was cut back to.
  std::string RemoveCreated(int root, const std::string& key, const char* valueName) {
    char path[260];
    CopyText(path, sizeof path, key.c_str());
    RemoveCreatedKey(root, path, sizeof path, valueName);
    return path;
  }
};

TEST_F(RegistryRemovalTest, CreatedValueTakesItsKeyAndTheParentsThatBecameEmpty) {
  struct Case {
    const char* name;
    const char* valueName;
    std::vector<std::pair<std::string, std::string>> values;  // key, value name
    std::vector<std::string> subkeys;
    std::vector<std::string> gone;
    std::vector<std::string> kept;
    const char* cutTo;
  };
  const Case cases[] = {
      {"only the logged value",
       "Path",
       {{"HKCU\\Software\\Vendor\\App", "Path"}},
       {},
       {"HKCU\\Software\\Vendor\\App", "HKCU\\Software\\Vendor"},
       {"HKCU\\Software"},
       "Software"},
      {"default value",
       "",
       {{"HKCU\\Software\\Vendor\\App", ""}},
       {},
       {"HKCU\\Software\\Vendor\\App", "HKCU\\Software\\Vendor"},
       {"HKCU\\Software"},
       "Software"},
      {"a second value keeps the key",
       "Path",
       {{"HKCU\\Software\\Vendor\\App", "Path"}, {"HKCU\\Software\\Vendor\\App", "Other"}},
       {},
       {},
       {"HKCU\\Software\\Vendor\\App"},
       "Software\\Vendor\\App"},
      {"a subkey keeps the key",
       "Path",
       {{"HKCU\\Software\\Vendor\\App", "Path"}},
       {"HKCU\\Software\\Vendor\\App\\Plugins"},
       {},
       {"HKCU\\Software\\Vendor\\App\\Plugins"},
       "Software\\Vendor\\App"},
      {"a parent's value stops the walk",
       "Path",
       {{"HKCU\\Software\\Vendor\\App", "Path"}, {"HKCU\\Software\\Vendor", "Licence"}},
       {},
       {"HKCU\\Software\\Vendor\\App"},
       {"HKCU\\Software\\Vendor"},
       "Software\\Vendor"},
      {"a sibling stops the walk",
       "Path",
       {{"HKCU\\Software\\Vendor\\App", "Path"}},
       {"HKCU\\Software\\Vendor\\Tool"},
       {"HKCU\\Software\\Vendor\\App"},
       {"HKCU\\Software\\Vendor\\Tool"},
       "Software\\Vendor"},
      {"a value whose name is longer than the enumeration buffer",
       "Path",
       {{"HKCU\\Software\\Vendor\\App", "Path"},
        {"HKCU\\Software\\Vendor\\App", std::string(300, 'N')}},
       {},
       {},
       {"HKCU\\Software\\Vendor\\App"},
       "Software\\Vendor\\App"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    machine.RegRemoveTree("HKCU\\Software\\Vendor");
    Set("HKCU\\Software\\Microsoft", "Keep", "1");
    for (const auto& value : c.values) Set(value.first, value.second, "data");
    for (const std::string& key : c.subkeys) Set(key, "x", "y");

    EXPECT_EQ(RemoveCreated(1, "Software\\Vendor\\App", c.valueName), c.cutTo);
    uint32_t type = 0;
    std::string data;
    EXPECT_FALSE(machine.RegValue("HKCU\\Software\\Vendor\\App", c.valueName, &type, &data));
    for (const std::string& key : c.gone) EXPECT_FALSE(machine.RegKeyExists(key)) << key;
    for (const std::string& key : c.kept) EXPECT_TRUE(machine.RegKeyExists(key)) << key;
    EXPECT_TRUE(machine.RegKeyExists("HKCU\\Software\\Microsoft"));
  }
}

// Across the items of a pass the keys stay open; a key deleted under one spelling must not
// leave a handle behind under another, or a key made again at that path would be missed.
TEST_F(RegistryRemovalTest, KeysKeptOpenAcrossItemsNeverOutliveTheirKey) {
  Set("HKCU\\Software\\Keep", "x", "1");
  Set("HKCU\\Software\\Vendor\\App", "A", "1");
  Set("HKCU\\Software\\Vendor\\App", "B", "1");
  {
    OpenKeyCache openKeys;
    char path[260];
    CopyText(path, sizeof path, "Software\\Vendor\\App");
    RemoveCreatedKey(1, path, sizeof path, "A", &openKeys);
    EXPECT_TRUE(machine.RegKeyExists("HKCU\\Software\\Vendor\\App"));
    EXPECT_GT(machine.OpenRegistryHandles(), 0u);  // App stays open for the next item
    CopyText(path, sizeof path, "SOFTWARE\\vendor\\app");
    RemoveCreatedKey(1, path, sizeof path, "B", &openKeys);
    EXPECT_FALSE(machine.RegKeyExists("HKCU\\Software\\Vendor"));
    Set("HKCU\\Software\\Vendor\\App", "C", "1");
    CopyText(path, sizeof path, "Software\\Vendor\\App");
    RemoveCreatedKey(1, path, sizeof path, "C", &openKeys);
    EXPECT_FALSE(machine.RegKeyExists("HKCU\\Software\\Vendor"));
    EXPECT_TRUE(machine.RegKeyExists("HKCU\\Software\\Keep"));
  }
  EXPECT_EQ(machine.OpenRegistryHandles(), 0u);
  RemoveCreated(1, "Software\\Keep", "x");  // on its own, a call leaves nothing open
  EXPECT_EQ(machine.OpenRegistryHandles(), 0u);
}

TEST_F(RegistryRemovalTest, MissingKeyOrEmptyPathTouchesNothing) {
  Set("HKCU\\Software\\Vendor", "Keep", "1");
  EXPECT_EQ(RemoveCreated(1, "Software\\Vendor\\Gone", "Path"), "Software\\Vendor\\Gone");
  EXPECT_EQ(RemoveCreated(1, "", "Keep"), "");
  EXPECT_EQ(RemoveCreated(9, "Software\\Vendor", "Keep"), "Software\\Vendor");
  EXPECT_EQ(machine.RegString("HKCU\\Software\\Vendor", "Keep"), "1");
}

TEST_F(RegistryRemovalTest, KeyTreeGoesDeepestFirst) {
  Set("HKLM\\Software\\Vendor\\App\\A\\B\\C", "v", "1");
  Set("HKLM\\Software\\Vendor\\App\\A\\B2", "v", "1");
  Set("HKLM\\Software\\Vendor\\App\\Z", "v", "1");
  Set("HKLM\\Software\\Vendor\\App", "v", "1");
  Set("HKLM\\Software\\Vendor\\Other", "v", "1");
  EXPECT_EQ(DeleteKeyTree(2, "Software\\Vendor\\App"), 0);
  EXPECT_FALSE(machine.RegKeyExists("HKLM\\Software\\Vendor\\App"));
  EXPECT_TRUE(machine.RegKeyExists("HKLM\\Software\\Vendor\\Other"));

  EXPECT_NE(DeleteKeyTree(2, "Software\\Vendor\\Missing"), 0);
}

TEST_F(RegistryRemovalTest, KeyTreeNeverTakesAWholeRoot) {
  Set("HKCU\\Software\\Vendor", "v", "1");
  EXPECT_NE(DeleteKeyTree(1, ""), 0);
  EXPECT_NE(DeleteKeyTree(7, "Software"), 0);
  EXPECT_TRUE(machine.RegKeyExists("HKCU\\Software\\Vendor"));
}

// A child whose path does not fit the 400-byte buffer is stepped over, never cut or
// written past the buffer. Its siblings on either side still go; the parent stays.
TEST_F(RegistryRemovalTest, ChildTooLongForThePathBufferIsSkipped) {
  const std::string parent = "Software\\" + std::string(200, 'P');
  const std::string longChild = std::string(250, 'L');
  Set("HKCU\\" + parent + "\\" + longChild, "v", "1");
  Set("HKCU\\" + parent + "\\AShort", "v", "1");
  Set("HKCU\\" + parent + "\\ZShort", "v", "1");
  EXPECT_NE(DeleteKeyTree(1, parent.c_str()), 0);
  EXPECT_TRUE(machine.RegKeyExists("HKCU\\" + parent + "\\" + longChild));
  EXPECT_FALSE(machine.RegKeyExists("HKCU\\" + parent + "\\AShort"));
  EXPECT_FALSE(machine.RegKeyExists("HKCU\\" + parent + "\\ZShort"));
  EXPECT_TRUE(machine.RegKeyExists("HKCU\\" + parent));
}

class DatabaseEngineTest : public RegistryRemovalTest {
 protected:
  const std::string engine = "HKLM\\Software\\Borland\\Database Engine";
  const std::string library = "HKLM\\Software\\Borland\\BLW32";
  void SeedEngine(uint32_t type, const std::string& useCount) {
    ASSERT_EQ(machine.RegSetRaw(engine, "UseCount", type, useCount), 0);
    Set(engine + "\\Settings", "DLLPATH", "C:\\IDAPI");
    Set(library, "BLAPIPATH", "C:\\IDAPI");
  }
};

TEST_F(DatabaseEngineTest, OtherUsersLowerTheCountAsText) {
  struct Case {
    const char* name;
    uint32_t type;
    std::string data;
    const char* after;
  };
  const Case cases[] = {
      {"text 3", kRegSz, RegStringBytes("3"), "2"},
      {"number 2", kRegDword, RegDwordBytes(2), "1"},
      {"binary 10", kRegBinary, RegDwordBytes(10), "9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SeedEngine(c.type, c.data);
    EXPECT_EQ(ReleaseDatabaseEngine(), 0);
    uint32_t type = 0;
    std::string data;
    ASSERT_TRUE(machine.RegValue(engine, "UseCount", &type, &data));
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(data, RegStringBytes(c.after));
    EXPECT_TRUE(machine.RegKeyExists(library));
  }
  EXPECT_TRUE(ui.transcript.empty());
}

TEST_F(DatabaseEngineTest, UnreadableOrSpentCountLeavesEverything) {
  const std::pair<uint32_t, std::string> counts[] = {
      {kRegSz, RegStringBytes("0")},
      {kRegSz, RegStringBytes("-1")},
      {kRegBinary, std::string("\x01\x00\x00", 3)},
      {kRegMultiSz, RegStringBytes("1") + '\0'},
  };
  for (const auto& count : counts) {
    SeedEngine(count.first, count.second);
    EXPECT_EQ(ReleaseDatabaseEngine(), 0);
    EXPECT_TRUE(machine.RegKeyExists(engine + "\\Settings"));
    EXPECT_TRUE(machine.RegKeyExists(library));
  }
  machine.RegRemoveTree("HKLM\\Software\\Borland");
  EXPECT_EQ(ReleaseDatabaseEngine(), 0);
}

TEST_F(DatabaseEngineTest, LastUserRemovesTheEngineKeysAndAnEmptyParent) {
  SeedEngine(kRegDword, RegDwordBytes(1));
  EXPECT_EQ(ReleaseDatabaseEngine(), 0);
  EXPECT_FALSE(machine.RegKeyExists(engine));
  EXPECT_FALSE(machine.RegKeyExists(library));
  EXPECT_FALSE(machine.RegKeyExists("HKLM\\Software\\Borland"));
  EXPECT_TRUE(ui.transcript.empty());

  // Another product's key keeps the parent.
  SeedEngine(kRegSz, RegStringBytes("1"));
  Set("HKLM\\Software\\Borland\\Delphi", "v", "1");
  EXPECT_EQ(ReleaseDatabaseEngine(), 0);
  EXPECT_FALSE(machine.RegKeyExists(engine));
  EXPECT_TRUE(machine.RegKeyExists("HKLM\\Software\\Borland\\Delphi"));
}

TEST_F(DatabaseEngineTest, RunningServerIsAskedAboutUntilIgnoredOrAborted) {
  struct Case {
    const char* name;
    std::vector<int> answers;
    bool aborted;
  };
  const Case cases[] = {
      {"Ignore", {kIdIgnore}, false},
      {"Retry twice, then Ignore", {kIdRetry, kIdRetry, kIdIgnore}, false},
      {"Abort", {kIdAbort}, true},
      {"Retry, then Abort", {kIdRetry, kIdAbort}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    machine.topWindowClasses = {"IB_Server"};
    ui.transcript.clear();
    SeedEngine(kRegSz, RegStringBytes("1"));
    for (int answer : c.answers) ui.AnswerMessage(answer);
    EXPECT_EQ(ReleaseDatabaseEngine(), c.aborted ? kRunAborted : 0);
    ASSERT_EQ(ui.transcript.size(), c.answers.size());
    for (const SimQuestion& question : ui.transcript) {
      EXPECT_EQ(question.buttons, kMbAbortRetryIgnore);
      EXPECT_EQ(question.caption, "Uninstall");
      EXPECT_EQ(question.text.rfind("The local interbase server must be stopped", 0), 0u);
    }
    EXPECT_EQ(machine.RegKeyExists(engine), c.aborted);
    EXPECT_EQ(machine.RegKeyExists(library), c.aborted);
  }
}

}  // namespace
