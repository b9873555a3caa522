// zdkdump: lists and checks boot image descriptors.
#include "dump/run_dump.h"

int main(int argc, char **argv) {
  Console con;
  con.program = "zdkdump";
  return run_dump(argc, argv, con);
}
