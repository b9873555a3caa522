#include "common/text.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct ParseCase {
  const char *text;
  int base;
  std::uint32_t value;
  std::size_t stop;  // offset of the stop position
  bool overflow;
};

TEST(ParseU32, FollowsThe32BitRuntimeRules) {
  const ParseCase cases[] = {
      {"0x10", 0, 16, 4, false},
      {"010", 0, 8, 3, false},
      {"10", 0, 10, 2, false},
      {"08", 0, 0, 1, false},
      {"12abc", 0, 12, 2, false},
      {"abc", 0, 0, 0, false},
      {"", 0, 0, 0, false},
      {"0", 0, 0, 1, false},
      {"4294967295", 0, 0xFFFFFFFF, 10, false},
      {"4294967296", 0, 0xFFFFFFFF, 10, true},
      {"99999999999999999999x", 0, 0xFFFFFFFF, 20, true},
      {"037777777777", 0, 0xFFFFFFFF, 12, false},
      {"040000000000", 0, 0xFFFFFFFF, 12, true},
      {"-1", 0, 0xFFFFFFFF, 2, false},
      {"-4294967296", 0, 1, 11, true},
      {"-4294967295", 0, 1, 11, false},
      {"+7", 0, 7, 2, false},
      {" \t\n\v\f\r9", 0, 9, 7, false},
      {"- 5", 0, 0, 0, false},
      {" +", 0, 0, 0, false},
      {"0x", 0, 0, 0, false},
      {"0xg", 0, 0, 0, false},
      {" -0X", 0, 0, 0, false},
      {"0XfF", 0, 255, 4, false},
      {"\xA0" "5", 0, 0, 0, false},  // only ASCII white space is skipped
      {"1f", 16, 0x1F, 2, false},
      {"1F", 16, 0x1F, 2, false},
      {"0x1F", 16, 0x1F, 4, false},
      {"0X1f", 16, 0x1F, 4, false},
      {"+1f", 16, 0x1F, 3, false},
      {"000000001F", 16, 0x1F, 10, false},
      {"0x", 16, 0, 0, false},
      {"G", 16, 0, 0, false},
      {"1G", 16, 1, 1, false},
      {"1f ", 16, 0x1F, 2, false},
      {"123456789", 16, 0xFFFFFFFF, 9, true},
      {"123456789G", 16, 0xFFFFFFFF, 9, true},
      {"FFFFFFFF", 16, 0xFFFFFFFF, 8, false},
      {"-1", 16, 0xFFFFFFFF, 2, false},
      {"08", 16, 8, 2, false},
  };
  for (const ParseCase &c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\" base " +
                 std::to_string(c.base));
    errno = 0;
    const char *stop = nullptr;
    EXPECT_EQ(parse_u32(c.text, c.base, &stop), c.value);
    EXPECT_EQ(static_cast<std::size_t>(stop - c.text), c.stop);
    EXPECT_EQ(errno == ERANGE, c.overflow);
  }
}

TEST(ParseU32, NeverClearsTheOverflowIndication) {
  errno = ERANGE;
  EXPECT_EQ(parse_u32("5", 0), 5u);
  EXPECT_EQ(errno, ERANGE);
}

// Splits text completely; returns the items and the text's bytes afterwards.
std::vector<std::string> split_all(std::string *text) {
  std::vector<std::string> items;
  char *saved = nullptr;
  for (char *item = split_list(text->data(), &saved); item != nullptr;
       item = split_list(nullptr, &saved))
    items.emplace_back(item);
  return items;
}

TEST(SplitList, SplitsInPlaceWithoutEmptyItems) {
  struct Case {
    std::string text;
    std::vector<std::string> items;
    std::string after;
  };
  const Case cases[] = {
      {"a,,b", {"a", "b"}, std::string("a\0,b", 4)},
      {",a,", {"a"}, std::string(",a\0", 3)},
      {",,,", {}, ",,,"},
      {"", {}, ""},
      {"a b, c", {"a b", " c"}, std::string("a b\0 c", 6)},
      {"x", {"x"}, "x"},
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.after);
    EXPECT_EQ(split_all(&c.text), c.items);
    EXPECT_EQ(c.text, c.after);
  }
}

TEST(SplitList, ANewListReplacesTheSavedPosition) {
  char first[] = "a,b";
  char second[] = "c,d";
  char *saved = nullptr;
  EXPECT_STREQ(split_list(first, &saved), "a");
  EXPECT_STREQ(split_list(second, &saved), "c");
  EXPECT_STREQ(split_list(nullptr, &saved), "d");
  EXPECT_EQ(split_list(nullptr, &saved), nullptr);
  EXPECT_EQ(split_list(nullptr, &saved), nullptr);
}

TEST(ConvertDrivePath, RewritesOnlyDoubleSlashNames) {
  const std::pair<const char *, const char *> cases[] = {
      {"//c/dir/file", "c:/dir/file"}, {"//c", "c:"}, {"//", ""},
      {"/c/x", "/c/x"},                {"c:/x", "c:/x"}, {"", ""},
      {"/", "/"},                      {"///x", "/:x"},
  };
  for (const auto &[in, out] : cases) {
    // A buffer exactly as long as the name: anything read or written past
    // it shows up under the address sanitizer.
    std::vector<char> name(in, in + std::strlen(in) + 1);
    convert_drive_path(name.data());
    EXPECT_STREQ(name.data(), out) << "from " << in;
  }
}

TEST(FormatNumbers, MatchPrintf) {
  for (std::uint32_t v : {0u, 1u, 0x1Fu, 0xABCDEF01u, 0x80000000u, 0xFFFFFFFFu}) {
    char want[16];
    std::snprintf(want, sizeof want, "0x%08x", static_cast<unsigned>(v));
    char got[HEX32_SIZE];
    EXPECT_EQ(std::string(got, format_hex32(got, v)), want);
  }
  for (std::size_t v : {std::size_t{0}, std::size_t{7}, std::size_t{10},
                        std::size_t{256}, std::size_t{2080}, SIZE_MAX}) {
    char want[32];
    std::snprintf(want, sizeof want, "%zu", v);
    char got[DECIMAL_SIZE];
    EXPECT_EQ(std::string(got, format_decimal(got, v)), want);
  }
}

}  // namespace
