// Contract of the program's own resources and of library loading where nothing is there.
#include "contract/contract_support.h"

namespace {

using ResourceContract = ContractTest;

TEST_F(ResourceContract, MissingTextsAndLibraries) {
  char buffer[32] = "unchanged";
  EXPECT_EQ(Sys().LoadStringText(64999, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");

  const void* data = nullptr;
  uint32_t size = 0;
  EXPECT_NE(Sys().ResourceBytes(300, 64999, &data, &size), 0);

  std::string missing = PathOf("absent.dll");
  EXPECT_EQ(Sys().LoadLib(missing.c_str()), 0u);
}

}  // namespace
