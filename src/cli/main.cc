// zdkgen: generates a boot image descriptor for a target's boot code.
#include "cli/run.h"

int main(int argc, char **argv) { return run_zdkgen(argc, argv, Console{}); }
