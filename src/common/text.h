// Text helpers shared by the command line and the environment settings:
// number conversion, comma-list splitting and drive-path rewriting, and the
// two number forms of the per-entry progress lines. All of them work on the
// caller's own bytes; none allocates or copies.
#pragma once

#include <cstddef>
#include <cstdint>

// Converts text to an unsigned 32-bit value by the rules of a 32-bit C
// runtime's strtoul (base 0 or 16). Stores where the scan stopped in *stop
// when stop is not null. Sets errno to ERANGE on overflow and never clears it.
std::uint32_t parse_u32(const char *text, int base, const char **stop = nullptr);

// Splits a comma list in place, strtok style. Called with a text, returns its
// first item; called with null, returns the next item after *saved. Returns
// null when no item is left. A run of commas is one separator; no item is
// ever empty.
char *split_list(char *text, char **saved);

// Rewrites //c/dir/file to c:/dir/file in place; any name that does not begin
// with two slashes is left alone.
void convert_drive_path(char *name);

// Room format_hex32 and format_decimal need at most.
inline constexpr std::size_t HEX32_SIZE = 10;
inline constexpr std::size_t DECIMAL_SIZE = 20;

// Writes v as printf's "0x%08x" would, with no end mark; returns the end.
char *format_hex32(char *out, std::uint32_t v);

// Writes v in decimal as printf's "%zu" would, with no end mark; returns the
// end.
char *format_decimal(char *out, std::size_t v);
