// The entry lists: addresses from -a and process file lengths from -p, kept
// side by side; the i-th address belongs to the i-th process file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/console.h"
#include "image/boot_image.h"

// Both lists of a run, filled in command-line order.
struct EntryLists {
  std::uint32_t addresses[MAX_ENTRIES] = {};
  std::size_t address_count = 0;
  std::uint32_t sizes[MAX_ENTRIES] = {};
  std::size_t process_count = 0;
};

// The action of -a: splits arg in place and appends each value.
void add_address_list(const Console &con, char *arg, int *errors,
                      EntryLists *lists);

// The action of -p: splits arg in place, rewrites each name's drive path,
// and appends each file's length; stops at the first file that fails.
void add_process_list(const Console &con, char *arg, int *errors,
                      EntryLists *lists);

// Outcome of measuring one process file.
enum class Measure { ok, cannot_open, too_large };

// Measures a regular file by its end position without reading it.
Measure measure_file(const char *name, std::uint32_t *length);
