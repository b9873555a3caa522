#include "image/boot_image.h"

#include <cstdlib>

#include "common/file.h"

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
  std::uint64_t size = 0;
  const bool regular = regular_file_size(fileno(f), &size);
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

namespace {

void add_issue(DecodedImage *d, ImageProblem kind, std::uint64_t found,
               std::uint64_t expected, std::uint64_t offset = 0) {
  if (d->issue_count < MAX_IMAGE_ISSUES)
    d->issues[d->issue_count++] = ImageIssue{kind, found, expected, offset};
}

// Reports the non-zero bytes of [begin, end) as one problem of kind.
void check_zero(const unsigned char *bytes, std::size_t begin, std::size_t end,
                ImageProblem kind, DecodedImage *d) {
  std::uint64_t count = 0;
  std::size_t first = 0;
  for (std::size_t i = begin; i < end; ++i) {
    if (bytes[i] == 0) continue;
    if (count++ == 0) first = i;
  }
  if (count != 0) add_issue(d, kind, count, 0, first);
}

void decode_header(const unsigned char *bytes, DecodedImage *d) {
  d->has_header = true;
  for (std::size_t i = 0; i < sizeof d->magic; ++i)
    d->magic[i] = bytes[OFFSET_MAGIC + i];
  d->header.entry_count = load_be32(bytes + OFFSET_ENTRY_COUNT);
  d->header.platform_info_paddr = load_be32(bytes + OFFSET_PLATFORM_INFO);
  d->header.package_info_paddr = load_be32(bytes + OFFSET_PACKAGE_INFO);
  d->header.boot_flags = load_be32(bytes + OFFSET_BOOT_FLAGS);
  d->header.sticky_word = load_be32(bytes + OFFSET_STICKY_WORD);
  for (std::size_t i = 0; i < RESERVED_SIZE; ++i)
    d->reserved[i] = bytes[OFFSET_RESERVED + i];
}

// Decodes the records that lie wholly in the first present bytes.
void decode_records(const unsigned char *bytes, std::size_t present,
                    std::size_t count, DecodedImage *d) {
  const std::size_t room = (present - HEADER_SIZE) / ENTRY_SIZE;
  d->record_count = count < room ? count : room;
  for (std::size_t i = 0; i < d->record_count; ++i) {
    const unsigned char *record = bytes + HEADER_SIZE + ENTRY_SIZE * i;
    d->entries[i].address = load_be32(record + OFFSET_ENTRY_ADDRESS);
    d->entries[i].size = load_be32(record + OFFSET_ENTRY_SIZE);
  }
}

}  // namespace

bool decode_boot_image(const unsigned char *bytes, std::size_t size,
                       std::uint64_t file_length, DecodedImage *out) {
  *out = DecodedImage{};
  out->file_length = file_length;
  const std::size_t avail =
      file_length < size ? static_cast<std::size_t>(file_length) : size;
  if (file_length < HEADER_SIZE) {
    add_issue(out, ImageProblem::too_short, file_length, HEADER_SIZE);
    return false;
  }
  if (avail < HEADER_SIZE) {
    add_issue(out, ImageProblem::incomplete, avail, HEADER_SIZE);
    return false;
  }
  decode_header(bytes, out);
  const std::uint32_t magic = load_be32(out->magic);
  if (magic != load_be32(BOOT_IMAGE_MAGIC))
    add_issue(out, ImageProblem::bad_magic, magic, load_be32(BOOT_IMAGE_MAGIC));
  const std::uint32_t count = out->header.entry_count;
  if (count > MAX_ENTRIES)
    add_issue(out, ImageProblem::too_many_entries, count, MAX_ENTRIES);
  check_zero(bytes, OFFSET_RESERVED, OFFSET_RESERVED + RESERVED_SIZE,
             ImageProblem::reserved_not_zero, out);
  if (count > MAX_ENTRIES) {
    // No length fits such a count; show the records the bytes hold.
    decode_records(bytes, avail < MAX_IMAGE_LENGTH ? avail : MAX_IMAGE_LENGTH,
                   MAX_ENTRIES, out);
    return false;
  }
  const std::size_t length = boot_image_length(count);
  if (file_length != length)
    add_issue(out, ImageProblem::wrong_length, file_length, length);
  // Bytes past the image's own length are the wrong length reported above,
  // not fill; a short file is checked as far as it goes.
  const std::size_t need = file_length < length
                               ? static_cast<std::size_t>(file_length)
                               : length;
  const std::size_t present = avail < need ? avail : need;
  decode_records(bytes, present, count, out);
  const std::size_t table_end = HEADER_SIZE + ENTRY_SIZE * count;
  if (table_end < present)
    check_zero(bytes, table_end, present, ImageProblem::fill_not_zero, out);
  if (present < need) add_issue(out, ImageProblem::incomplete, avail, need);
  return out->issue_count == 0;
}
