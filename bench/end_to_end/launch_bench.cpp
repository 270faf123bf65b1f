// 64 launch-game requests through the facade against a sandbox that waits 20 ms before every
// answer: all issued at once, then the same 64 issued one after another. Wall time of the
// whole batch, from the first call to the 64th result callback.
#include <benchmark/benchmark.h>

#include <chrono>
#include <exception>
#include <optional>
#include <string>

#include "bench_world.hpp"
#include "velmar/main_queue.hpp"

namespace velmar::bench {
namespace {

constexpr int kBatch = 64;
constexpr auto kBatchWait = std::chrono::seconds(30);

void runBatch(benchmark::State& state, bool concurrent) {
  auto& world = World::get();
  world.enter(Server::distant);
  const auto& catalogue = world.sandbox(Server::distant).api().catalogue();
  const auto& game = catalogue.games().front();
  const auto& provider = catalogue.providers().at(game.provider);
  auto arcade = Velmar::instance().arcade();
  for (auto _ : state) {
    int done = 0;
    int failed = 0;
    auto count = [&](Thunk<std::optional<std::string>> thunk) {
      try {
        if (!thunk()) ++failed;
      } catch (const std::exception&) {
        ++failed;
      }
      ++done;
    };
    auto launch = [&] { arcade->launchGame(game.gameId, provider.id, provider.slug, count); };
    const auto started = std::chrono::steady_clock::now();
    bool finished = true;
    if (concurrent) {
      for (int i = 0; i < kBatch; ++i) launch();
      finished = MainQueue::main().runUntil([&] { return done == kBatch; }, kBatchWait);
    } else {
      for (int i = 0; i < kBatch && finished; ++i) {
        launch();
        finished = MainQueue::main().runUntil([&] { return done == i + 1; }, kBatchWait);
      }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    state.SetIterationTime(took.count());
    if (!finished || failed != 0) {
      state.SkipWithError("a launch failed or never answered");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_LaunchBatchConcurrent(benchmark::State& state) { runBatch(state, true); }
void BM_LaunchBatchSequential(benchmark::State& state) { runBatch(state, false); }

BENCHMARK(BM_LaunchBatchConcurrent)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LaunchBatchSequential)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmar::bench
