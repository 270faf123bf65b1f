#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

namespace velmar::bench {

// Allocations made by every thread of the process since it started (operator new and new[]).
std::uint64_t allocationsSoFar();

// Process CPU time (user + system, every thread) in microseconds since the process started.
double processCpuMicros();

// Per-page counters over one benchmark run: process CPU time and allocations, both divided by
// the iterations. They cover every thread, the in-process sandbox's too, so only differences
// between rows of the same protocol say what a client costs.
class PageMeter {
 public:
  explicit PageMeter(benchmark::State& state)
      : state_(state), cpu_(processCpuMicros()), allocations_(allocationsSoFar()) {}
  PageMeter(const PageMeter&) = delete;
  PageMeter& operator=(const PageMeter&) = delete;
  ~PageMeter() {
    const auto allocations = allocationsSoFar() - allocations_;
    const double cpu = processCpuMicros() - cpu_;
    const auto pages = static_cast<double>(state_.iterations());
    if (pages == 0) return;
    state_.counters["cpu_us"] = cpu / pages;
    state_.counters["allocs"] = static_cast<double>(allocations) / pages;
  }

 private:
  benchmark::State& state_;
  double cpu_;
  std::uint64_t allocations_;
};

}  // namespace velmar::bench
