// zdkdump: lists the header and entry table of boot images and checks that
// each file is a well-formed image.
#pragma once

#include <cstdio>
#include <string>

#include "common/console.h"

// Prints the usage text on f.
void print_dump_usage(std::FILE *f);

// True when text is well-formed UTF-8 as the JSON writer judges it.
bool is_utf8(const std::string &text);

// Runs zdkdump on argv (argv[0] is the program name). Prints on con's
// streams and returns the exit status: 0 when every file is a well-formed
// image, 1 when any is not or cannot be read, 2 for a usage error.
int run_dump(int argc, char **argv, Console con);
