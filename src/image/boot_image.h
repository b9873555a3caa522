// The boot image: the byte layout the target's boot code reads, its assembly
// in a working buffer, its writing to the output file, and its decoding and
// checking when read back. The layout defined here is the one definition that
// every writer and reader uses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/console.h"

// The four fixed bytes at offset 0, in file order.
inline constexpr unsigned char BOOT_IMAGE_MAGIC[4] = {0xFD, 0x9B, 0x5B, 0x7A};

// Size of the header and of one entry record, in bytes.
inline constexpr std::size_t HEADER_SIZE = 32;
inline constexpr std::size_t ENTRY_SIZE = 8;

// Field offsets inside the header; every field but the magic is big-endian.
inline constexpr std::size_t OFFSET_MAGIC = 0x00;
inline constexpr std::size_t OFFSET_ENTRY_COUNT = 0x04;
inline constexpr std::size_t OFFSET_PLATFORM_INFO = 0x08;
inline constexpr std::size_t OFFSET_PACKAGE_INFO = 0x0C;
inline constexpr std::size_t OFFSET_BOOT_FLAGS = 0x10;
inline constexpr std::size_t OFFSET_STICKY_WORD = 0x14;
inline constexpr std::size_t OFFSET_RESERVED = 0x18;
inline constexpr std::size_t RESERVED_SIZE = 8;

// Field offsets inside one entry record.
inline constexpr std::size_t OFFSET_ENTRY_ADDRESS = 0x00;
inline constexpr std::size_t OFFSET_ENTRY_SIZE = 0x04;

// Most entries either list may hold, and so an image may carry.
inline constexpr std::size_t MAX_ENTRIES = 256;

// Length of the largest well-formed image, the one with MAX_ENTRIES records:
// 2080 bytes, a whole number of 32-byte blocks with no fill.
inline constexpr std::size_t MAX_IMAGE_LENGTH =
    HEADER_SIZE + ENTRY_SIZE * MAX_ENTRIES;

// Size of the zero-filled working buffer the image is assembled in.
inline constexpr std::size_t IMAGE_BUFFER_SIZE = 0x100000;

// boot_flags bit: the target is to apply sticky_word at startup.
inline constexpr std::uint32_t FLAG_STICKY_VALID = 0x40000000;
// sticky_word bit: halt during the OS startup and wait for a JTAG debugger.
inline constexpr std::uint32_t STICKY_HALT_AT_STARTUP = 0x80000000;

// The header's values, as numbers.
struct BootImageHeader {
  std::uint32_t entry_count = 0;
  std::uint32_t platform_info_paddr = 0;
  std::uint32_t package_info_paddr = 0;
  std::uint32_t boot_flags = 0;
  std::uint32_t sticky_word = 0;
};

// One record of the entry table.
struct BootImageEntry {
  std::uint32_t address = 0;
  std::uint32_t size = 0;
};

// An assembled image: the working buffer and the number of bytes to write.
struct BootImage {
  unsigned char *buffer = nullptr;
  std::size_t length = 0;
};

// Length of an image with n entries: 32 + 8n rounded up to a multiple of 32.
std::size_t boot_image_length(std::size_t n);

// Stores v most significant byte first at p.
void store_be32(unsigned char *p, std::uint32_t v);

// Reads a most-significant-byte-first u32 from p.
std::uint32_t load_be32(const unsigned char *p);

// Writes the header and the n records into out, which holds at least
// boot_image_length(n) zeroed bytes.
void encode_boot_image(unsigned char *out, const BootImageHeader &header,
                       const std::uint32_t *addresses,
                       const std::uint32_t *sizes, std::size_t n);

// Assembles the image in a new zeroed working buffer. On no memory, prints
// the reason and returns false.
bool build_boot_image(const Console &con, std::uint32_t sticky_word,
                      std::uint32_t boot_flags, std::size_t n,
                      const std::uint32_t *addresses,
                      const std::uint32_t *sizes,
                      std::uint32_t platform_info_paddr,
                      std::uint32_t package_info_paddr, BootImage *image);

// Writes the image to name and prints the closing line unless quiet. On a
// failure prints the reason, removes a partly written regular file and
// returns false.
bool write_boot_image(const Console &con, const char *name,
                      const BootImage &image);

// Releases the working buffer.
void free_boot_image(BootImage *image);

// What can be wrong with a file that is meant to be a boot image.
enum class ImageProblem {
  too_short,          // fewer bytes than a header
  bad_magic,          // found holds the four bytes read, in file order
  too_many_entries,   // entry_count above MAX_ENTRIES
  wrong_length,       // not the length that entry_count implies
  reserved_not_zero,  // found counts the non-zero reserved header bytes
  fill_not_zero,      // found counts the non-zero bytes after the table
  incomplete,         // fewer bytes given than the checks need
};

// One problem: what was found, what a well-formed image has there, and for
// the non-zero kinds the offset of the first offending byte.
struct ImageIssue {
  ImageProblem kind = ImageProblem::too_short;
  std::uint64_t found = 0;
  std::uint64_t expected = 0;
  std::uint64_t offset = 0;
};

// Most problems one file can show: each kind at most once.
inline constexpr std::size_t MAX_IMAGE_ISSUES = 7;

// A file's bytes read back as an image, with every problem found.
struct DecodedImage {
  std::uint64_t file_length = 0;   // the file's real length
  bool has_header = false;         // the header's 32 bytes were there
  unsigned char magic[4] = {};     // as found, in file order
  BootImageHeader header;          // valid when has_header
  unsigned char reserved[RESERVED_SIZE] = {};  // as found
  std::size_t record_count = 0;    // records decoded into entries
  BootImageEntry entries[MAX_ENTRIES];
  std::size_t issue_count = 0;     // problems in issues, as checked
  ImageIssue issues[MAX_IMAGE_ISSUES];
};

// Decodes and checks an image from the first size bytes of a file whose real
// length is file_length; bytes past file_length are ignored. A pure function:
// no I/O, no allocation, safe on any input. Fills *out and returns true when
// the file is a well-formed image.
bool decode_boot_image(const unsigned char *bytes, std::size_t size,
                       std::uint64_t file_length, DecodedImage *out);
