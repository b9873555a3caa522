#include "image/boot_image.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

// The one-entry example image, 64 bytes.
const std::vector<unsigned char> EXAMPLE = {
    0xFD, 0x9B, 0x5B, 0x7A, 0x00, 0x00, 0x00, 0x01,
    0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00,
    0x40, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x25,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

TEST(BootImage, LengthRoundsUpToWholeBlocks) {
  const std::pair<std::size_t, std::size_t> cases[] = {
      {0, 32}, {1, 64}, {4, 64}, {5, 96}, {8, 96}, {9, 128}, {256, 2080}};
  for (const auto &[n, length] : cases)
    EXPECT_EQ(boot_image_length(n), length) << n << " entries";
  EXPECT_EQ(boot_image_length(MAX_ENTRIES), MAX_IMAGE_LENGTH);
}

TEST(BootImage, EncodesTheOneEntryExampleByteForByte) {
  const std::uint32_t addresses[] = {0x100};
  const std::uint32_t sizes[] = {0x25};
  Console con;
  BootImage image;
  ASSERT_TRUE(build_boot_image(con, 0x80000000, 0x40000000, 1, addresses,
                               sizes, 0x300, 0x400, &image));
  const std::vector<unsigned char> &expected = EXAMPLE;
  ASSERT_EQ(image.length, expected.size());
  EXPECT_EQ(std::vector<unsigned char>(image.buffer,
                                       image.buffer + image.length),
            expected);
  free_boot_image(&image);
}

TEST(BootImage, StoresEveryFieldMostSignificantByteFirst) {
  unsigned char out[4];
  store_be32(out, 0x0A0D0A0D);
  EXPECT_EQ(out[0], 0x0A);
  EXPECT_EQ(out[1], 0x0D);
  EXPECT_EQ(out[2], 0x0A);
  EXPECT_EQ(out[3], 0x0D);
  EXPECT_EQ(load_be32(out), 0x0A0D0A0Du);
}

TEST(BootImageDecoder, ReadsTheOneEntryExampleFieldByField) {
  DecodedImage d;
  ASSERT_TRUE(decode_boot_image(EXAMPLE.data(), EXAMPLE.size(), 64, &d));
  EXPECT_TRUE(d.has_header);
  EXPECT_EQ(d.file_length, 64u);
  EXPECT_EQ(std::vector<unsigned char>(d.magic, d.magic + 4),
            std::vector<unsigned char>(BOOT_IMAGE_MAGIC, BOOT_IMAGE_MAGIC + 4));
  EXPECT_EQ(d.header.entry_count, 1u);
  EXPECT_EQ(d.header.platform_info_paddr, 0x300u);
  EXPECT_EQ(d.header.package_info_paddr, 0x400u);
  EXPECT_EQ(d.header.boot_flags, FLAG_STICKY_VALID);
  EXPECT_EQ(d.header.sticky_word, STICKY_HALT_AT_STARTUP);
  ASSERT_EQ(d.record_count, 1u);
  EXPECT_EQ(d.entries[0].address, 0x100u);
  EXPECT_EQ(d.entries[0].size, 0x25u);
  EXPECT_EQ(d.issue_count, 0u);
}

TEST(BootImageDecoder, ReadsBackWhatTheEncoderWrote) {
  for (const std::size_t n : {0u, 4u, 5u, 256u}) {
    std::vector<std::uint32_t> addresses(n), sizes(n);
    for (std::size_t i = 0; i < n; ++i) {
      addresses[i] = 0xA0000000u + static_cast<std::uint32_t>(i);
      sizes[i] = 0xFFFFFF00u - static_cast<std::uint32_t>(i);
    }
    std::vector<unsigned char> bytes(boot_image_length(n));
    BootImageHeader header{static_cast<std::uint32_t>(n), 1, 2, 3, 4};
    encode_boot_image(bytes.data(), header, addresses.data(), sizes.data(), n);
    DecodedImage d;
    ASSERT_TRUE(decode_boot_image(bytes.data(), bytes.size(), bytes.size(), &d))
        << n << " entries";
    EXPECT_EQ(d.header.entry_count, n);
    EXPECT_EQ(d.header.sticky_word, 4u);
    ASSERT_EQ(d.record_count, n);
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_EQ(d.entries[i].address, addresses[i]) << i;
      EXPECT_EQ(d.entries[i].size, sizes[i]) << i;
    }
  }
}

// A file built from the example by changes at given offsets.
struct ProblemCase {
  const char *what;
  std::size_t length;  // the file's real length
  std::size_t given;   // bytes handed to the decoder, at most length
  std::vector<std::pair<std::size_t, unsigned char>> changes;
  std::vector<ImageIssue> issues;
  std::size_t records;
};

TEST(BootImageDecoder, ListsEveryProblemWithItsNumbers) {
  using P = ImageProblem;
  const ProblemCase cases[] = {
      {"empty", 0, 0, {}, {{P::too_short, 0, 32, 0}}, 0},
      {"31 bytes", 31, 31, {}, {{P::too_short, 31, 32, 0}}, 0},
      {"magic", 64, 64, {{0, 0x7A}, {3, 0xFD}},
       {{P::bad_magic, 0x7A9B5BFD, 0xFD9B5B7A, 0}}, 1},
      {"count 257", 64, 64, {{6, 0x01}, {7, 0x01}},
       {{P::too_many_entries, 257, 256, 0}}, 4},
      {"count 0xFFFFFFFF", 64, 64, {{4, 0xFF}, {5, 0xFF}, {6, 0xFF}, {7, 0xFF}},
       {{P::too_many_entries, 0xFFFFFFFF, 256, 0}}, 4},
      {"count 5 in 64", 64, 64, {{7, 5}},
       {{P::wrong_length, 64, 96, 0}}, 4},
      {"one byte more", 65, 65, {},
       {{P::wrong_length, 65, 64, 0}}, 1},
      {"a header only", 32, 32, {}, {{P::wrong_length, 32, 64, 0}}, 0},
      {"half a record", 36, 36, {}, {{P::wrong_length, 36, 64, 0}}, 0},
      {"reserved", 64, 64, {{0x19, 1}, {0x1F, 2}},
       {{P::reserved_not_zero, 2, 0, 0x19}}, 1},
      {"fill", 64, 64, {{0x2C, 1}, {0x3F, 1}, {0x30, 9}},
       {{P::fill_not_zero, 3, 0, 0x2C}}, 1},
      {"fill in a short file", 48, 48, {{0x2F, 1}},
       {{P::wrong_length, 48, 64, 0}, {P::fill_not_zero, 1, 0, 0x2F}}, 1},
      {"past the image is not fill", 70, 70, {{0x44, 1}},
       {{P::wrong_length, 70, 64, 0}}, 1},
      {"shrank to 20 bytes", 64, 20, {}, {{P::incomplete, 20, 32, 0}}, 0},
      {"shrank to 40 bytes", 64, 40, {}, {{P::incomplete, 40, 64, 0}}, 1},
      {"everything", 100, 100, {{1, 0}, {7, 2}, {0x18, 1}, {0x31, 1}},
       {{P::bad_magic, 0xFD005B7A, 0xFD9B5B7A, 0},
        {P::reserved_not_zero, 1, 0, 0x18},
        {P::wrong_length, 100, 64, 0},
        {P::fill_not_zero, 1, 0, 0x31}}, 2},
  };
  for (const ProblemCase &c : cases) {
    std::vector<unsigned char> bytes(EXAMPLE);
    bytes.resize(c.length);
    for (const auto &[offset, value] : c.changes) bytes[offset] = value;
    DecodedImage d;
    EXPECT_FALSE(decode_boot_image(bytes.data(), c.given, c.length, &d))
        << c.what;
    ASSERT_EQ(d.issue_count, c.issues.size()) << c.what;
    for (std::size_t i = 0; i < d.issue_count; ++i) {
      EXPECT_EQ(d.issues[i].kind, c.issues[i].kind) << c.what << " #" << i;
      EXPECT_EQ(d.issues[i].found, c.issues[i].found) << c.what << " #" << i;
      EXPECT_EQ(d.issues[i].expected, c.issues[i].expected) << c.what;
      EXPECT_EQ(d.issues[i].offset, c.issues[i].offset) << c.what;
    }
    EXPECT_EQ(d.record_count, c.records) << c.what;
  }
}

TEST(BootImageDecoder, IgnoresBytesPastTheFileLength) {
  // The caller may hand over a larger buffer than the file filled.
  std::vector<unsigned char> bytes(EXAMPLE);
  bytes.resize(MAX_IMAGE_LENGTH, 0xEE);
  DecodedImage d;
  EXPECT_TRUE(decode_boot_image(bytes.data(), bytes.size(), 64, &d));
}

}  // namespace
