// The run sequence of zdkgen: scan the command line, validate, take the
// startup settings and write the boot image.
#pragma once

#include "common/console.h"

// Prints the usage text on con.out and returns status, for the caller to
// exit with.
int print_usage(const Console &con, int status);

// Runs zdkgen on argv (argv[0] is the program name); the words are changed
// in place. Prints on con's streams and returns the exit status.
int run_zdkgen(int argc, char **argv, Console con);
