// Decoding one 50-game page (a whole response body) three ways: the SDK's body decoding into
// GameEntity values, nlohmann parsing plus hand-written field mapping (what a host would
// write instead), and a bare simdjson parse of the same bytes (the floor).

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/json_document.hpp"

namespace {

std::string gamePage() {
  std::string body = R"({"status":"success","result":[)";
  for (int i = 0; i < 50; ++i) {
    if (i) body += ",";
    std::string n = std::to_string(1000 + i);
    body +=
        R"({"id":)" + n + R"(,"slug":"golden-fortune-)" + n + R"(","game_id":"gf-)" + n +
        R"(-b7c1e9","name":"Golden Fortune )" + n +
        R"(","image":"https://cdn.velmar.example/games/golden-fortune/)" + n +
        R"(/cover-640x480.png","type":"video-slots","description":"Five reels, twenty lines and a bonus wheel with free spins.","is_desktop":true,"is_mobile":true,"is_new":false,"free_games_support":true,"rank":)" +
        std::to_string(i) + R"(,"provider_id":)" + std::to_string(i % 7) +
        R"(,"provider_name":"Northern Lights Gaming","provider_slug":"northern-lights","is_favorite":false})";
  }
  return body + "]}";
}

const std::string& page() {
  static const std::string body = gamePage();
  return body;
}

std::span<const std::uint8_t> pageBytes() {
  return {reinterpret_cast<const std::uint8_t*>(page().data()), page().size()};
}

void BM_SdkDecodeGamePage(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<velmar::GameEntity> games;
    auto decoded = velmar::json::decodeResultList<velmar::GameEntity>(pageBytes());
    if (decoded) {
      games.reserve(decoded->size());
      for (auto& game : *decoded) {
        if (game.isSuccess()) games.push_back(std::move(game).value());
      }
    }
    benchmark::DoNotOptimize(games.data());
    if (games.size() != 50) state.SkipWithError("page did not decode");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page().size()));
}

// What a host would write with nlohmann alone: its own struct, mapped field by field with
// the same checks.
struct HandGame {
  std::optional<std::int64_t> id, rank, providerId;
  std::optional<std::string> slug, gameId, name, image, type, description, providerName,
      providerSlug;
  std::optional<bool> isDesktop, isMobile, isNew, freeGamesSupport, isFavorite;
};

template <typename T>
bool take(const nlohmann::json& object, const char* key, std::optional<T>& out) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return true;
  if constexpr (std::is_same_v<T, std::string>) {
    if (!it->is_string()) return false;
  } else if constexpr (std::is_same_v<T, bool>) {
    if (!it->is_boolean()) return false;
  } else {
    if (!it->is_number_integer()) return false;
  }
  out = it->get<T>();
  return true;
}

void BM_NlohmannParseAndMapByHand(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<HandGame> games;
    auto value = nlohmann::json::parse(page());
    for (const auto& item : value["result"]) {
      HandGame g;
      bool ok =
          item.is_object() && take(item, "id", g.id) && take(item, "slug", g.slug) &&
          take(item, "game_id", g.gameId) && take(item, "name", g.name) &&
          take(item, "image", g.image) && take(item, "type", g.type) &&
          take(item, "description", g.description) && take(item, "is_desktop", g.isDesktop) &&
          take(item, "is_mobile", g.isMobile) && take(item, "is_new", g.isNew) &&
          take(item, "free_games_support", g.freeGamesSupport) && take(item, "rank", g.rank) &&
          take(item, "provider_id", g.providerId) && take(item, "provider_name", g.providerName) &&
          take(item, "provider_slug", g.providerSlug) && take(item, "is_favorite", g.isFavorite);
      if (ok) games.push_back(std::move(g));
    }
    benchmark::DoNotOptimize(games.data());
    if (games.size() != 50) state.SkipWithError("page did not map");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page().size()));
}

void BM_BareSimdjsonParse(benchmark::State& state) {
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element root;
    auto error = parser.parse(page().data(), page().size()).get(root);
    benchmark::DoNotOptimize(root);
    if (error) state.SkipWithError("simdjson refused the page");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page().size()));
}

BENCHMARK(BM_SdkDecodeGamePage);
BENCHMARK(BM_NlohmannParseAndMapByHand);
BENCHMARK(BM_BareSimdjsonParse);

}  // namespace

BENCHMARK_MAIN();
