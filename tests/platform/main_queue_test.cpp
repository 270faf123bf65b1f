#include "velmar/main_queue.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/work_in_flight.hpp"
#include "support/queue.hpp"

namespace velmar {
namespace {

using internal::WorkInFlight;
using std::chrono::milliseconds;
using ::testing::ElementsAre;
using velmar::testing::kWait;

// A count other threads raise and one thread waits on, up to kWait.
class Counter {
 public:
  void add() {
    {
      std::lock_guard lock(mutex_);
      ++value_;
    }
    changed_.notify_all();
  }
  bool waitFor(int atLeast) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kWait, [&] { return value_ >= atLeast; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int value_ = 0;
};

// A host loop as a real executor: its own thread, running its own locked FIFO.
class LoopThread {
 public:
  LoopThread() : thread_([this] { loop(); }) {}
  ~LoopThread() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void push(MainQueue::Task task) {
    {
      std::lock_guard lock(mutex_);
      fifo_.push_back(std::move(task));
    }
    wake_.notify_all();
  }

 private:
  void loop() {
    for (;;) {
      MainQueue::Task task;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || !fifo_.empty(); });
        if (fifo_.empty()) return;
        task = std::move(fifo_.front());
        fifo_.pop_front();
      }
      task();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<MainQueue::Task> fifo_;
  bool stopping_ = false;
  std::thread thread_;
};

TEST(MainQueueTest, PostNeverRunsInline) {
  MainQueue queue;
  bool ran = false;
  queue.post([&] { ran = true; });
  EXPECT_FALSE(ran);
  EXPECT_EQ(queue.drain(), 1u);
  EXPECT_TRUE(ran);
}

TEST(MainQueueTest, TaskPostedWhileRunningStartsAfterEverythingPostedBefore) {
  MainQueue queue;
  std::vector<std::string> order;
  queue.post([&] {
    order.push_back("a-start");
    queue.post([&] { order.push_back("posted-by-a"); });
    order.push_back("a-end");
  });
  queue.post([&] { order.push_back("b"); });
  queue.drain();
  EXPECT_THAT(order, ElementsAre("a-start", "a-end", "b", "posted-by-a"));
}

TEST(MainQueueTest, ManyProducersAllRunOneAtATimeInEachProducersOrder) {
  MainQueue queue;
  constexpr int kProducers = 4;
  constexpr int kPerProducer = 2000;
  std::map<int, std::vector<int>> seen;  // touched only by tasks, on this thread
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) {
        queue.post([&, p, i] {
          if (running.fetch_add(1) != 0) overlapped = true;
          seen[p].push_back(i);
          running.fetch_sub(1);
        });
      }
    });
  }
  std::size_t total = 0;
  ASSERT_TRUE(queue.runUntil(
      [&] {
        total = 0;
        for (auto& [p, v] : seen) total += v.size();
        return total == kProducers * kPerProducer;
      },
      kWait));
  for (auto& t : producers) t.join();
  EXPECT_FALSE(overlapped);
  for (int p = 0; p < kProducers; ++p) {
    ASSERT_EQ(seen[p].size(), static_cast<std::size_t>(kPerProducer));
    for (int i = 0; i < kPerProducer; ++i) ASSERT_EQ(seen[p][i], i) << "producer " << p;
  }
}

TEST(MainQueueTest, InstalledExecutorReceivesEveryTaskInOrderIncludingQueuedOnes) {
  MainQueue queue;
  std::vector<int> order;
  queue.post([&] { order.push_back(1); });
  std::vector<MainQueue::Task> handed;
  queue.setExecutor([&](MainQueue::Task task) { handed.push_back(std::move(task)); });
  queue.post([&] { order.push_back(2); });
  queue.post([&] { order.push_back(3); });
  EXPECT_TRUE(order.empty()) << "the executor decides when tasks run";
  EXPECT_FALSE(queue.runOne()) << "nothing stays in the queue once an executor is installed";
  for (auto& task : handed) task();
  EXPECT_THAT(order, ElementsAre(1, 2, 3));
}

// Tasks posted from other threads while the backlog is being handed to a new executor
// (network completions, say) must not overtake it: the backlog is older.
TEST(MainQueueTest, ExecutorReceivesEveryTaskInPostingOrderWhilePostsRaceTheHandover) {
  MainQueue queue;
  enum Source { kBacklog, kPoster, kCompletion, kAfterInstall };
  constexpr int kQueuedBefore = 1000;
  constexpr int kPerPoster = 2000;
  constexpr int kPostedMidHandover = 100;   // per poster, before the handover may go on
  std::vector<std::pair<Source, int>> ran;  // touched only on the loop's thread
  Counter done;
  const auto record = [&](Source source, int number) {
    return [&ran, &done, source, number] {
      ran.emplace_back(source, number);
      done.add();
    };
  };
  for (int i = 0; i < kQueuedBefore; ++i) queue.post(record(kBacklog, i));
  for (int i = 0; i < kPerPoster; ++i) WorkInFlight::begin(queue);

  Counter handoverBegan;
  Counter postedByPosters;
  const auto poster = [&](Source source) {
    return std::thread([&, source] {
      handoverBegan.waitFor(1);
      for (int i = 0; i < kPerPoster; ++i) {
        if (source == kPoster) {
          queue.post(record(source, i));
        } else {
          WorkInFlight::postEnding(queue, record(source, i));
        }
        if (i < kPostedMidHandover) postedByPosters.add();
      }
    });
  };
  std::thread plain = poster(kPoster);
  std::thread completions = poster(kCompletion);

  LoopThread loop;
  const auto installer = std::this_thread::get_id();
  int handedByInstaller = 0;
  bool postersPostedMidHandover = false;
  queue.setExecutor([&](MainQueue::Task task) {
    // Halfway through the backlog, let both posters post for a while.
    if (std::this_thread::get_id() == installer && ++handedByInstaller == kQueuedBefore / 2) {
      handoverBegan.add();
      postersPostedMidHandover = postedByPosters.waitFor(2 * kPostedMidHandover);
    }
    loop.push(std::move(task));
  });
  queue.post(record(kAfterInstall, 0));

  constexpr int kTotal = kQueuedBefore + 2 * kPerPoster + 1;
  EXPECT_TRUE(postersPostedMidHandover);
  ASSERT_TRUE(done.waitFor(kTotal));
  plain.join();
  completions.join();
  EXPECT_EQ(queue.pending(), 0u);

  ASSERT_EQ(ran.size(), static_cast<std::size_t>(kTotal));
  for (int i = 0; i < kQueuedBefore; ++i) {
    ASSERT_EQ(ran[i], std::make_pair(kBacklog, i)) << "position " << i;
  }
  std::map<Source, int> next;
  for (const auto& [source, number] : ran) {
    ASSERT_EQ(number, next[source]++) << "source " << source;
  }
  EXPECT_EQ(next[kPoster], kPerPoster);
  EXPECT_EQ(next[kCompletion], kPerPoster);
  EXPECT_EQ(next[kAfterInstall], 1);
}

TEST(MainQueueTest, RunUntilReturnsFalseAtItsTimeout) {
  MainQueue queue;
  const auto start = MainQueue::Clock::now();
  EXPECT_FALSE(queue.runUntil([] { return false; }, milliseconds(50)));
  EXPECT_GE(MainQueue::Clock::now() - start, milliseconds(50));
  EXPECT_FALSE(queue.runOne(milliseconds(10)));
}

TEST(MainQueueTest, RunUntilSeesAConditionSetByAnotherThreadWithoutATask) {
  MainQueue queue;
  std::atomic<bool> flag{false};
  std::thread setter([&] { flag = true; });
  EXPECT_TRUE(queue.runUntil([&] { return flag.load(); }, kWait));
  setter.join();
}

TEST(MainQueueTest, RunUntilIdleWaitsForWorkInFlightAndItsCompletion) {
  MainQueue queue;
  bool completed = false;
  WorkInFlight::begin(queue);
  EXPECT_EQ(queue.pending(), 1u);
  std::thread io([&] {
    queue.post([&] { completed = true; });
    WorkInFlight::end(queue);
  });
  EXPECT_TRUE(queue.runUntilIdle(kWait));
  io.join();
  EXPECT_TRUE(completed);
  EXPECT_EQ(queue.pending(), 0u);
}

// The completion and the end of its work are one step: at no moment does the queue look
// idle while the completion is still to run, with or without an executor.
TEST(MainQueueTest, PostEndingWorkHandsOverTheTaskAndTheWorkTogether) {
  MainQueue queue;
  std::atomic<int> completed{0};
  constexpr int kRequests = 200;
  for (int i = 0; i < kRequests; ++i) WorkInFlight::begin(queue);
  std::atomic<bool> sawIdleEarly{false};
  std::thread io([&] {
    for (int i = 0; i < kRequests; ++i) WorkInFlight::postEnding(queue, [&] { ++completed; });
  });
  // Idle is reached only once every completion ran.
  EXPECT_TRUE(queue.runUntil(
      [&] {
        if (queue.pending() != 0) return false;
        if (completed != kRequests) sawIdleEarly = true;
        return true;
      },
      kWait));
  io.join();
  EXPECT_FALSE(sawIdleEarly);
  EXPECT_EQ(completed, kRequests);

  std::vector<MainQueue::Task> handed;
  queue.setExecutor([&](MainQueue::Task task) { handed.push_back(std::move(task)); });
  WorkInFlight::begin(queue);
  std::size_t pendingInside = 1;
  WorkInFlight::postEnding(queue, [&] {
    pendingInside = queue.pending();
    ++completed;
  });
  EXPECT_EQ(queue.pending(), 1u) << "in flight until its completion starts on the host's loop";
  ASSERT_EQ(handed.size(), 1u);
  handed.front()();
  EXPECT_EQ(pendingInside, 0u) << "the completion itself sees the request done";
  EXPECT_EQ(completed, kRequests + 1);
}

TEST(MainQueueTest, RunReturnsAfterStopFromATask) {
  MainQueue queue;
  int count = 0;
  queue.post([&] { ++count; });
  queue.post([&] {
    ++count;
    queue.stop();
  });
  queue.post([&] { ++count; });
  queue.run();
  EXPECT_EQ(count, 2);
  EXPECT_EQ(queue.drain(), 1u);
}

TEST(MainQueueTest, ProcessWideQueueIsOneInstance) {
  EXPECT_EQ(&MainQueue::main(), &MainQueue::main());
}

}  // namespace
}  // namespace velmar
