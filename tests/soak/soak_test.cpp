#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "sandbox_server.hpp"
#include "support/queue.hpp"
#include "velmar/client.hpp"
#include "velmar/key_store.hpp"
#include "velmar/session_configuration.hpp"

namespace velmar {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Sanitizer runtimes hold freed memory back on purpose, so resident memory says nothing
// there; those builds run a shorter soak for the leak and race checks alone.
constexpr bool kMeasureMemory = false;
constexpr int kRequests = 2000;
#else
constexpr bool kMeasureMemory = true;
constexpr int kRequests = 20000;
#endif
// Allocator pools, the connection, the TLS session and the lazily built collaborators all
// settle during the first requests; growth is measured from after them.
constexpr int kWarmUpRequests = 1000;
constexpr long kMaxGrowthBytes = 2L * 1024 * 1024;

long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

std::string mebibytes(long bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

class SoakTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox::SandboxOptions options;
    options.log = nullptr;
    sandbox_ = std::make_unique<sandbox::Sandbox>(std::move(options));
    sandbox_->start();
    KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
    SessionConfiguration session;
    session.connectTo.push_back(std::string(VELMAR_DEV_HOST) +
                                ":443:127.0.0.1:" + std::to_string(sandbox_->port()));
    session.caBundleFile = sandbox_->caFile().string();
    configureSession(std::move(session));
    facade().setLogSink([this](std::string_view) { ++facadeFailures_; });
  }

  static Velmar& facade() { return Velmar::instance(); }

  // Waits for the next `count` game-list writes; false on timeout.
  bool pagesArrive(int count) {
    const int target = pages_ + count;
    return testing::runMainUntil([&] { return pages_ >= target; });
  }

  // One round of five requests, each awaited: two game-list pages, the balance, a launch and
  // the currency list. False as soon as one fails or does not answer.
  bool round() {
    facade().downloadGameList();
    facade().downloadMoreGameList();
    if (!pagesArrive(2) || !firstGame_.gameID()) return false;
    int answered = 0;
    bool ok = true;
    auto check = [&](auto thunk) {
      try {
        (void)thunk();
      } catch (...) {
        ok = false;
      }
      ++answered;
    };
    facade().utils()->getBalance([&](Thunk<void> thunk) { check(thunk); });
    facade().arcade()->launchGame(firstGame_.gameID(), firstGame_.providerID(),
                                  firstGame_.providerSlug(),
                                  [&](Thunk<std::optional<std::string>> thunk) { check(thunk); });
    facade().utils()->getCurrencyList([&](Thunk<void> thunk) { check(thunk); });
    return testing::runMainUntil([&] { return answered == 3; }) && ok;
  }

  std::unique_ptr<sandbox::Sandbox> sandbox_;
  int pages_ = 0;
  GameEntity firstGame_;  // of the latest page, launched each round
  int facadeFailures_ = 0;
};

TEST_F(SoakTest, TwentyThousandRequestsKeepResidentMemoryFlat) {
  const long atStart = residentBytes();
  facade().arcade()->gameList()->observe(nullptr, [this](const GameListState& state) {
    ++pages_;
    const bool held = state.isSuccess() && state.value() && !state.value()->empty();
    firstGame_ = held ? state.value()->front() : GameEntity();
  });
  ASSERT_TRUE(pagesArrive(1));  // the observer's initial delivery

  facade().initialize(ApiEnvironment::DEV);
  bool loggedIn = false;
  facade().player()->logIn("demo@velmar.example", "demo1234", [&](Thunk<void> thunk) {
    thunk();
    loggedIn = true;
  });
  // A successful log-in also fetches the first page.
  ASSERT_TRUE(testing::runMainUntil([&] { return loggedIn; }));
  ASSERT_TRUE(pagesArrive(1));
  ASSERT_TRUE(MainQueue::main().runUntilIdle(testing::kWait));

  constexpr int kPerRound = 5;
  long afterWarmUp = 0;
  for (int sent = 0; sent < kRequests; sent += kPerRound) {
    if (sent == kWarmUpRequests) afterWarmUp = residentBytes();
    ASSERT_TRUE(round()) << "round failed after " << sent << " requests";
  }
  ASSERT_TRUE(MainQueue::main().runUntilIdle(testing::kWait));
  const long atEnd = residentBytes();
  EXPECT_EQ(facadeFailures_, 0);

  const long growth = atEnd - afterWarmUp;
  std::printf(
      "soak: %d requests; resident memory %s at start, %s after %d requests, %s at end "
      "(growth after warm-up %s)\n",
      kRequests, mebibytes(atStart).c_str(), mebibytes(afterWarmUp).c_str(), kWarmUpRequests,
      mebibytes(atEnd).c_str(), mebibytes(growth).c_str());
  RecordProperty("resident_start_bytes", std::to_string(atStart));
  RecordProperty("resident_after_warm_up_bytes", std::to_string(afterWarmUp));
  RecordProperty("resident_end_bytes", std::to_string(atEnd));
  if (kMeasureMemory) {
    EXPECT_LT(growth, kMaxGrowthBytes);
  }
}

}  // namespace
}  // namespace velmar
