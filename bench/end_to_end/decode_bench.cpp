// Decoding one 50-game page (the body the sandbox serves) three ways: the SDK's body decoding
// into GameEntity values, nlohmann parsing plus mapping by hand (what a host would write
// instead), and a bare simdjson parse of the same bytes (the floor).
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "bench_world.hpp"
#include "curl_client.hpp"
#include "data/service/result_records.hpp"
#include "hand_mapping.hpp"
#include "page_meter.hpp"

namespace velmar::bench {
namespace {

constexpr std::size_t kPageSize = 50;

const std::string& page() {
  static const std::string body = [] {
    auto& world = World::get();
    world.enter(Server::plain);
    CurlClient client(world, Server::plain, world.storedToken());
    std::string fetched;
    if (!client.fetchPage(fetched)) throw std::runtime_error("could not fetch a page");
    return fetched;
  }();
  return body;
}

void BM_SdkDecodeGamePage(benchmark::State& state) {
  const std::optional<Bytes> body = Bytes(page().begin(), page().end());
  PageMeter meter(state);
  for (auto _ : state) {
    auto games = decodableResultRecords<GameEntity>(body);
    benchmark::DoNotOptimize(games);
    if (!games || games->size() != kPageSize) {
      state.SkipWithError("the page did not decode");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page().size()));
}

void BM_NlohmannParseAndMapByHand(benchmark::State& state) {
  PageMeter meter(state);
  for (auto _ : state) {
    const auto games = mapPageByHand(page());
    benchmark::DoNotOptimize(games.data());
    if (games.size() != kPageSize) {
      state.SkipWithError("the page did not map");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page().size()));
}

void BM_BareSimdjsonParse(benchmark::State& state) {
  simdjson::dom::parser parser;
  PageMeter meter(state);
  for (auto _ : state) {
    simdjson::dom::element root;
    const auto error = parser.parse(page().data(), page().size()).get(root);
    benchmark::DoNotOptimize(root);
    if (error) {
      state.SkipWithError("simdjson refused the page");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page().size()));
}

BENCHMARK(BM_SdkDecodeGamePage);
BENCHMARK(BM_NlohmannParseAndMapByHand);
BENCHMARK(BM_BareSimdjsonParse);

}  // namespace
}  // namespace velmar::bench
