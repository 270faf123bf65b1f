#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "data/network/network_service.hpp"
#include "support/raw_server.hpp"
#include "use_case_test_util.hpp"
#include "velmar/session_configuration.hpp"

namespace velmar {
namespace {

using testing::raisedBy;
using testing::runMainUntil;

class ThreadsStressTest : public testing::SessionTest {
 protected:
  ThreadsStressTest() : SessionTest(Environment::PROD) {}
  void SetUp() override { SessionTest::SetUp(), routeTo(server_.port()); }

  testing::RawServer server_{[](const std::string&) {
    const auto body = testing::envelope({{{"id", "1"}, {"alphabetic_code", "EUR"}}});
    return testing::RawServer::Reply{testing::RawServer::response(200, body), false};
  }};
};

// The I/O thread finishes transfers while the main queue is busy writing observables and
// registering observers; every outcome must still arrive once, on the main queue.
TEST_F(ThreadsStressTest, ObservableTrafficOnTheMainQueueWhileTheIoThreadCompletesRequests) {
  constexpr int kRequests = 200;
  constexpr int kInFlight = 8;
  auto utils =
      UtilsUseCase::make(UtilsUseCaseDependencies(std::make_shared<NetworkService>()));
  auto counter = Observable<int>::make(0);
  auto screen = std::make_shared<int>(0);
  int started = 0;
  int answered = 0;
  int succeeded = 0;
  long counterDeliveries = 0;
  int listDeliveries = 0;

  std::function<void()> start = [&] {
    ++started;
    utils->getCurrencyList([&](Thunk<void> thunk) {
      ++answered;
      if (!raisedBy(thunk)) ++succeeded;
      MainQueue::main().post([&] {
        counter->setValue(counter->value() + 1);
        counter->observe(screen, [&](const int&) { ++counterDeliveries; });
        utils->currencyList()->observe(screen, [&](const auto&) { ++listDeliveries; });
      });
      if (started < kRequests) start();
    });
  };
  for (int i = 0; i < kInFlight; ++i) start();

  ASSERT_TRUE(runMainUntil([&] { return answered == kRequests; }));
  ASSERT_TRUE(MainQueue::main().runUntilIdle(testing::kWait));

  EXPECT_EQ(succeeded, kRequests);
  EXPECT_EQ(server_.requests().size(), static_cast<std::size_t>(kRequests));
  EXPECT_EQ(counter->value(), kRequests);
  // Write k (1-based) reaches the k-1 observers registered before it; each registration adds
  // one initial delivery.
  EXPECT_EQ(counterDeliveries, static_cast<long>(kRequests) * (kRequests - 1) / 2 + kRequests);
  EXPECT_GE(listDeliveries, kRequests);
  ASSERT_TRUE(utils->currencyList()->value().has_value());
  EXPECT_EQ(utils->currencyList()->value()->size(), 1u);
}

}  // namespace
}  // namespace velmar
