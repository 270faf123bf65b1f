#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "velmar/export.hpp"

namespace velmar {

/// The serial, first-in first-out queue on which every SDK outcome reaches the host.
/// The thread that runs its tasks is the host's main thread. A host either drives it
/// (`run`, `runOne`, `drain`, `runUntil`) or installs its own serial executor once at start-up.
class VELMAR_EXPORT MainQueue {
 public:
  using Task = std::function<void()>;
  using Executor = std::function<void(Task)>;
  using Clock = std::chrono::steady_clock;

  /// The process-wide queue; created on first use, never destroyed.
  static MainQueue& main();

  MainQueue() = default;
  MainQueue(const MainQueue&) = delete;
  MainQueue& operator=(const MainQueue&) = delete;

  /// Queues `task` to run after every task posted before it. Never runs it inline.
  void post(Task task);

  /// Hands every later task to `executor` (for example a Qt, GLib or asio loop) instead of
  /// keeping it here. Tasks already queued are handed over first, in order. The executor
  /// must run tasks one at a time, in the order received.
  void setExecutor(Executor executor);

  /// Runs tasks until `stop()` is called. Returns at once when an executor is installed.
  void run();
  /// Makes `run()` return after the task it is running.
  void stop();
  /// Runs the oldest task, waiting up to `timeout` for one. False when none came.
  bool runOne(std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
  /// Runs queued tasks, including ones they post, until the queue is empty; returns how many.
  std::size_t drain();
  /// Runs tasks until `done()` holds; false when `timeout` passes first.
  bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  /// Runs tasks until nothing is queued and no SDK work is in flight; false at the timeout.
  bool runUntilIdle(std::chrono::milliseconds timeout);

  /// Counts work in flight outside the queue (a request on the wire), so that
  /// `runUntilIdle` waits for its completion task. Every `beginWork` needs one `endWork`,
  /// called after the completion task is posted.
  void beginWork();
  void endWork();
  /// `post(task)` followed by `endWork()` as one step: one lock, one wake-up of the waiter.
  void postEndingWork(Task task);
  /// Tasks queued plus work in flight.
  std::size_t pending() const;

 private:
  bool popWithin(Clock::time_point deadline, Task& task);

  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Task> tasks_;
  Executor executor_;
  std::size_t inFlight_ = 0;
  bool stopping_ = false;
};

}  // namespace velmar
