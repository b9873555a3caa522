#include "cli/run.h"

#include <cstdint>
#include <cstring>

#include "cli/entry_lists.h"
#include "common/text.h"
#include "image/boot_image.h"
#include "image/startup_settings.h"

#ifndef ZDKGEN_VERSION
#define ZDKGEN_VERSION "unknown"
#endif

namespace {

// The default output name is a constant and is never rewritten.
constexpr const char *DEFAULT_OUTPUT = "ppc.zdk";

// Everything one run collects from its command line.
struct Options {
  char *slot = nullptr;  // current option argument; never cleared
  const char *output = DEFAULT_OUTPUT;  // null once -o took an unset slot
  char *output_word = nullptr;          // the word -o named, if any
  std::uint32_t platform_info_paddr = 0;
  std::uint32_t package_info_paddr = 0;
  std::uint32_t boot_flags = 0;
  int errors = 0;
  EntryLists lists;
};

// A word of exactly two characters beginning with '-' is an option.
bool is_option(const char *word) {
  return word[0] == '-' && word[1] != '\0' && word[2] == '\0';
}

bool needs_value(char letter) {
  return std::strchr("afijp", letter) != nullptr;
}

void set_flags(const Console &con, Options *o) {
  char *saved = nullptr;
  char *first = split_list(o->slot, &saved);
  if (first == nullptr) return;
  o->boot_flags = parse_u32(first, 0);
  if (!con.quiet)
    std::fprintf(con.out, "flags 0x%08x\n",
                 static_cast<unsigned>(o->boot_flags));
}

void set_address(const Console &con, const char *label, std::uint32_t *field,
                 const char *text) {
  *field = parse_u32(text, 0);
  if (!con.quiet)
    std::fprintf(con.out, "%s: 0x%08x\n", label,
                 static_cast<unsigned>(*field));
}

// Acts on one option letter; returns false when the run ends here (-h).
bool handle_option(Console *con, char letter, Options *o) {
  if (needs_value(letter) && o->slot == nullptr) {
    std::fprintf(con->err, "missing argument for -%c\n", letter);
    ++o->errors;
    return true;
  }
  switch (letter) {
    case 'a': add_address_list(*con, o->slot, &o->errors, &o->lists); break;
    case 'p': add_process_list(*con, o->slot, &o->errors, &o->lists); break;
    case 'f': set_flags(*con, o); break;
    case 'i':
      set_address(*con, "platform info address", &o->platform_info_paddr,
                  o->slot);
      break;
    case 'j':
      set_address(*con, "package info address", &o->package_info_paddr,
                  o->slot);
      break;
    case 'o':
      // The output name shares the slot's text: a later in-place split of
      // the slot shortens it too.
      o->output = o->output_word = o->slot;
      break;
    case 'q': con->quiet = true; break;
    case 'h': return false;
    default:
      std::fprintf(con->err, "unknown option %c\n", letter);
      ++o->errors;
  }
  return true;
}

// Scans words 1 to argc-1; returns false when -h ended the scan.
bool scan(Console *con, int argc, char **argv, Options *o) {
  for (int i = 1; i < argc;) {
    const char *word = argv[i++];
    // Every option letter, known or not, takes a following word that does
    // not begin with '-'; any other word gives '?' and never takes one.
    const bool option = is_option(word);
    const char letter = option ? word[1] : '?';
    if (option && i < argc && argv[i][0] != '-') o->slot = argv[i++];
    if (!handle_option(con, letter, o)) return false;
  }
  return true;
}

void print_banner(const Console &con) {
  if (con.quiet) return;
  std::fputs("KUR9 system file generator. zdkgen " ZDKGEN_VERSION "\n",
             con.out);
  std::fprintf(con.out, "Built : %s %s\n", __DATE__, __TIME__);
}

bool valid(const Options &o) {
  return o.lists.address_count == o.lists.process_count &&
         o.output != nullptr && o.errors == 0;
}

}  // namespace

int print_usage(const Console &con, int status) {
  std::fprintf(con.out, "usage: %s [args]\n", con.program);
  std::fputs(
      "  -b bs0_file                # \n"
      "  -p <process1,process2,...> # process file list\n"
      "  -a <address1,address2,...> # address list\n"
      "  -o output                  # output file\n"
      "  -i platform_info_paddr     # physical address of platform information\n"
      "  -j package_info_paddr      # physical address of package information\n"
      "  -f zdk flags               # flags in boot block header\n"
      "  -q                         # quiet\n",
      con.out);
  return status;
}

int run_zdkgen(int argc, char **argv, Console con) {
  if (argc > 0 && argv[0] != nullptr) con.program = argv[0];
  Options o;
  if (!scan(&con, argc, argv, &o)) return print_usage(con, 0);
  print_banner(con);
  if (!valid(o)) {
    std::fputs("invalid argument\n", con.err);
    return print_usage(con, 1);
  }
  const StartupSettings settings = read_startup_settings(con);
  o.boot_flags |= settings.extra_flags;
  report_startup_settings(con, o.boot_flags, settings.sticky_word);

  if (o.output_word != nullptr) convert_drive_path(o.output_word);
  BootImage image;
  if (!build_boot_image(con, settings.sticky_word, o.boot_flags,
                        o.lists.address_count, o.lists.addresses,
                        o.lists.sizes, o.platform_info_paddr,
                        o.package_info_paddr, &image))
    return 1;
  const bool written = write_boot_image(con, o.output, image);
  free_boot_image(&image);
  return written ? 0 : 1;
}
