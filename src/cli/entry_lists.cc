#include "cli/entry_lists.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/file.h"
#include "common/text.h"

Measure measure_file(const char *name, std::uint32_t *length) {
  ReadableFile f;
  if (open_regular(name, &f) != OpenResult::ok) return Measure::cannot_open;
  const std::int64_t end = seek_to_end(f);
  close_file(&f);
  if (end < 0) return Measure::cannot_open;
  if (end > 0xFFFFFFFFll) return Measure::too_large;
  *length = static_cast<std::uint32_t>(end);
  return Measure::ok;
}

namespace {

// The per-entry progress lines are built by hand: parsing a printf format
// for each of them would cost most of a long run.

// Puts "address N:     0x%08x\n".
void print_address(const Console &con, std::size_t n, std::uint32_t value) {
  char line[8 + DECIMAL_SIZE + 6 + HEX32_SIZE + 1];
  char *at = line;
  at = std::copy_n("address ", 8, at);
  at = format_decimal(at, n);
  at = std::copy_n(":     ", 6, at);
  at = format_hex32(at, value);
  *at++ = '\n';
  std::fwrite(line, 1, static_cast<std::size_t>(at - line), con.out);
}

// Puts "process N:     NAME ", the line's start before the file is measured;
// in one piece unless the name is long.
void print_process_start(const Console &con, std::size_t n, const char *name) {
  char start[8 + DECIMAL_SIZE + 6 + 200];
  char *at = start;
  at = std::copy_n("process ", 8, at);
  at = format_decimal(at, n);
  at = std::copy_n(":     ", 6, at);
  const std::size_t length = std::strlen(name);
  if (length < static_cast<std::size_t>(start + sizeof start - at)) {
    at = std::copy_n(name, length, at);
    *at++ = ' ';
    std::fwrite(start, 1, static_cast<std::size_t>(at - start), con.out);
    return;
  }
  std::fwrite(start, 1, static_cast<std::size_t>(at - start), con.out);
  std::fwrite(name, 1, length, con.out);
  std::putc(' ', con.out);
}

// Puts "(0x%08x)\n", the line's end once the length is known.
void print_process_end(const Console &con, std::uint32_t length) {
  char end[1 + HEX32_SIZE + 2];
  end[0] = '(';
  char *at = format_hex32(end + 1, length);
  *at++ = ')';
  *at++ = '\n';
  std::fwrite(end, 1, static_cast<std::size_t>(at - end), con.out);
}

// Measures one named file into the size list; false ends the option.
bool add_process(const Console &con, char *name, int *errors,
                 EntryLists *lists) {
  convert_drive_path(name);
  if (!con.quiet) print_process_start(con, lists->process_count + 1, name);
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
  if (!con.quiet) print_process_end(con, length);
  return true;
}

}  // namespace

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
    if (!con.quiet) print_address(con, lists->address_count, value);
  }
}

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
