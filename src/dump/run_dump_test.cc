#include "dump/run_dump.h"

#include <gtest/gtest.h>

namespace {

TEST(DumpNames, TellsUtf8FromOtherBytes) {
  const std::pair<const char *, bool> cases[] = {
      {"", true},
      {"image.zdk", true},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true},
      {"latin1 caf\xE9", false},
      {"\xFF", false},
      {"\xC0\xAF", false},          // overlong '/'
      {"\xED\xA0\x80", false},      // a surrogate half
      {"\xE2\x82", false},          // cut short
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
  };
  for (const auto &[text, utf8] : cases)
    EXPECT_EQ(is_utf8(text), utf8) << text;
}

}  // namespace
