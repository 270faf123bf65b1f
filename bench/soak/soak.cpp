// 20,000 requests through the facade against an in-process sandbox; prints how much the
// resident memory grew after the warm-up and exits non-zero above 2 MB.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "data/network/api_environment.hpp"
#include "sandbox_server.hpp"
#include "velmar/client.hpp"
#include "velmar/key_store.hpp"
#include "velmar/main_queue.hpp"
#include "velmar/session_configuration.hpp"

namespace {

using namespace velmar;

constexpr int kRequests = 20000;
// Allocator pools, the connection and the TLS session settle during the first requests.
constexpr int kWarmUpRequests = 1000;
constexpr long kAllowedGrowth = 2L * 1024 * 1024;
constexpr auto kWait = std::chrono::seconds(30);

long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

template <typename Condition>
bool runUntil(Condition condition) {
  return MainQueue::main().runUntil(condition, kWait);
}

// The number of requests that failed, or -1 when the run could not go on.
int soak(const sandbox::Sandbox& server, long& growth) {
  // The development host on 443, sent to the sandbox.
  std::string host(rawValue(Environment::DEV));
  host = host.substr(host.find("://") + 3);
  host = host.substr(0, host.find('/'));
  SessionConfiguration config;
  config.caBundleFile = server.caFile().string();
  config.connectTo = {host + ":443:127.0.0.1:" + std::to_string(server.port())};
  configureSession(config);
  KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());

  Velmar& sdk = Velmar::instance();
  int failed = 0, pages = 0, answered = 0;
  GameEntity first;  // of the latest page, launched each round
  sdk.setLogSink([&](std::string_view) { ++failed; });
  sdk.arcade()->gameList()->observe(nullptr, [&](const GameListState& state) {
    ++pages;
    const bool held = state.isSuccess() && state.value() && !state.value()->empty();
    first = held ? state.value()->front() : GameEntity();
  });
  sdk.initialize(ApiEnvironment::DEV);
  bool loggedIn = false, loginAnswered = false;
  sdk.player()->logIn(sandbox::demoPlayers()[0].email, sandbox::demoPlayers()[0].password,
                      [&](Thunk<void> thunk) {
                        loginAnswered = true;
                        try {
                          thunk();
                          loggedIn = true;
                        } catch (...) {
                        }
                      });
  if (!runUntil([&] { return loginAnswered; }) || !loggedIn ||
      !MainQueue::main().runUntilIdle(kWait))
    return -1;

  auto check = [&](auto thunk) {
    ++answered;
    try {
      thunk();
    } catch (...) {
      ++failed;
    }
  };
  long afterWarmUp = 0;
  for (int sent = 0; sent < kRequests; sent += 5) {
    if (sent == kWarmUpRequests) afterWarmUp = residentBytes();
    const int target = pages + 2;
    sdk.downloadGameList();
    sdk.downloadMoreGameList();
    if (!runUntil([&] { return pages >= target; }) || !first.gameID()) return -1;
    answered = 0;
    sdk.utils()->getBalance(check);
    sdk.arcade()->launchGame(first.gameID(), first.providerID(), first.providerSlug(), check);
    sdk.utils()->getCurrencyList(check);
    if (!runUntil([&] { return answered == 3; })) return -1;
  }
  if (!MainQueue::main().runUntilIdle(kWait)) return -1;
  growth = residentBytes() - afterWarmUp;
  sdk.setLogSink(nullptr);
  return failed;
}

}  // namespace

int main() {
  sandbox::SandboxOptions options;
  options.log = nullptr;
  sandbox::Sandbox server(options);
  server.start();
  long growth = 0;
  const int failed = soak(server, growth);
  if (failed != 0) {
    if (failed < 0) std::fputs("the soak stalled\n", stderr);
    else std::fprintf(stderr, "%d requests failed\n", failed);
    return 1;
  }
  std::printf("%d requests, resident growth after %d: %ld KiB (target < %ld KiB)\n", kRequests,
              kWarmUpRequests, growth / 1024, kAllowedGrowth / 1024);
  return growth < kAllowedGrowth ? 0 : 1;
}
