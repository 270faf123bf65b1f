#include <benchmark/benchmark.h>

#include "bench_world.hpp"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The servers stop and the temporary key store goes; the SDK itself is never torn down.
  velmar::bench::World::release();
  return 0;
}
