// Contract of the shell services the program uses: shell links written as files, and the
// Program Manager conversation over DDE (answered by the simulated machine's stand-in and
// by Wine's shell, which serves it only while its desktop runs: under Wine this suite
// needs a display).
#include "contract/contract_support.h"

#include <cstring>

namespace {

using ShellContract = ContractTest;

TEST_F(ShellContract, ShellLinkBecomesAFile) {
  std::string target = PathOf("app.exe");
  ASSERT_EQ(WriteWholeFile(target, "MZ"), 0);
  std::string link = PathOf("App.lnk");
  ShellLinkFields fields = {link.c_str(), target.c_str(), Scratch().c_str(), target.c_str(),
                            0, kSwShowNormal, 0, "/x"};
  EXPECT_EQ(Sys().CreateShellLink(fields), 0);
  EXPECT_TRUE(Exists(link));
}

TEST_F(ShellContract, ProgramManagerConversation) {
  ASSERT_EQ(Sys().DdeStart(), 0);
  ASSERT_EQ(Sys().DdeConnectTo("PROGMAN"), 0);
  EXPECT_EQ(Sys().DdeExecuteText("[CreateGroup(KtmContract)]", 1000), 0);

  // The group list is text, one group a line, ending in a terminator.
  char groups[16384];
  memset(groups, '#', sizeof groups);
  int length = Sys().DdeRequestText("GROUPS", groups, sizeof groups, 5000);
  ASSERT_GT(length, 0);
  EXPECT_EQ(groups[length - 1], '\0');
  EXPECT_NE(UpperAsciiText(groups).find("KTMCONTRACT"), std::string::npos) << groups;

  // A second request: Wine's shell answers it only on a new conversation.
  Sys().DdeDisconnectNow();
  ASSERT_EQ(Sys().DdeConnectTo("PROGMAN"), 0);
  char small[4];
  memset(small, '#', sizeof small);
  length = Sys().DdeRequestText("GROUPS", small, sizeof small, 5000);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(small[3], '\0');

  EXPECT_EQ(Sys().DdeExecuteText("[DeleteGroup(KtmContract)]", 1000), 0);
  Sys().DdeDisconnectNow();
  Sys().DdeStop();
}

}  // namespace
