#include "platform/adaptive_spin.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace velmar {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(AdaptiveSpinTest, CatchesAnEventThatIsAlreadyThere) {
  AdaptiveSpin spin;
  int looks = 0;
  EXPECT_TRUE(spin.spin([&] { return ++looks == 3; }));
  EXPECT_EQ(looks, 3);
}

TEST(AdaptiveSpinTest, GivesUpWithinItsBudgetWhenNothingComes) {
  AdaptiveSpin spin;
  const auto start = AdaptiveSpin::Clock::now();
  EXPECT_FALSE(spin.spin([] { return false; }));
  // The budget is a fraction of a millisecond; a preempted spin stops even sooner.
  EXPECT_LT(AdaptiveSpin::Clock::now() - start, milliseconds(50));
}

TEST(AdaptiveSpinTest, StopsSpinningOncePeersAreSlowAndStartsAgainWhenTheyAreQuick) {
  AdaptiveSpin spin;
  for (int i = 0; i < 16; ++i) spin.learn(milliseconds(20));  // a distant server
  int looks = 0;
  EXPECT_FALSE(spin.spin([&] {
    ++looks;
    return false;
  }));
  EXPECT_EQ(looks, 0) << "a slow peer must cost no spinning at all";

  for (int i = 0; i < 16; ++i) spin.learn(microseconds(30));  // loopback again
  std::atomic<bool> ready{false};
  std::thread peer([&] { ready = true; });
  peer.join();
  EXPECT_TRUE(spin.spin([&] { return ready.load(); }));
}

}  // namespace
}  // namespace velmar
