#include "image/boot_image.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(BootImage, LengthRoundsUpToWholeBlocks) {
  const std::pair<std::size_t, std::size_t> cases[] = {
      {0, 32}, {1, 64}, {4, 64}, {5, 96}, {8, 96}, {9, 128}, {256, 2080}};
  for (const auto &[n, length] : cases)
    EXPECT_EQ(boot_image_length(n), length) << n << " entries";
}

TEST(BootImage, EncodesTheOneEntryExampleByteForByte) {
  const std::uint32_t addresses[] = {0x100};
  const std::uint32_t sizes[] = {0x25};
  Console con;
  BootImage image;
  ASSERT_TRUE(build_boot_image(con, 0x80000000, 0x40000000, 1, addresses,
                               sizes, 0x300, 0x400, &image));
  const std::vector<unsigned char> expected = {
      0xFD, 0x9B, 0x5B, 0x7A, 0x00, 0x00, 0x00, 0x01,
      0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00,
      0x40, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x25,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
  };
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

}  // namespace
