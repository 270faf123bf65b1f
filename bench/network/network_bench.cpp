// One game-list round trip through NetworkService (send, receive, callback on the main
// queue) beside the same request through a bare libcurl easy handle that keeps its
// connection, against one local server answering a 50-game page.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>

#include "data/network/network_service.hpp"
#include "data/network/repository.hpp"
#include "support/test_server.hpp"
#include "velmar/key_store.hpp"
#include "velmar/main_queue.hpp"
#include "velmar/session_configuration.hpp"

namespace velmar {
namespace {

std::string gamePage() {
  nlohmann::json games = nlohmann::json::array();
  for (int i = 0; i < 50; ++i) {
    games.push_back({{"id", "game-" + std::to_string(i)},
                     {"name", "Lucky Reels " + std::to_string(i)},
                     {"provider_id", i % 7},
                     {"provider_slug", "provider-" + std::to_string(i % 7)},
                     {"provider_name", "Provider Number " + std::to_string(i % 7)},
                     {"category", "slots"},
                     {"image_url", "https://cdn.velmar.example/games/" + std::to_string(i) +
                                       "/cover-large-retina.png"},
                     {"description", std::string(180, 'd')},
                     {"has_demo", true},
                     {"rtp", 96.5}});
  }
  return nlohmann::json{{"result", games}, {"success", true}}.dump();
}

// The local server and the route that sends PROD's authority to it.
struct Fixture {
  Fixture() {
    KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
    server.respondWith(testing::ScriptedResponse{200, gamePage()});
    const std::string base(rawValue(Environment::PROD));  // http://HOST:5050/api/v1
    const auto start = base.find("://") + 3;
    authority = base.substr(start, base.find('/', start) - start);
    route = authority + ":127.0.0.1:" + std::to_string(server.port());
    SessionConfiguration config;
    config.connectTo = {route};
    configureSession(config);
    APIEnvironment::shared().setApiEnvironment(Environment::PROD);
    request = Repository::getGamesList(1).asURLRequest().value();
  }

  testing::TestServer server;
  std::string authority;
  std::string route;
  http::Request request;
};

Fixture& fixture() {
  static Fixture instance;
  return instance;
}

void BM_NetworkServiceRoundTrip(benchmark::State& state) {
  auto& f = fixture();
  auto provider = NetworkService::inject();
  std::size_t bytes = 0;
  for (auto _ : state) {
    bool done = false;
    provider->gameListRequest(f.request,
                              [&](std::optional<std::int64_t> status, std::optional<Bytes> body) {
                                if (status != 200 || !body) state.SkipWithError("bad answer");
                                bytes += body ? body->size() : 0;
                                done = true;
                              });
    while (!done) MainQueue::main().runOne(std::chrono::seconds(10));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_NetworkServiceRoundTrip)->UseRealTime();

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
  auto& body = *static_cast<std::string*>(user);
  body.append(data, size * count);
  return size * count;
}

void BM_PlainCurlLoop(benchmark::State& state) {
  auto& f = fixture();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
  curl_slist* raw = nullptr;
  for (const auto& [name, value] : f.request.headers) {
    raw = curl_slist_append(raw, (name + ": " + value).c_str());
  }
  raw = curl_slist_append(raw, "Accept:");
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(raw, &curl_slist_free_all);
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> routes(
      curl_slist_append(nullptr, f.route.c_str()), &curl_slist_free_all);
  std::string body;
  curl_easy_setopt(easy.get(), CURLOPT_URL, f.request.url.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(easy.get(), CURLOPT_CONNECT_TO, routes.get());
  curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &collect);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
  std::size_t bytes = 0;
  for (auto _ : state) {
    body.clear();
    if (curl_easy_perform(easy.get()) != CURLE_OK) state.SkipWithError("transfer failed");
    bytes += body.size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_PlainCurlLoop)->UseRealTime();

}  // namespace
}  // namespace velmar

BENCHMARK_MAIN();
