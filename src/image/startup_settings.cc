#include "image/startup_settings.h"

#include <cerrno>
#include <cstdlib>

#include "common/text.h"
#include "image/boot_image.h"

namespace {

constexpr const char *STICKY_VARIABLE = "_PYMSYSCFG1";
constexpr const char *HALT_VARIABLE = "WEK_DEBUG_STARTUP";

// Takes the sticky word from its variable; a value that does not convert
// cleanly is dropped after its warnings, as though it were not set.
void read_sticky_value(const Console &con, const char *value,
                       StartupSettings *s) {
  errno = 0;
  const char *stop = nullptr;
  s->sticky_word = parse_u32(value, 16, &stop);
  s->extra_flags = FLAG_STICKY_VALID;
  if (*stop != '\0') {
    std::fprintf(con.out,
                 "zdkgen: %s could not be converted as hexadecimal number: "
                 "'%s' \n",
                 STICKY_VARIABLE, value);
    *s = StartupSettings{};
  }
  if (errno == ERANGE) {
    std::fprintf(con.out,
                 "zdkgen: %s could not be converted as hexadecimal number: "
                 "errno %d\n",
                 STICKY_VARIABLE, ERANGE);
    *s = StartupSettings{};
  }
}

}  // namespace

StartupSettings read_startup_settings(const Console &con) {
  StartupSettings s;
  // getenv follows the host's rules: names ignore case on Windows.
  if (const char *value = std::getenv(STICKY_VARIABLE))
    read_sticky_value(con, value, &s);
  const char *halt = std::getenv(HALT_VARIABLE);
  if (halt != nullptr && halt[0] != '\0' && halt[0] != '0') {
    s.sticky_word |= STICKY_HALT_AT_STARTUP;
    s.extra_flags |= FLAG_STICKY_VALID;
  }
  return s;
}

void report_startup_settings(const Console &con, std::uint32_t boot_flags,
                             std::uint32_t sticky_word) {
  if ((boot_flags & FLAG_STICKY_VALID) == 0) return;
  if (sticky_word & STICKY_HALT_AT_STARTUP)
    std::fputs("Halting during WEK startup... Please use JTAG to continue\n",
               con.out);
  else if (sticky_word != 0)
    std::fprintf(con.out, "Initializing sticky register using 0x%08x\n",
                 static_cast<unsigned>(sticky_word));
}
