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

// A process line, "process N:     NAME " then "(0x%08x)\n" once the file is
// measured. It is held back and put in one piece, which gives the same bytes
// as putting the start first: the start has no newline to flush it.
struct ProcessLine {
  char text[8 + DECIMAL_SIZE + 6 + 200 + 1 + HEX32_SIZE + 2];
  std::size_t held = 0;  // bytes of text not yet put
};

// Starts the line; a name too long to hold is put at once with the start.
void start_process_line(const Console &con, std::size_t n, const char *name,
                        ProcessLine *line) {
  char *at = line->text;
  at = std::copy_n("process ", 8, at);
  at = format_decimal(at, n);
  at = std::copy_n(":     ", 6, at);
  const std::size_t length = std::strlen(name);
  const std::size_t room = static_cast<std::size_t>(
      line->text + sizeof line->text - at) - (1 + HEX32_SIZE + 2);
  if (length < room) {
    at = std::copy_n(name, length, at);
    *at++ = ' ';
    line->held = static_cast<std::size_t>(at - line->text);
    return;
  }
  std::fwrite(line->text, 1, static_cast<std::size_t>(at - line->text),
              con.out);
  std::fwrite(name, 1, length, con.out);
  std::putc(' ', con.out);
  line->held = 0;
}

// Puts what is held of the line, unterminated: its file failed.
void abandon_process_line(const Console &con, const ProcessLine &line) {
  std::fwrite(line.text, 1, line.held, con.out);
}

// Ends the line with the file's length and puts it.
void end_process_line(const Console &con, std::uint32_t length,
                      ProcessLine *line) {
  char *at = line->text + line->held;
  *at++ = '(';
  at = format_hex32(at, length);
  *at++ = ')';
  *at++ = '\n';
  std::fwrite(line->text, 1, static_cast<std::size_t>(at - line->text),
              con.out);
}

// Measures one named file into the size list; false ends the option.
bool add_process(const Console &con, char *name, int *errors,
                 EntryLists *lists) {
  convert_drive_path(name);
  ProcessLine line;
  if (!con.quiet) start_process_line(con, lists->process_count + 1, name, &line);
  std::uint32_t length = 0;
  const Measure m = measure_file(name, &length);
  if (m != Measure::ok) {
    if (!con.quiet) abandon_process_line(con, line);
    std::fprintf(con.err, m == Measure::too_large ? "file too large: %s\n"
                                                  : "unable to open %s\n",
                 name);
    ++*errors;
    return false;
  }
  lists->sizes[lists->process_count++] = length;
  if (!con.quiet) end_process_line(con, length, &line);
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
