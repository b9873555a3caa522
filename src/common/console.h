// Where a run's messages go: the program name that prefixes some error
// lines, the quiet flag, and the two streams.
#pragma once

#include <cstdio>

// The run's process-wide values, passed to whatever prints.
struct Console {
  const char *program = "zdkgen";  // first word of the command line
  bool quiet = false;              // set by -q, never cleared
  std::FILE *out = stdout;         // progress, usage, startup lines
  std::FILE *err = stderr;         // error lines
};
