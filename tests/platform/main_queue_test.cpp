#include "velmar/main_queue.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/adaptive_spin.hpp"
#include "platform/work_in_flight.hpp"
#include "support/queue.hpp"

namespace velmar {
namespace {

using internal::WorkInFlight;
using std::chrono::milliseconds;
using velmar::testing::kWait;

// For threads that do not run the queue: polls `done` until it holds or kWait passed.
template <typename Done>
bool waitFor(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  return done();
}

TEST(MainQueueTest, TasksRunInPostingOrderNeverInlineAndRunStops) {
  MainQueue queue;
  std::vector<std::string> order;
  queue.post([&] {
    order.push_back("a-start");
    queue.post([&] { order.push_back("posted-by-a"); });
    order.push_back("a-end");
  });
  queue.post([&] { order.push_back("b"); });
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(queue.drain(), 3u);
  EXPECT_THAT(order, ::testing::ElementsAre("a-start", "a-end", "b", "posted-by-a"));
  queue.post([&] { order.push_back("c"), queue.stop(); });
  queue.post([&] { order.push_back("d"); });
  queue.run();
  EXPECT_EQ(order.back(), "c") << "run() returns after the task that stops it";
  EXPECT_EQ(queue.drain(), 1u);
}

// Tasks posted from other threads while the backlog is handed to a new executor (network
// completions, say) must not overtake it, and every task reaches the executor in posting order.
// A completion handed to the installed executor counts until it starts, and sees the SDK idle.
TEST(MainQueueTest, ExecutorReceivesEveryTaskInPostingOrderWhilePostsRaceTheHandover) {
  MainQueue queue;
  constexpr int kBacklog = 1000, kPerPoster = 2000, kMidHandover = 100;
  enum Source { kQueued, kPosted, kCompleted, kAfterInstall };
  std::vector<std::pair<int, int>> ran;
  const auto record = [&ran](int s, int n) { return [&ran, s, n] { ran.emplace_back(s, n); }; };
  for (int i = 0; i < kBacklog; ++i) queue.post(record(kQueued, i));
  for (int i = 0; i < kPerPoster; ++i) WorkInFlight::begin(queue);
  std::atomic<bool> handoverBegan{false};
  std::atomic<int> postedMidHandover{0};
  std::thread poster([&] {
    waitFor([&] { return handoverBegan.load(); });
    for (int i = 0; i < kPerPoster; ++i) {
      queue.post(record(kPosted, i));
      WorkInFlight::postEnding(queue, record(kCompleted, i));
      if (i < kMidHandover) ++postedMidHandover;
    }
  });
  std::mutex mutex;
  std::vector<MainQueue::Task> handed;
  int handedByInstaller = 0;
  bool postsRanMidHandover = false;
  queue.setExecutor([&, installer = std::this_thread::get_id()](MainQueue::Task task) {
    if (std::this_thread::get_id() == installer && ++handedByInstaller == kBacklog / 2) {
      handoverBegan = true;  // halfway through the backlog, the poster posts for a while
      postsRanMidHandover = waitFor([&] { return postedMidHandover == kMidHandover; });
    }
    std::lock_guard lock(mutex);
    handed.push_back(std::move(task));
  });
  queue.post(record(kAfterInstall, 0));
  poster.join();
  EXPECT_TRUE(postsRanMidHandover);
  std::size_t pendingInLast = 1;
  WorkInFlight::begin(queue);
  WorkInFlight::postEnding(queue, [&] { pendingInLast = queue.pending(); });
  EXPECT_EQ(queue.pending(), std::size_t{kPerPoster + 1}) << "each handed completion counts";
  for (auto& task : handed) task();
  EXPECT_EQ(pendingInLast, 0u);
  ASSERT_EQ(ran.size(), std::size_t{kBacklog + 2 * kPerPoster + 1});
  for (int i = 0; i < kBacklog; ++i) ASSERT_EQ(ran[i], std::make_pair(int{kQueued}, i));
  std::map<int, int> next;
  for (const auto& [source, number] : ran) ASSERT_EQ(number, next[source]++) << source;
}

TEST(MainQueueTest, RunUntilSeesOtherThreadsAndGivesUpAtItsTimeout) {
  MainQueue queue;
  std::atomic<bool> flag{false};
  std::jthread setter([&] { flag = true; });
  EXPECT_TRUE(queue.runUntil([&] { return flag.load(); }, kWait)) << "no task needed";
  EXPECT_FALSE(queue.runUntil([] { return false; }, milliseconds(50)));
  EXPECT_FALSE(queue.runOne(milliseconds(10)));
}

// A completion and the end of its work are one step: never idle with a completion to run.
// Completions from one thread run in the order it posted them.
TEST(MainQueueTest, IdleOnlyOnceEveryRequestInFlightEndedAndItsCompletionRan) {
  MainQueue queue;
  int completed = 0;
  for (int i = 0; i < 200; ++i) WorkInFlight::begin(queue);
  EXPECT_EQ(queue.pending(), 200u);
  std::jthread io([&] {
    for (int i = 0; i < 200; ++i)
      WorkInFlight::postEnding(queue, [&, i] { EXPECT_EQ(completed++, i); });
  });
  EXPECT_TRUE(queue.runUntilIdle(kWait));
  EXPECT_EQ(completed, 200);
}

TEST(AdaptiveSpinTest, SpinsForQuickPeersOnly) {
  int looks = 0;
  EXPECT_TRUE(AdaptiveSpin().spin([&] { return ++looks == 3; })) << "it looks again and again";
  EXPECT_FALSE(AdaptiveSpin().spin([] { return false; })) << "it gives up when nothing comes";
  AdaptiveSpin spin;
  for (int i = 0; i < 16; ++i) spin.learn(milliseconds(20));  // a distant server
  looks = 0;
  EXPECT_FALSE(spin.spin([&] { return ++looks, false; }));
  EXPECT_EQ(looks, 0) << "a slow peer must cost no spinning at all";
  for (int i = 0; i < 16; ++i) spin.learn(std::chrono::microseconds(30));  // loopback again
  EXPECT_TRUE(spin.spin([&] { return ++looks == 2; }));
}

}  // namespace
}  // namespace velmar
