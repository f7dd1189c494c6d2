// tallyloom-opcount NAME COUNT [FILE_BYTES]: sets one operation of
// bench/Operations.h up, runs it once to warm it, then COUNT times, and exits.
// Run under strace or callgrind twice, with COUNT and with 0, the difference
// divided by COUNT is what one operation costs in system calls or
// instructions: figures that hold still however busy the machine is
// (bench/counts.py does that).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/Operations.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tallyloom-opcount NAME COUNT [FILE_BYTES]\nNAME:");
    for (const std::string& name : OperationNames()) std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  const long count = std::strtol(argv[2], nullptr, 10);
  const long long file_bytes = argc > 3 ? std::strtoll(argv[3], nullptr, 10) : 0;
  auto operation = MakeOperation(argv[1], file_bytes);
  if (!operation || count < 0) {
    std::fprintf(stderr, "tallyloom-opcount: unknown operation \"%s\" or bad count\n", argv[1]);
    return 2;
  }
  operation->Run();
  for (long i = 0; i < count; ++i) operation->Run();
  if (const std::string problem = operation->Problem(); !problem.empty()) {
    std::fprintf(stderr, "tallyloom-opcount: %s\n", problem.c_str());
    return 1;
  }
  return 0;
}
