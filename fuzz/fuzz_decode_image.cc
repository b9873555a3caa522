// Checks zdkdump's decoder on arbitrary bytes, as the whole file and as the
// first bytes of a longer one.
//
// Invariants: nothing is read past the bytes given (they sit in an
// allocation of their exact length); the counts stay within their arrays;
// every decoded record is the big-endian pair at its offset; the verdict is
// "no problems"; and an image judged well formed is exactly what the encoder
// writes for the decoded values, byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "image/boot_image.h"
#include "support.h"

namespace {

void check(const unsigned char *bytes, std::size_t size,
           std::uint64_t file_length) {
  static DecodedImage out;  // about 2 KiB; kept off the stack
  const bool valid = decode_boot_image(bytes, size, file_length, &out);
  require(out.file_length == file_length, "file length not kept");
  require(out.issue_count <= MAX_IMAGE_ISSUES, "too many issues");
  require(out.record_count <= MAX_ENTRIES, "too many records");
  require(valid == (out.issue_count == 0), "verdict disagrees with issues");
  const std::size_t avail =
      file_length < size ? static_cast<std::size_t>(file_length) : size;
  for (std::size_t i = 0; i < out.record_count; ++i) {
    const std::size_t at = HEADER_SIZE + ENTRY_SIZE * i;
    require(at + ENTRY_SIZE <= avail, "record decoded past the bytes");
    require(out.entries[i].address == load_be32(bytes + at) &&
                out.entries[i].size == load_be32(bytes + at + 4),
            "record differs from its bytes");
  }
  if (!valid) return;
  const std::size_t n = out.header.entry_count;
  require(n == out.record_count, "well formed but records missing");
  require(file_length == boot_image_length(n) && avail == file_length,
          "well formed with the wrong length");
  std::vector<std::uint32_t> addresses(n), sizes(n);
  for (std::size_t i = 0; i < n; ++i) {
    addresses[i] = out.entries[i].address;
    sizes[i] = out.entries[i].size;
  }
  std::vector<unsigned char> again(boot_image_length(n));
  encode_boot_image(again.data(), out.header, addresses.data(), sizes.data(),
                    n);
  require(std::memcmp(again.data(), bytes, again.size()) == 0,
          "well formed but not what the encoder writes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  const std::unique_ptr<char[]> copy =
      exact_text(reinterpret_cast<const char *>(data), size);
  const auto *bytes = reinterpret_cast<const unsigned char *>(copy.get());
  check(bytes, size, size);
  // The same bytes as the start of a longer file, a little and far longer.
  check(bytes, size, size + 8);
  check(bytes, size, 5ull << 30);
  // And as a file shorter than the bytes read.
  if (size > 0) check(bytes, size, size / 2);
  return 0;
}
