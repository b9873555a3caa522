// zdkgen_floor: the least work a zdkgen run needs, as the benchmark's
// measure. It takes -p and -a lists of decimal numbers, makes the system
// calls a run makes (open, fstat, seek to the end and close each process
// file; create, write and close the output; write the progress text in 4 KiB
// blocks, as a fully buffered stream does) and prints the same text, but
// with no stream library, no formatting engine and no working buffer beyond
// the image itself. It checks nothing a benchmark does not need.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#ifndef ZDKGEN_VERSION
#define ZDKGEN_VERSION "unknown"
#endif

namespace {

constexpr std::size_t MAX_ENTRIES = 256;

char g_text[4096];  // the progress text not yet written
std::size_t g_used = 0;
unsigned char g_image[32 + 8 * MAX_ENTRIES];  // zero-filled by the loader
std::uint32_t g_addresses[MAX_ENTRIES];
std::uint32_t g_sizes[MAX_ENTRIES];

// Writes the text gathered so far to stdout; false on failure.
bool flush_text() {
  std::size_t done = 0;
  while (done < g_used) {
    const ssize_t n = write(1, g_text + done, g_used - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  g_used = 0;
  return true;
}

void put(const char *s, std::size_t n) {
  while (n != 0) {
    if (g_used == sizeof g_text) flush_text();
    std::size_t room = sizeof g_text - g_used;
    if (room > n) room = n;
    std::memcpy(g_text + g_used, s, room);
    g_used += room;
    s += room;
    n -= room;
  }
}

void put(const char *s) { put(s, std::strlen(s)); }

// Appends to a line being built; each returns the new end.
char *append(char *at, const char *s, std::size_t n) {
  std::memcpy(at, s, n);
  return at + n;
}

char *append_decimal(char *at, std::size_t v) {
  char digits[20];
  std::size_t n = 0;
  do {
    digits[sizeof digits - ++n] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  return append(at, digits + sizeof digits - n, n);
}

char *append_hex8(char *at, std::uint32_t v) {
  static const char hex[] = "0123456789abcdef";
  at[0] = '0';
  at[1] = 'x';
  for (int i = 9; i >= 2; --i, v >>= 4) at[i] = hex[v & 15];
  return at + 10;
}

void store_be32(unsigned char *p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

// The next comma-separated item of *list, NUL-terminated in place, or null.
char *next_item(char **list) {
  char *p = *list;
  while (*p == ',') ++p;
  if (*p == '\0') return nullptr;
  char *item = p;
  while (*p != '\0' && *p != ',') ++p;
  if (*p == ',') *p++ = '\0';
  *list = p;
  return item;
}

std::size_t measure_all(char *list, std::size_t count) {
  for (char *name; count < MAX_ENTRIES && (name = next_item(&list));) {
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return count;
    const off_t end = lseek(fd, 0, SEEK_END);
    close(fd);
    g_sizes[count++] = static_cast<std::uint32_t>(end);
    char line[64];
    char *at = append(line, "process ", 8);
    at = append_decimal(at, count);
    at = append(at, ":     ", 6);
    put(line, static_cast<std::size_t>(at - line));
    put(name);
    at = append(line, " (", 2);
    at = append_hex8(at, static_cast<std::uint32_t>(end));
    at = append(at, ")\n", 2);
    put(line, static_cast<std::size_t>(at - line));
  }
  return count;
}

std::size_t read_all(char *list, std::size_t count) {
  for (char *item; count < MAX_ENTRIES && (item = next_item(&list));) {
    std::uint32_t v = 0;
    for (; *item >= '0' && *item <= '9'; ++item)
      v = v * 10 + static_cast<std::uint32_t>(*item - '0');
    g_addresses[count++] = v;
    char line[64];
    char *at = append(line, "address ", 8);
    at = append_decimal(at, count);
    at = append(at, ":     ", 6);
    at = append_hex8(at, v);
    *at++ = '\n';
    put(line, static_cast<std::size_t>(at - line));
  }
  return count;
}

}  // namespace

int main(int argc, char **argv) {
  std::size_t processes = 0;
  std::size_t addresses = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (argv[i][0] == '-' && argv[i][1] == 'p')
      processes = measure_all(argv[i + 1], processes);
    else if (argv[i][0] == '-' && argv[i][1] == 'a')
      addresses = read_all(argv[i + 1], addresses);
  }
  put("KUR9 system file generator. zdkgen " ZDKGEN_VERSION "\n");
  put("Built : " __DATE__ " " __TIME__ "\n");
  const std::size_t n = processes < addresses ? processes : addresses;

  static const unsigned char magic[4] = {0xFD, 0x9B, 0x5B, 0x7A};
  for (std::size_t i = 0; i < 4; ++i) g_image[i] = magic[i];
  store_be32(g_image + 4, static_cast<std::uint32_t>(n));
  for (std::size_t i = 0; i < n; ++i) {
    store_be32(g_image + 32 + 8 * i, g_addresses[i]);
    store_be32(g_image + 36 + 8 * i, g_sizes[i]);
  }
  const std::size_t length = (8 * n + 63) & ~static_cast<std::size_t>(31);
  const int fd = open("ppc.zdk", O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return 1;
  const bool written =
      write(fd, g_image, length) == static_cast<ssize_t>(length);
  if (close(fd) != 0 || !written) return 1;
  char line[64];
  char *at = append(line, "Generated ppc.zdk (", 19);
  at = append_decimal(at, length);
  at = append(at, " bytes)\n", 8);
  put(line, static_cast<std::size_t>(at - line));
  return flush_text() ? 0 : 1;
}
