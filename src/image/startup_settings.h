// Startup debug settings taken from the environment: a sticky-register value
// from _PYMSYSCFG1 and a halt request from WEK_DEBUG_STARTUP.
#pragma once

#include <cstdint>

#include "common/console.h"

// What the environment adds to the image header.
struct StartupSettings {
  std::uint32_t extra_flags = 0;  // ORed into boot_flags; only bit 30
  std::uint32_t sticky_word = 0;  // the header's sticky_word
};

// Reads both variables, printing a warning on con.out for a rejected value.
StartupSettings read_startup_settings(const Console &con);

// Prints the halt line or the initializing line, or nothing, on con.out.
void report_startup_settings(const Console &con, std::uint32_t boot_flags,
                             std::uint32_t sticky_word);
