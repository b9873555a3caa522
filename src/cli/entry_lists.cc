#include "cli/entry_lists.h"

#include <cstdio>

#include "common/text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

Measure measure_file(const char *name, std::uint32_t *length) {
  int fd = _open(name, _O_RDONLY | _O_BINARY);
  if (fd < 0) return Measure::cannot_open;
  struct _stat64 st;
  long long end = -1;
  if (_fstat64(fd, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG)
    end = _lseeki64(fd, 0, SEEK_END);
  _close(fd);
  if (end < 0) return Measure::cannot_open;
  if (end > 0xFFFFFFFFLL) return Measure::too_large;
  *length = static_cast<std::uint32_t>(end);
  return Measure::ok;
}

#else

Measure measure_file(const char *name, std::uint32_t *length) {
  // O_NONBLOCK keeps a FIFO without a writer from hanging the open; the
  // type check then turns it away with every other non-regular file.
  int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Measure::cannot_open;
  struct stat st;
  off_t end = -1;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) end = lseek(fd, 0, SEEK_END);
  close(fd);
  if (end < 0) return Measure::cannot_open;
  if (static_cast<unsigned long long>(end) > 0xFFFFFFFFull)
    return Measure::too_large;
  *length = static_cast<std::uint32_t>(end);
  return Measure::ok;
}

#endif

void add_address_list(const Console &con, char *arg, int *errors,
                      EntryLists *lists) {
  char *saved = nullptr;
  for (char *item = split_list(arg, &saved); item != nullptr;
       item = split_list(nullptr, &saved)) {
    if (lists->address_count == MAX_ENTRIES) {
      std::fprintf(con.err, "too many addresses (at most %d)\n",
                   static_cast<int>(MAX_ENTRIES));
      ++*errors;
      return;
    }
    const std::uint32_t value = parse_u32(item, 0);
    lists->addresses[lists->address_count++] = value;
    if (!con.quiet)
      std::fprintf(con.out, "address %d:     0x%08x\n",
                   static_cast<int>(lists->address_count),
                   static_cast<unsigned>(value));
  }
}

namespace {

// Measures one named file into the size list; false ends the option.
bool add_process(const Console &con, char *name, int *errors,
                 EntryLists *lists) {
  convert_drive_path(name);
  if (!con.quiet)
    std::fprintf(con.out, "process %d:     %s ",
                 static_cast<int>(lists->process_count + 1), name);
  std::uint32_t length = 0;
  switch (measure_file(name, &length)) {
    case Measure::ok:
      break;
    case Measure::cannot_open:
      std::fprintf(con.err, "unable to open %s\n", name);
      ++*errors;
      return false;
    case Measure::too_large:
      std::fprintf(con.err, "file too large: %s\n", name);
      ++*errors;
      return false;
  }
  lists->sizes[lists->process_count++] = length;
  if (!con.quiet)
    std::fprintf(con.out, "(0x%08x)\n", static_cast<unsigned>(length));
  return true;
}

}  // namespace

void add_process_list(const Console &con, char *arg, int *errors,
                      EntryLists *lists) {
  char *saved = nullptr;
  for (char *item = split_list(arg, &saved); item != nullptr;
       item = split_list(nullptr, &saved)) {
    if (lists->process_count == MAX_ENTRIES) {
      std::fprintf(con.err, "too many process files (at most %d)\n",
                   static_cast<int>(MAX_ENTRIES));
      ++*errors;
      return;
    }
    if (!add_process(con, item, errors, lists)) return;
  }
}
