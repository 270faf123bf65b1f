// One game-list page (50 games, about 20 KB) end to end, three ways against the same
// sandbox over the same protocol: through the facade (request built with the stored token,
// body decoded, `gameList` delivered on the main queue), by hand with one libcurl handle and
// nlohmann/json, and the bare libcurl exchange with no decoding (the floor). The session's
// round trip alone sits between them. Argument tls:0 is plain HTTP, tls:1 HTTPS.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "bench_world.hpp"
#include "curl_client.hpp"
#include "data/network/network_service.hpp"
#include "data/network/repository.hpp"
#include "hand_mapping.hpp"
#include "page_meter.hpp"
#include "velmar/main_queue.hpp"

namespace velmar::bench {
namespace {

constexpr auto kAnswerWait = std::chrono::seconds(10);
constexpr std::size_t kPageSize = 50;

Server serverOf(const benchmark::State& state) {
  return serverFor(state.range(0) != 0 ? Protocol::https : Protocol::http);
}

// What the facade's `gameList` observer has seen. Registered once: an observer without an
// owner stays for the life of the process.
struct PageWatch {
  std::size_t deliveries = 0;
  std::size_t games = 0;
};

PageWatch& pageWatch() {
  static PageWatch& watch = []() -> PageWatch& {
    static PageWatch instance;
    Velmar::instance().arcade()->gameList()->observe(nullptr, [](const GameListState& state) {
      ++instance.deliveries;
      instance.games = state.isSuccess() && state.value() ? state.value()->size() : 0;
    });
    MainQueue::main().drain();  // the observer's first delivery
    return instance;
  }();
  return watch;
}

void BM_FacadeGamePage(benchmark::State& state) {
  World::get().enter(serverOf(state));
  auto& watch = pageWatch();
  auto& facade = Velmar::instance();
  PageMeter meter(state);
  for (auto _ : state) {
    const std::size_t before = watch.deliveries;
    facade.downloadGameList();
    const bool arrived =
        MainQueue::main().runUntil([&] { return watch.deliveries != before; }, kAnswerWait);
    if (!arrived || watch.games != kPageSize) {
      state.SkipWithError("the facade delivered no full page");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_HandWrittenGamePage(benchmark::State& state) {
  auto& world = World::get();
  const Server server = serverOf(state);
  world.enter(server);
  CurlClient client(world, server, world.storedToken());
  std::string body;
  PageMeter meter(state);
  for (auto _ : state) {
    if (!client.fetchPage(body)) {
      state.SkipWithError("transfer failed");
      break;
    }
    const auto games = mapPageByHand(body);
    benchmark::DoNotOptimize(games.data());
    if (games.size() != kPageSize) {
      state.SkipWithError("the page did not map");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_CurlFloorGamePage(benchmark::State& state) {
  auto& world = World::get();
  const Server server = serverOf(state);
  world.enter(server);
  CurlClient client(world, server, world.storedToken());
  std::string body;
  PageMeter meter(state);
  for (auto _ : state) {
    if (!client.fetchPage(body)) {
      state.SkipWithError("transfer failed");
      break;
    }
    benchmark::DoNotOptimize(body.data());
  }
  state.SetItemsProcessed(state.iterations());
  // The sandbox compresses as the platform's front end would.
  state.counters["wire_bytes"] = static_cast<double>(client.bytesOnTheWire());
  state.counters["page_bytes"] = static_cast<double>(body.size());
}

// The HTTP session alone: send, receive, the provider's callback on the main queue. No
// decoding: the difference to the floor is what the session and its hand-offs cost.
void BM_SessionRoundTrip(benchmark::State& state) {
  World::get().enter(serverOf(state));
  const auto request = Repository::getGamesList(1).asURLRequest().value();
  auto provider = NetworkService::inject();
  PageMeter meter(state);
  for (auto _ : state) {
    bool done = false;
    bool ok = false;
    provider->gameListRequest(request,
                              [&](std::optional<std::int64_t> status, std::optional<Bytes> body) {
                                ok = status == 200 && body && !body->empty();
                                done = true;
                              });
    while (!done && MainQueue::main().runOne(kAnswerWait)) {
    }
    if (!ok) {
      state.SkipWithError("bad answer");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_FacadeGamePage)->ArgName("tls")->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_HandWrittenGamePage)->ArgName("tls")->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_CurlFloorGamePage)->ArgName("tls")->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_SessionRoundTrip)->ArgName("tls")->Arg(0)->Arg(1)->UseRealTime();

}  // namespace
}  // namespace velmar::bench
