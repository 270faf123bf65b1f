#include "bench_world.hpp"

#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "data/network/api_environment.hpp"
#include "velmar/main_queue.hpp"
#include "velmar/session_configuration.hpp"

namespace velmar::bench {
namespace {

constexpr auto kSetUpWait = std::chrono::seconds(30);

std::unique_ptr<World>& slot() {
  static std::unique_ptr<World> world;
  return world;
}

Environment environmentOf(Server server) {
  switch (server) {
    case Server::plain:
      return Environment::PROD;
    case Server::secure:
      return Environment::DEV;
    case Server::distant:
      return Environment::STG;
  }
  return Environment::DEV;
}

ApiEnvironment apiOf(Server server) {
  switch (server) {
    case Server::plain:
      return ApiEnvironment::PROD;
    case Server::secure:
      return ApiEnvironment::DEV;
    case Server::distant:
      return ApiEnvironment::STG;
  }
  return ApiEnvironment::DEV;
}

// "HOST:PORT" of an environment's base address, the port filled in from the scheme.
std::string authorityOf(Environment environment) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
  const std::string base(rawValue(environment));
  char* host = nullptr;
  char* port = nullptr;
  if (curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
      curl_url_get(url.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK ||
      curl_url_get(url.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) != CURLUE_OK) {
    throw std::runtime_error("cannot read the environment address " + base);
  }
  std::string authority = std::string(host) + ":" + port;
  curl_free(host);
  curl_free(port);
  return authority;
}

std::unique_ptr<sandbox::Sandbox> startSandbox(bool tls, std::chrono::milliseconds latency) {
  sandbox::SandboxOptions options;
  options.tls = tls;
  options.latency = latency;
  options.log = {};
  auto server = std::make_unique<sandbox::Sandbox>(options);
  server->start();
  return server;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

Server serverFor(Protocol protocol) {
  return protocol == Protocol::http ? Server::plain : Server::secure;
}

World& World::get() {
  auto& world = slot();
  if (!world) world = std::make_unique<World>();
  return *world;
}

void World::release() { slot().reset(); }

World::World() {
  // The token every request carries is read from this file, as a host without a Secret
  // Service would have it.
  const std::string keys = "file:" + (directory_.path() / "keys.json").string();
  ::setenv("VELMAR_KEYSTORE", keys.c_str(), 1);

  sandboxes_.push_back(startSandbox(false, std::chrono::milliseconds(0)));
  sandboxes_.push_back(startSandbox(true, std::chrono::milliseconds(0)));
  sandboxes_.push_back(startSandbox(true, std::chrono::milliseconds(20)));

  const auto bundle = directory_.path() / "ca-bundle.pem";
  {
    std::ofstream out(bundle, std::ios::binary);
    out << readFile(sandbox(Server::secure).caFile())
        << readFile(sandbox(Server::distant).caFile());
  }
  caBundle_ = bundle.string();

  SessionConfiguration config;
  config.caBundleFile = caBundle_;
  for (auto server : {Server::plain, Server::secure, Server::distant}) {
    config.connectTo.push_back(route(server));
  }
  configureSession(config);
}

World::~World() {
  // Lets every answer still on its way arrive before the servers go.
  MainQueue::main().runUntilIdle(kSetUpWait);
  for (auto& server : sandboxes_) server->stop();
}

const sandbox::Sandbox& World::sandbox(Server server) const {
  return *sandboxes_.at(static_cast<std::size_t>(server));
}

std::string World::route(Server server) const {
  return authorityOf(environmentOf(server)) +
         ":127.0.0.1:" + std::to_string(sandbox(server).port());
}

std::string World::pageUrl(Server server) const {
  return std::string(rawValue(environmentOf(server))) + "/list_games?page=1&per_page=50";
}

std::string World::storedToken() const { return Velmar::instance().player()->getToken(); }

void World::enter(Server server) {
  if (entered_ && current_ == server) return;
  auto& facade = Velmar::instance();
  facade.setLogSink({});
  facade.initialize(apiOf(server));
  const auto& demo = sandbox::demoPlayers().front();
  bool loggedIn = false;
  facade.player()->logIn(demo.email, demo.password, [&](Thunk<void> thunk) {
    try {
      thunk();
      loggedIn = true;
    } catch (const std::exception&) {
    }
  });
  // The log-in also asks for page 1 and initialize for the currencies: let all of it land.
  if (!MainQueue::main().runUntilIdle(kSetUpWait) || !loggedIn) {
    throw std::runtime_error("could not log in to the sandbox");
  }
  entered_ = true;
  current_ = server;
}

}  // namespace velmar::bench
