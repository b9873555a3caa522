#include "image/boot_image.h"

#include <cstdlib>
#include <sys/stat.h>

std::size_t boot_image_length(std::size_t n) {
  return (ENTRY_SIZE * n + 63) & ~static_cast<std::size_t>(31);
}

void store_be32(unsigned char *p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

std::uint32_t load_be32(const unsigned char *p) {
  return static_cast<std::uint32_t>(p[0]) << 24 |
         static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

void encode_boot_image(unsigned char *out, const BootImageHeader &header,
                       const std::uint32_t *addresses,
                       const std::uint32_t *sizes, std::size_t n) {
  for (std::size_t i = 0; i < sizeof BOOT_IMAGE_MAGIC; ++i)
    out[OFFSET_MAGIC + i] = BOOT_IMAGE_MAGIC[i];
  store_be32(out + OFFSET_ENTRY_COUNT, header.entry_count);
  store_be32(out + OFFSET_PLATFORM_INFO, header.platform_info_paddr);
  store_be32(out + OFFSET_PACKAGE_INFO, header.package_info_paddr);
  store_be32(out + OFFSET_BOOT_FLAGS, header.boot_flags);
  store_be32(out + OFFSET_STICKY_WORD, header.sticky_word);
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char *record = out + HEADER_SIZE + ENTRY_SIZE * i;
    store_be32(record + OFFSET_ENTRY_ADDRESS, addresses[i]);
    store_be32(record + OFFSET_ENTRY_SIZE, sizes[i]);
  }
}

bool build_boot_image(const Console &con, std::uint32_t sticky_word,
                      std::uint32_t boot_flags, std::size_t n,
                      const std::uint32_t *addresses,
                      const std::uint32_t *sizes,
                      std::uint32_t platform_info_paddr,
                      std::uint32_t package_info_paddr, BootImage *image) {
  // calloc hands out zeroed pages lazily, so the unused part of the buffer
  // costs no touched memory.
  auto *buffer = static_cast<unsigned char *>(std::calloc(IMAGE_BUFFER_SIZE, 1));
  if (buffer == nullptr) {
    std::fprintf(con.err, "%s: unable to allocate sufficient memory\n",
                 con.program);
    return false;
  }
  BootImageHeader header;
  header.entry_count = static_cast<std::uint32_t>(n);
  header.platform_info_paddr = platform_info_paddr;
  header.package_info_paddr = package_info_paddr;
  header.boot_flags = boot_flags;
  header.sticky_word = sticky_word;
  encode_boot_image(buffer, header, addresses, sizes, n);
  image->buffer = buffer;
  image->length = boot_image_length(n);
  return true;
}

namespace {

bool is_regular(std::FILE *f) {
  struct stat st;
  return fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
}

// Writes, flushes and closes f; a buffered stream may accept the write and
// fail only when it is flushed or closed, so every step counts.
bool put_and_close(std::FILE *f, const BootImage &image) {
  bool ok = std::fwrite(image.buffer, 1, image.length, f) == image.length;
  ok = std::fflush(f) == 0 && ok;
  ok = !std::ferror(f) && ok;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

bool write_boot_image(const Console &con, const char *name,
                      const BootImage &image) {
  std::FILE *f = std::fopen(name, "wb");
  if (f == nullptr) {
    std::fprintf(con.err, "%s: unable to open img output file\n", con.program);
    return false;
  }
  const bool regular = is_regular(f);
  if (!put_and_close(f, image)) {
    // A truncated image with a fresh timestamp would pass for a good one.
    if (regular) std::remove(name);
    std::fprintf(con.err, "%s: failed to write img output file\n",
                 con.program);
    return false;
  }
  if (!con.quiet)
    std::fprintf(con.out, "Generated %s (%d bytes)\n", name,
                 static_cast<int>(image.length));
  return true;
}

void free_boot_image(BootImage *image) {
  std::free(image->buffer);
  image->buffer = nullptr;
  image->length = 0;
}
