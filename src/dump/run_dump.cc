#include "dump/run_dump.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/file.h"
#include "image/boot_image.h"

#ifndef ZDKGEN_VERSION
#define ZDKGEN_VERSION "unknown"
#endif

namespace {

// Keys stay in the order written: name and validity first, as people read.
using Json = nlohmann::ordered_json;

// What the command line asked for.
struct DumpOptions {
  bool json = false;
  std::vector<const char *> files;
};

// Outcome of reading one named file.
enum class ReadStatus { ok, no_such_file, not_regular, cannot_open, read_error };

// One file as read: its real length and its first bytes.
struct FileBytes {
  ReadStatus status = ReadStatus::ok;
  int error = 0;  // errno for cannot_open and read_error
  std::uint64_t length = 0;
  std::size_t size = 0;  // bytes read into data
  unsigned char data[MAX_IMAGE_LENGTH] = {};
};

// The open's outcome as the reading's.
ReadStatus read_status(OpenResult r) {
  switch (r) {
    case OpenResult::ok: return ReadStatus::ok;
    case OpenResult::no_such_file: return ReadStatus::no_such_file;
    case OpenResult::not_regular: return ReadStatus::not_regular;
    case OpenResult::cannot_open: break;
  }
  return ReadStatus::cannot_open;
}

// Reads at most sizeof data bytes; a longer file is told by its length
// alone, so a huge file named by mistake costs one short read.
void read_file(const char *name, FileBytes *f) {
  ReadableFile file;
  f->status = read_status(open_regular(name, &file));
  if (f->status != ReadStatus::ok) {
    f->error = file.error;
    return;
  }
  f->length = file.length;
  const std::size_t want =
      f->length < sizeof f->data ? static_cast<std::size_t>(f->length)
                                 : sizeof f->data;
  while (f->size < want) {
    const long n = read_bytes(file, f->data + f->size, want - f->size);
    if (n < 0) {
      f->error = errno;
      f->status = ReadStatus::read_error;
      break;
    }
    if (n == 0) break;  // shrank since it was opened; the decoder says so
    f->size += static_cast<std::size_t>(n);
  }
  close_file(&file);
}

// A problem's line text (without the name prefix) and its JSON kind.
struct ProblemText {
  const char *kind = "";
  char message[160] = {};
};

ProblemText read_problem(const FileBytes &f) {
  ProblemText t;
  switch (f.status) {
    case ReadStatus::ok:
      break;
    case ReadStatus::no_such_file:
      t.kind = "no_such_file";
      std::snprintf(t.message, sizeof t.message, "no such file");
      break;
    case ReadStatus::not_regular:
      t.kind = "not_regular_file";
      std::snprintf(t.message, sizeof t.message, "not a regular file");
      break;
    case ReadStatus::cannot_open:
      t.kind = "cannot_open";
      std::snprintf(t.message, sizeof t.message, "cannot open: %s",
                    std::strerror(f.error));
      break;
    case ReadStatus::read_error:
      t.kind = "read_error";
      std::snprintf(t.message, sizeof t.message, "read error: %s",
                    std::strerror(f.error));
      break;
  }
  return t;
}

ProblemText image_problem(const ImageIssue &issue, const DecodedImage &d) {
  ProblemText t;
  char *m = t.message;
  const std::size_t n = sizeof t.message;
  switch (issue.kind) {
    case ImageProblem::too_short:
      t.kind = "too_short";
      std::snprintf(m, n, "shorter than a header: %" PRIu64
                    " bytes, at least %" PRIu64 " needed",
                    issue.found, issue.expected);
      break;
    case ImageProblem::bad_magic:
      t.kind = "bad_magic";
      std::snprintf(m, n, "wrong magic: found %02X %02X %02X %02X, "
                    "expected %02X %02X %02X %02X",
                    d.magic[0], d.magic[1], d.magic[2], d.magic[3],
                    BOOT_IMAGE_MAGIC[0], BOOT_IMAGE_MAGIC[1],
                    BOOT_IMAGE_MAGIC[2], BOOT_IMAGE_MAGIC[3]);
      break;
    case ImageProblem::too_many_entries:
      t.kind = "too_many_entries";
      std::snprintf(m, n, "entry count %" PRIu64 " is above %" PRIu64,
                    issue.found, issue.expected);
      break;
    case ImageProblem::wrong_length:
      t.kind = "wrong_length";
      std::snprintf(m, n, "length is %" PRIu64 " bytes, but %u entries make %"
                    PRIu64, issue.found,
                    static_cast<unsigned>(d.header.entry_count),
                    issue.expected);
      break;
    case ImageProblem::reserved_not_zero:
      t.kind = "reserved_not_zero";
      std::snprintf(m, n, "reserved header bytes are not zero: %" PRIu64
                    " non-zero from offset 0x%" PRIx64,
                    issue.found, issue.offset);
      break;
    case ImageProblem::fill_not_zero:
      t.kind = "fill_not_zero";
      std::snprintf(m, n, "trailing fill bytes are not zero: %" PRIu64
                    " non-zero from offset 0x%" PRIx64,
                    issue.found, issue.offset);
      break;
    case ImageProblem::incomplete:
      t.kind = "incomplete";
      std::snprintf(m, n, "only %" PRIu64 " of %" PRIu64
                    " bytes could be read", issue.found, issue.expected);
      break;
  }
  return t;
}

void print_problem(const Console &con, const char *name, const ProblemText &t) {
  if (!con.quiet)
    std::fprintf(con.err, "%s: %s: %s\n", con.program, name, t.message);
}

// The name of a known bit when it is set in word, else null.
const char *bit_name(std::uint32_t word, std::uint32_t bit, const char *name) {
  return (word & bit) != 0 ? name : nullptr;
}

void print_word(std::FILE *out, const char *label, std::uint32_t value,
                const char *names) {
  std::fprintf(out, "  %-20s 0x%08x", label, static_cast<unsigned>(value));
  if (names != nullptr) std::fprintf(out, " (%s)", names);
  std::fputc('\n', out);
}

void print_bytes(std::FILE *out, const char *label, const unsigned char *b,
                 std::size_t n) {
  std::fprintf(out, "  %-20s", label);
  for (std::size_t i = 0; i < n; ++i) std::fprintf(out, " %02X", b[i]);
  std::fputc('\n', out);
}

void print_text(std::FILE *out, const char *name, const DecodedImage &d) {
  const BootImageHeader &h = d.header;
  std::fprintf(out, "%s: %" PRIu64 " bytes\n", name, d.file_length);
  print_bytes(out, "magic", d.magic, sizeof d.magic);
  std::fprintf(out, "  %-20s %u\n", "entry_count",
               static_cast<unsigned>(h.entry_count));
  print_word(out, "platform_info_paddr", h.platform_info_paddr, nullptr);
  print_word(out, "package_info_paddr", h.package_info_paddr, nullptr);
  print_word(out, "boot_flags", h.boot_flags,
             bit_name(h.boot_flags, FLAG_STICKY_VALID, "FLAG_STICKY_VALID"));
  print_word(out, "sticky_word", h.sticky_word,
             bit_name(h.sticky_word, STICKY_HALT_AT_STARTUP,
                       "STICKY_HALT_AT_STARTUP"));
  print_bytes(out, "reserved", d.reserved, sizeof d.reserved);
  std::fprintf(out, "  %5s  %10s  %10s  %10s\n", "entry", "address", "size",
               "decimal");
  for (std::size_t i = 0; i < d.record_count; ++i)
    std::fprintf(out, "  %5zu  0x%08x  0x%08x  %10u\n", i,
                 static_cast<unsigned>(d.entries[i].address),
                 static_cast<unsigned>(d.entries[i].size),
                 static_cast<unsigned>(d.entries[i].size));
}

Json problem_json(const ProblemText &t) {
  return Json{{"kind", t.kind}, {"message", t.message}};
}

void add_name(const char *name, Json *doc) {
  const std::string text(name);
  (*doc)["name"] = text;
  if (is_utf8(text)) return;
  // The writer replaces what is not UTF-8; the bytes keep the name exact.
  Json bytes = Json::array();
  for (const char c : text) bytes.push_back(static_cast<unsigned char>(c));
  (*doc)["name_bytes"] = bytes;
}

Json header_json(const DecodedImage &d) {
  const BootImageHeader &h = d.header;
  Json magic = Json::array();
  for (const unsigned char c : d.magic) magic.push_back(c);
  Json reserved = Json::array();
  for (const unsigned char c : d.reserved) reserved.push_back(c);
  return Json{{"magic", magic},
              {"entry_count", h.entry_count},
              {"platform_info_paddr", h.platform_info_paddr},
              {"package_info_paddr", h.package_info_paddr},
              {"boot_flags", h.boot_flags},
              {"sticky_word", h.sticky_word},
              {"reserved", reserved}};
}

Json records_json(const DecodedImage &d) {
  Json records = Json::array();
  for (std::size_t i = 0; i < d.record_count; ++i)
    records.push_back(
        Json{{"address", d.entries[i].address}, {"size", d.entries[i].size}});
  return records;
}

// Reads, checks and reports one file; returns true when it is well formed.
// *listed tells whether a listing was printed before, to separate the next.
bool dump_file(const Console &con, const DumpOptions &o, const char *name,
               bool *listed, Json *files) {
  FileBytes f;
  read_file(name, &f);
  Json doc = Json::object();
  add_name(name, &doc);
  doc["length"] = nullptr;
  doc["valid"] = false;
  doc["header"] = nullptr;
  doc["records"] = Json::array();
  Json problems = Json::array();
  bool valid = false;
  if (f.status != ReadStatus::ok) {
    const ProblemText t = read_problem(f);
    print_problem(con, name, t);
    problems.push_back(problem_json(t));
  } else {
    DecodedImage d;
    valid = decode_boot_image(f.data, f.size, f.length, &d);
    doc["length"] = d.file_length;
    if (d.has_header) {
      doc["header"] = header_json(d);
      doc["records"] = records_json(d);
      if (!o.json && !con.quiet) {
        if (*listed) std::fputc('\n', con.out);
        print_text(con.out, name, d);
        *listed = true;
      }
    }
    for (std::size_t i = 0; i < d.issue_count; ++i) {
      const ProblemText t = image_problem(d.issues[i], d);
      print_problem(con, name, t);
      problems.push_back(problem_json(t));
    }
  }
  doc["valid"] = valid;
  doc["problems"] = problems;
  files->push_back(doc);
  return valid;
}

int usage_error(const Console &con, const char *what, const char *word) {
  std::fprintf(con.err, "%s: %s%s\n", con.program, what, word);
  print_dump_usage(con.err);
  return 2;
}

// Scans the options; returns -1 to go on, else the status to exit with.
int scan(Console *con, int argc, char **argv, DumpOptions *o) {
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const char *w = argv[i];
    if (options_done || w[0] != '-' || w[1] == '\0') {
      o->files.push_back(w);
    } else if (std::strcmp(w, "--") == 0) {
      options_done = true;
    } else if (std::strcmp(w, "--help") == 0) {
      print_dump_usage(con->out);
      return 0;
    } else if (std::strcmp(w, "--version") == 0) {
      std::fputs("zdkdump " ZDKGEN_VERSION "\n", con->out);
      return 0;
    } else if (std::strcmp(w, "--json") == 0) {
      o->json = true;
    } else if (std::strcmp(w, "--quiet") == 0) {
      con->quiet = true;
    } else if (w[1] == '-') {
      return usage_error(*con, "unknown option ", w);
    } else {
      // A cluster of short options, such as -qh.
      for (const char *c = w + 1; *c != '\0'; ++c) {
        if (*c == 'h') {
          print_dump_usage(con->out);
          return 0;
        }
        if (*c != 'q') {
          const char letter[3] = {'-', *c, '\0'};
          return usage_error(*con, "unknown option ", letter);
        }
        con->quiet = true;
      }
    }
  }
  if (o->files.empty()) return usage_error(*con, "no file given", "");
  return -1;
}

}  // namespace

void print_dump_usage(std::FILE *f) {
  std::fputs(
      "usage: zdkdump [-hq] [--json] [--version] [--] FILE...\n"
      "  -h, --help     print this text and exit\n"
      "  -q, --quiet    print nothing; the exit status tells\n"
      "      --json     print one JSON document for all files\n"
      "      --version  print the version and exit\n",
      f);
}

bool is_utf8(const std::string &text) {
  // The writer drops what is not UTF-8 with one handler and marks it with
  // the other: the two agree exactly when there is nothing to drop.
  const Json j = text;
  return j.dump(-1, ' ', true, Json::error_handler_t::ignore) ==
         j.dump(-1, ' ', true, Json::error_handler_t::replace);
}

int run_dump(int argc, char **argv, Console con) {
  DumpOptions o;
  const int status = scan(&con, argc, argv, &o);
  if (status >= 0) return status;
  Json files = Json::array();
  bool all_valid = true;
  bool listed = false;
  for (const char *name : o.files)
    all_valid = dump_file(con, o, name, &listed, &files) && all_valid;
  if (o.json && !con.quiet) {
    const Json doc = Json{{"files", files}};
    const std::string text =
        doc.dump(2, ' ', true, Json::error_handler_t::replace);
    std::fputs(text.c_str(), con.out);
    std::fputc('\n', con.out);
  }
  if (std::fflush(con.out) != 0 || std::ferror(con.out)) {
    std::fprintf(con.err, "%s: cannot write the output\n", con.program);
    return 1;
  }
  return all_valid ? 0 : 1;
}
