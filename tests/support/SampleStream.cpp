// Writes a small lattice stream to the path given on the command line.
#include <cstdio>
#include <exception>

#include "tests/support/StreamWriter.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nimbex-sample-stream OUTPUT.strm\n");
    return 2;
  }
  try {
    WriteTestStream(argv[1], MakeLatticeStream(2, 6, 0));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "nimbex-sample-stream: %s: %s\n", argv[1], error.what());
    return 1;
  }
  return 0;
}
