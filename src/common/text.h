// Text helpers shared by the command line and the environment settings:
// number conversion, comma-list splitting and drive-path rewriting. All of
// them work on the caller's own bytes; none allocates or copies.
#pragma once

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
