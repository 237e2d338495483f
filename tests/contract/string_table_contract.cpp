// The program's string table as the platform serves it: every text 1 to 86 byte for byte
// as the portable table holds it. On the real system this checks that the resource
// compiler kept each escape, blank and placeholder of res/string_table.h.
#include <cstring>

#include "contract/contract_support.h"
#include "platform/built_in_texts.h"

namespace {

using StringTableContract = ContractTest;

TEST_F(StringTableContract, EveryTextByteForByte) {
  for (int id = kFirstTextId; id <= kLastTextId; ++id) {
    const char* expected = StringTableText(id);
    ASSERT_NE(expected, nullptr) << id;
    char buffer[1024];
    memset(buffer, '#', sizeof buffer);
    int length = Sys().LoadStringText(static_cast<uint32_t>(id), buffer, sizeof buffer);
    EXPECT_EQ(length, static_cast<int>(strlen(expected))) << "text " << id;
    EXPECT_STREQ(buffer, expected) << "text " << id;
  }
}

// A buffer too small for the text receives its beginning, terminated.
TEST_F(StringTableContract, ShortBufferGetsTheBeginning) {
  char buffer[8];
  int length = Sys().LoadStringText(59, buffer, sizeof buffer);
  EXPECT_EQ(length, 7);
  EXPECT_STREQ(buffer, "Are you");
}

}  // namespace
