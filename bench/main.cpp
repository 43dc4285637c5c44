#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>

#include "bench/fixtures.h"

// The allocator keeps what is freed. Otherwise whether a freed buffer goes back to the system,
// and every page of the next one faults in again, depends on where the heap's top happens to
// lie; that is the same for every side of a comparison but swamps the code being measured.
int main(int argc, char** argv) {
  mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  const size_t ran = benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (bench::failed) std::fputs("a benchmark found its result wrong\n", stderr);
  return ran > 0 && !bench::failed ? 0 : 1;
}
