#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "velmar/export.hpp"

namespace velmar {

namespace internal {
class WorkInFlight;
}  // namespace internal

/// The serial, first-in first-out queue on which every SDK outcome reaches the host.
/// The thread that runs its tasks is the host's main thread. A host either drives it
/// (`run`, `runOne`, `drain`, `runUntil`) or installs its own serial executor once at start-up.
class VELMAR_EXPORT MainQueue {
 public:
  /// One unit of work; runs on the main thread.
  using Task = std::function<void()>;
  /// A host's hand-over: receives each task and queues it to the host's own serial loop.
  using Executor = std::function<void(Task)>;
  /// The clock the queue's timeouts are measured on.
  using Clock = std::chrono::steady_clock;

  /// The process-wide queue; created on first use, never destroyed.
  static MainQueue& main();

  /// An empty queue with no executor.
  MainQueue();
  ~MainQueue();
  MainQueue(const MainQueue&) = delete;
  MainQueue& operator=(const MainQueue&) = delete;

  /// Queues `task` to run after every task posted before it, from whatever thread. Never runs
  /// it inline.
  void post(Task task);

  /// Hands every later task to `executor` (for example a Qt, GLib or asio loop) instead of
  /// keeping it here. Tasks already queued are handed over first; a task posted from another
  /// thread meanwhile follows them, so the executor receives every task in posting order.
  /// The executor must run tasks one at a time, in the order received, and must never run a
  /// task inside its own call (which may come from within `post`): it queues the task to its
  /// own loop and returns.
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
  /// Runs tasks until nothing is queued and no SDK request is in flight; false at the timeout.
  bool runUntilIdle(std::chrono::milliseconds timeout);

  /// Tasks queued plus SDK requests in flight. With an executor, a request counts until its
  /// completion task starts running.
  std::size_t pending() const;

 private:
  struct State;
  friend class internal::WorkInFlight;

  std::unique_ptr<State> state_;
};

}  // namespace velmar
