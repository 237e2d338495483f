// The simulated machine's shell-link store: every link saved keeps all seven of its fields,
// however many are saved after it, and its file on the machine says the same.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_machine.h"

namespace {

TEST(SimShellLinks, EveryLinkKeepsAllItsFields) {
  SimMachine machine;
  ASSERT_EQ(machine.MakeDirectory("C:\\Menu"), 0);
  // Short texts live inside their string objects: a store that moved them when it grew
  // would leave the earlier links pointing at freed memory.
  constexpr int kLinks = 40;
  for (int i = 0; i < kLinks; ++i) {
    std::string n = std::to_string(i);
    std::string path = "C:\\Menu\\L" + n + ".lnk", target = "C:\\T" + n + ".EXE";
    std::string folder = "C:\\W" + n, icon = "C:\\I" + n + ".ICO", arguments = "-a" + n;
    ShellLinkFields fields = {path.c_str(),
                              target.c_str(),
                              folder.c_str(),
                              icon.c_str(),
                              100 + i,
                              i % 8,
                              static_cast<uint16_t>(0x0300 + 0x41 + i),
                              arguments.c_str()};
    ASSERT_EQ(machine.CreateShellLink(fields), 0) << i;
  }

  ASSERT_EQ(machine.links.size(), static_cast<size_t>(kLinks));
  for (int i = 0; i < kLinks; ++i) {
    SCOPED_TRACE("link " + std::to_string(i));
    std::string n = std::to_string(i);
    const ShellLinkFields& link = machine.links[i];
    EXPECT_STREQ(link.linkPath, ("C:\\Menu\\L" + n + ".lnk").c_str());
    EXPECT_STREQ(link.target, ("C:\\T" + n + ".EXE").c_str());
    EXPECT_STREQ(link.workingDirectory, ("C:\\W" + n).c_str());
    EXPECT_STREQ(link.iconPath, ("C:\\I" + n + ".ICO").c_str());
    EXPECT_EQ(link.iconIndex, 100 + i);
    EXPECT_EQ(link.showCommand, i % 8);
    EXPECT_EQ(link.hotKey, 0x0300 + 0x41 + i);
    EXPECT_STREQ(link.arguments, ("-a" + n).c_str());
    std::string file = machine.FileContents("C:\\Menu\\L" + n + ".lnk");
    EXPECT_NE(file.find("icon=C:\\I" + n + ".ICO," + std::to_string(100 + i) + "\r\n"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("hotkey=" + std::to_string(0x0300 + 0x41 + i) + "\r\n"), std::string::npos)
        << file;
  }
}

}  // namespace
