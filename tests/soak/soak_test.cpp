#include <unistd.h>

#include <fstream>

#include "sandbox_server.hpp"
#include "support/session.hpp"
#include "velmar/client.hpp"

namespace velmar::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Sanitizer runtimes hold freed memory back: there the soak only feeds leak and race checks.
constexpr bool kMeasureMemory = false;
constexpr int kRequests = 2000;
#else
constexpr bool kMeasureMemory = true;
constexpr int kRequests = 20000;
#endif
// Allocator pools, the connection and the TLS session settle during the first requests.
constexpr int kWarmUpRequests = 1000;

long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

using SoakTest = SessionTest;

TEST_F(SoakTest, TwentyThousandRequestsKeepResidentMemoryFlat) {
  sandbox::SandboxOptions options;
  options.log = nullptr;
  sandbox::Sandbox sandbox(options);
  sandbox.start();
  SessionConfiguration config;
  config.caBundleFile = sandbox.caFile().string();
  routeTo(sandbox.port(), config);
  Velmar& sdk = Velmar::instance();
  int facadeFailures = 0, pages = 0, answered = 0, failed = 0;
  GameEntity first;  // of the latest page, launched each round
  sdk.setLogSink([&](std::string_view) { ++facadeFailures; });
  sdk.arcade()->gameList()->observe(nullptr, [&](const GameListState& state) {
    ++pages;
    const bool held = state.isSuccess() && state.value() && !state.value()->empty();
    first = held ? state.value()->front() : GameEntity();
  });
  sdk.initialize(ApiEnvironment::DEV);
  Results<void> login;
  sdk.player()->logIn(sandbox::demoPlayers()[0].email, sandbox::demoPlayers()[0].password,
                      login.callback());
  ASSERT_TRUE(login.awaitOne());
  ASSERT_EQ(raisedBy(login.thunks[0]), std::nullopt);
  ASSERT_TRUE(MainQueue::main().runUntilIdle(kWait));  // and the first page it fetches

  auto check = [&](auto thunk) { failed += raisedBy(thunk).has_value(), ++answered; };
  long afterWarmUp = 0;
  for (int sent = 0; sent < kRequests; sent += 5) {
    if (sent == kWarmUpRequests) afterWarmUp = residentBytes();
    const int target = pages + 2;
    sdk.downloadGameList();
    sdk.downloadMoreGameList();
    ASSERT_TRUE(runMainUntil([&] { return pages >= target; }) && first.gameID()) << sent;
    answered = 0;
    sdk.utils()->getBalance(check);
    sdk.arcade()->launchGame(first.gameID(), first.providerID(), first.providerSlug(), check);
    sdk.utils()->getCurrencyList(check);
    ASSERT_TRUE(runMainUntil([&] { return answered == 3; })) << sent;
  }
  ASSERT_TRUE(MainQueue::main().runUntilIdle(kWait));
  const long growth = residentBytes() - afterWarmUp;
  RecordProperty("resident_growth_bytes", std::to_string(growth));
  EXPECT_EQ(failed + facadeFailures, 0);
  EXPECT_TRUE(!kMeasureMemory || growth < 2L * 1024 * 1024) << growth;
  sdk.setLogSink(nullptr);
}

}  // namespace
}  // namespace velmar::testing
