// Program Manager icon removal against the simulated machine's Program Manager stand-in:
// which lines match, which commands go out in which order, which groups are deleted.
#include "uninstall/progman.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/engine_sim_fixture.h"

namespace {

struct IconSpec {
  const char* group;
  const char* title;
  const char* command;
};

struct GroupSpec {
  std::string name;
  std::vector<ImageGroupItem> items;
};

class ProgmanTest : public EngineSimTest {
 protected:
  void SeedGroups(const std::vector<GroupSpec>& groups) {
    machine.groups.clear();
    for (const GroupSpec& spec : groups) {
      SimGroup group;
      group.name = spec.name;
      group.path = "C:\\WINDOWS\\" + spec.name.substr(0, 8) + ".GRP";
      group.items = spec.items;
      machine.groups.push_back(group);
    }
  }

  void AddIcon(const IconSpec& spec) {
    IconItem* icon = NewItem<IconItem>();
    icon->group.Set(spec.group);
    icon->title.Set(spec.title);
    icon->command.Set(spec.command);
    AppendItem(gStore.Icons, icon);
  }

  // The driver's use: open, remove every icon in list order, close.
  void RemoveAll() {
    OpenProgmanConversation();
    for (int32_t i = 0; i < gStore.Icons.count; ++i) RemoveProgmanIcon(i);
    CloseProgmanConversation();
  }

  std::vector<std::string> GroupNames() const {
    std::vector<std::string> names;
    for (const SimGroup& group : machine.groups) names.push_back(group.name);
    return names;
  }

  std::vector<std::string> TitlesOf(const std::string& name) const {
    std::vector<std::string> titles;
    for (const SimGroup& group : machine.groups) {
      if (EqualNoCase(group.name.c_str(), name.c_str())) {
        for (const ImageGroupItem& item : group.items) titles.push_back(item.title);
      }
    }
    return titles;
  }
};

using Commands = std::vector<std::string>;

TEST_F(ProgmanTest, IconWhoseCommandStandsInTwoGroupsLeavesBoth) {
  SeedGroups({{"Sample App", {{"Sample", "C:\\APP\\SAMPLE.EXE"}, {"Other", "C:\\X\\OTHER.EXE"}}},
              {"Tools", {{"Sample Copy", "c:\\app\\sample.exe"}}}});
  AddIcon({"Sample App", "Sample", "C:\\APP\\SAMPLE.EXE"});
  RemoveAll();

  EXPECT_EQ(machine.ddeCommands,
            (Commands{"[ShowGroup(Sample App,2)]", "[ShowGroup(Sample App,1)]",
                      "[DeleteItem(Sample)]", "[ShowGroup(Tools,2)]", "[ShowGroup(Tools,1)]",
                      "[DeleteItem(Sample Copy)]", "[DeleteGroup(Tools)]"}));
  EXPECT_EQ(GroupNames(), (std::vector<std::string>{"Sample App"}));
  EXPECT_EQ(TitlesOf("Sample App"), (std::vector<std::string>{"Other"}));
}

// Each case: the groups, the logged icons, the commands expected and the groups left.
struct RemovalCase {
  const char* name;
  std::vector<GroupSpec> groups;
  std::vector<IconSpec> icons;
  Commands commands;
  std::vector<std::string> groupsLeft;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const RemovalCase& c, std::ostream* os) { *os << c.name; }

class ProgmanRemovalTest : public ProgmanTest,
                           public ::testing::WithParamInterface<RemovalCase> {};

TEST_P(ProgmanRemovalTest, SendsTheCommandsAndLeavesTheGroups) {
  const RemovalCase& c = GetParam();
  SeedGroups(c.groups);
  for (const IconSpec& icon : c.icons) AddIcon(icon);
  RemoveAll();
  EXPECT_EQ(machine.ddeCommands, c.commands);
  EXPECT_EQ(GroupNames(), c.groupsLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgmanRemovalTest,
    ::testing::Values(
        RemovalCase{"ChangedCommandFoundByGroupAndTitle",
                    {{"Sample App", {{"Sample", "C:\\NEW\\SAMPLE.EXE"}}}},
                    {{"sample app", "SAMPLE", "C:\\OLD\\SAMPLE.EXE"}},
                    {"[ShowGroup(Sample App,2)]", "[ShowGroup(Sample App,1)]",
                     "[DeleteItem(Sample)]", "[DeleteGroup(Sample App)]"},
                    {}},
        RemovalCase{"SameTitleInAnotherGroupIsNotTouched",
                    {{"Other", {{"Sample", "C:\\OTHER\\SAMPLE.EXE"}}},
                     {"Sample App", {{"Sample", "C:\\APP\\SAMPLE.EXE"}}}},
                    {{"Sample App", "Sample", "C:\\APP\\CHANGED.EXE"}},
                    {"[ShowGroup(Sample App,2)]", "[ShowGroup(Sample App,1)]",
                     "[DeleteItem(Sample)]", "[DeleteGroup(Sample App)]"},
                    {"Other"}},
        RemovalCase{"EmptiedStartupGroupStays",
                    {{"StartUp", {{"Sample", "C:\\APP\\SAMPLE.EXE"}}}},
                    {{"StartUp", "Sample", "C:\\APP\\SAMPLE.EXE"}},
                    {"[ShowGroup(StartUp,2)]", "[ShowGroup(StartUp,1)]", "[DeleteItem(Sample)]"},
                    {"StartUp"}},
        RemovalCase{"TwoIconsInOneGroupDeleteItOnceAfterTheSecond",
                    {{"Sample App", {{"One", "C:\\APP\\ONE.EXE"}, {"Two", "C:\\APP\\TWO.EXE"}}}},
                    {{"Sample App", "One", "C:\\APP\\ONE.EXE"},
                     {"Sample App", "Two", "C:\\APP\\TWO.EXE"}},
                    {"[ShowGroup(Sample App,2)]", "[ShowGroup(Sample App,1)]", "[DeleteItem(One)]",
                     "[ShowGroup(Sample App,2)]", "[ShowGroup(Sample App,1)]", "[DeleteItem(Two)]",
                     "[DeleteGroup(Sample App)]"},
                    {}},
        RemovalCase{"ForeignItemKeepsTheGroup",
                    {{"Sample App", {{"One", "C:\\APP\\ONE.EXE"}, {"Foreign", "C:\\F\\F.EXE"}}}},
                    {{"Sample App", "One", "C:\\APP\\ONE.EXE"}},
                    {"[ShowGroup(Sample App,2)]", "[ShowGroup(Sample App,1)]", "[DeleteItem(One)]"},
                    {"Sample App"}},
        RemovalCase{"NameWithACommaIsMatchedAndSentQuoted",
                    {{"Tools, Extra", {{"Read me, first", "C:\\APP\\README.TXT"}}}},
                    {{"Tools, Extra", "Read me, first", "C:\\APP\\CHANGED.TXT"}},
                    {"[ShowGroup(\"Tools, Extra\",2)]", "[ShowGroup(\"Tools, Extra\",1)]",
                     "[DeleteItem(\"Read me, first\")]", "[DeleteGroup(\"Tools, Extra\")]"},
                    {}},
        RemovalCase{"SecondIconWithTheSameCommandDeletesNothingTwice",
                    {{"Sample App", {{"One", "C:\\APP\\ONE.EXE"}, {"Keep", "C:\\K\\K.EXE"}}}},
                    {{"Sample App", "One", "C:\\APP\\ONE.EXE"},
                     {"Elsewhere", "Copy", "C:\\APP\\ONE.EXE"}},
                    {"[ShowGroup(Sample App,2)]", "[ShowGroup(Sample App,1)]", "[DeleteItem(One)]"},
                    {"Sample App"}},
        RemovalCase{"IconLoggedWithoutCommandDoesNotMatchEmptyCommands",
                    {{"Other", {{"Blank", ""}}}, {"Sample App", {{"One", ""}}}},
                    {{"Sample App", "One", ""}},
                    {"[ShowGroup(Sample App,2)]", "[ShowGroup(Sample App,1)]", "[DeleteItem(One)]",
                     "[DeleteGroup(Sample App)]"},
                    {"Other"}},
        RemovalCase{"NoMatchSendsNothing",
                    {{"Sample App", {{"One", "C:\\APP\\ONE.EXE"}}}},
                    {{"Other App", "One", "C:\\OTHER\\ONE.EXE"}},
                    {},
                    {"Sample App"}}),
    [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

// Unquoted, "Read me, first" would reach the service as the title "Read me" and delete the
// foreign item of that name.
TEST_F(ProgmanTest, TitleWithACommaDeletesOnlyItsOwnItem) {
  SeedGroups({{"Sample App",
               {{"Read me", "C:\\FOREIGN\\README.TXT"}, {"Read me, first", "C:\\APP\\README.TXT"}}}});
  AddIcon({"Sample App", "Read me, first", "C:\\APP\\README.TXT"});
  RemoveAll();
  EXPECT_EQ(TitlesOf("Sample App"), (std::vector<std::string>{"Read me"}));
}

TEST_F(ProgmanTest, WithoutTheServiceNothingHappensAndNothingIsAsked) {
  SeedGroups({{"Sample App", {{"One", "C:\\APP\\ONE.EXE"}}}});
  AddIcon({"Sample App", "One", "C:\\APP\\ONE.EXE"});
  machine.settings.progmanPresent = false;
  RemoveAll();
  EXPECT_TRUE(machine.ddeCommands.empty());
  EXPECT_TRUE(ui.transcript.empty());
  EXPECT_EQ(GroupNames(), (std::vector<std::string>{"Sample App"}));
}

TEST_F(ProgmanTest, WithoutDdeNothingHappens) {
  SeedGroups({{"Sample App", {{"One", "C:\\APP\\ONE.EXE"}}}});
  AddIcon({"Sample App", "One", "C:\\APP\\ONE.EXE"});
  machine.ddeAvailable = false;
  RemoveAll();
  EXPECT_TRUE(machine.ddeRequests.empty());
  EXPECT_TRUE(machine.ddeCommands.empty());
  EXPECT_TRUE(ui.transcript.empty());
}

TEST_F(ProgmanTest, ReadsTheGroupListAndEveryGroupOnce) {
  SeedGroups({{"A", {}}, {"B", {}}});
  OpenProgmanConversation();
  CloseProgmanConversation();
  EXPECT_EQ(machine.ddeRequests, (std::vector<std::string>{"GROUPS", "A", "B"}));
}

TEST_F(ProgmanTest, KeepsAtMost127Groups) {
  std::vector<GroupSpec> groups;
  for (int i = 0; i < 130; ++i) groups.push_back({"Group " + std::to_string(i), {}});
  groups.back().items.push_back({"Late", "C:\\APP\\LATE.EXE"});
  SeedGroups(groups);
  AddIcon({"Group 129", "Late", "C:\\APP\\LATE.EXE"});
  RemoveAll();
  // "GROUPS" and the first 127 groups; the last group is never searched.
  ASSERT_EQ(machine.ddeRequests.size(), 128u);
  EXPECT_EQ(machine.ddeRequests.back(), "Group 126");
  EXPECT_EQ(gProgman.GroupTable[kGroupTableSlots - 1], nullptr);
  EXPECT_TRUE(machine.ddeCommands.empty());
}

TEST_F(ProgmanTest, AnOverLongGroupNameIsNeverRequestedCut) {
  std::string longName(300, 'G');
  SeedGroups({{longName, {{"One", "C:\\APP\\ONE.EXE"}}}, {"Short", {}}});
  AddIcon({"x", "One", "C:\\APP\\ONE.EXE"});
  RemoveAll();
  EXPECT_EQ(machine.ddeRequests, (std::vector<std::string>{"GROUPS", "Short"}));
  EXPECT_TRUE(machine.ddeCommands.empty());
}

TEST_F(ProgmanTest, AnAnswerLongerThanTheScratchBufferIsCut) {
  // About 30 KB of items; the icon's line lies beyond the first 16383 characters.
  std::vector<ImageGroupItem> items;
  for (int i = 0; i < 400; ++i) {
    items.push_back({"Item " + std::to_string(i), "C:\\SOME\\LONGER\\PATH\\PROGRAM" +
                                                       std::to_string(i) + ".EXE"});
  }
  items.push_back({"Last", "C:\\APP\\LAST.EXE"});
  SeedGroups({{"Big", items}});
  AddIcon({"Big", "Last", "C:\\APP\\LAST.EXE"});
  AddIcon({"Big", "Item 0", "C:\\SOME\\LONGER\\PATH\\PROGRAM0.EXE"});
  RemoveAll();
  ASSERT_NE(gProgman.GroupTable[0], nullptr);
  EXPECT_LT(strlen(gProgman.GroupTable[0]), kScratchBufferSize);
  EXPECT_EQ(machine.ddeCommands,
            (Commands{"[ShowGroup(Big,2)]", "[ShowGroup(Big,1)]", "[DeleteItem(Item 0)]"}));
}

// GroupIsEmpty over odd contents texts: whether it holds and whether the text is marked.
struct EmptyCase {
  const char* text;
  bool empty;
};

TEST_F(ProgmanTest, GroupIsEmptyLooksOnlyForUnmarkedQuotedLines) {
  const EmptyCase cases[] = {
      {"\"G\",x,0\r\n", true},
      {"\"G\",x,1\r\n\"A\",\"B\"\r\n", false},
      {"\"G\",x,1\r\n*A\",\"B\"\r\n", true},
      {"\"G\",x,2\r\n*A\",\"B\"\r\nplain line\r\n", true},
      {"\"G\",x,2\r\n*A\",\"B\"\r\n\r\n\"C\",\"D\"", false},
      {"\"G\",x,1\n\"A\",\"B\"\n", false},  // bare line feeds also end lines
      {"\"G\"", true},
  };
  for (const EmptyCase& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(GroupIsEmpty(&text[0]), c.empty) << c.text;
    EXPECT_EQ(text[0], c.empty ? '*' : '"') << c.text;
  }
  char empty[1] = {'\0'};
  EXPECT_TRUE(GroupIsEmpty(empty));
  EXPECT_EQ(empty[0], '\0');  // the terminator of an empty text stays
}

TEST_F(ProgmanTest, CommandsNeedAConversation) {
  SendProgmanCommand("[ShowGroup(A,1)]");
  EXPECT_TRUE(machine.ddeCommands.empty());
}

TEST_F(ProgmanTest, ClosingClearsTheActionLine) {
  ui.wizardPresent = true;
  SeedGroups({});
  OpenProgmanConversation();
  CloseProgmanConversation();
  EXPECT_EQ(ui.progressBarInvalidations, 1);
  EXPECT_FALSE(gProgman.connected);
  SendProgmanCommand("[ShowGroup(A,1)]");
  EXPECT_TRUE(machine.ddeCommands.empty());
}

}  // namespace
