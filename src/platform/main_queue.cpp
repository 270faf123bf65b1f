#include "velmar/main_queue.hpp"

#include <algorithm>
#include <utility>

#include "support/no_destructor.hpp"
#include "platform/adaptive_spin.hpp"

namespace velmar {
namespace {
// A predicate may turn true without a task (another thread changed state), so waits are
// cut into slices to look at it again.
constexpr auto kPredicateSlice = std::chrono::milliseconds(5);
// Waits shorter than this (a drain, a poll, a predicate slice nearly over) never spin.
constexpr auto kSpinAtMost = std::chrono::milliseconds(1);
}  // namespace

MainQueue& MainQueue::main() {
  static NoDestructor<MainQueue> queue;
  return queue.value;
}

void MainQueue::post(Task task) {
  std::unique_lock lock(mutex_);
  if (executor_) {
    Executor executor = executor_;
    lock.unlock();
    executor(std::move(task));
    return;
  }
  tasks_.push_back(std::move(task));
  lock.unlock();
  ready_.notify_all();
}

void MainQueue::setExecutor(Executor executor) {
  std::deque<Task> queued;
  {
    std::lock_guard lock(mutex_);
    executor_ = executor;
    queued.swap(tasks_);
  }
  ready_.notify_all();
  for (auto& task : queued) executor(std::move(task));
}

bool MainQueue::popWithin(Clock::time_point deadline, Task& task) {
  std::unique_lock lock(mutex_);
  // A request in flight will post its completion soon: catching it on the CPU spares the
  // sleep and wake-up of the condition variable. Only worth it while work is in flight.
  if (tasks_.empty() && inFlight_ > 0 && !executor_) {
    thread_local AdaptiveSpin spin;
    const auto start = Clock::now();
    if (deadline - start > kSpinAtMost) {
      lock.unlock();
      spin.spin([&] {
        std::unique_lock peek(mutex_, std::try_to_lock);
        return peek.owns_lock() && !tasks_.empty();
      });
      lock.lock();
    }
    const bool arrived = ready_.wait_until(lock, deadline, [&] { return !tasks_.empty(); });
    spin.learn(Clock::now() - start);
    if (!arrived) return false;
  } else if (!ready_.wait_until(lock, deadline, [&] { return !tasks_.empty(); })) {
    return false;
  }
  task = std::move(tasks_.front());
  tasks_.pop_front();
  return true;
}

void MainQueue::run() {
  {
    std::lock_guard lock(mutex_);
    if (executor_) return;
    stopping_ = false;
  }
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [&] { return !tasks_.empty() || stopping_ || executor_; });
      if (stopping_ || executor_) {
        stopping_ = false;
        return;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void MainQueue::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
}

bool MainQueue::runOne(std::chrono::milliseconds timeout) {
  Task task;
  if (!popWithin(Clock::now() + timeout, task)) return false;
  task();
  return true;
}

std::size_t MainQueue::drain() {
  std::size_t count = 0;
  while (runOne()) ++count;
  return count;
}

bool MainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done()) {
    const auto now = Clock::now();
    if (now >= deadline) return false;
    Task task;
    if (popWithin(std::min(deadline, now + kPredicateSlice), task)) task();
  }
  return true;
}

bool MainQueue::runUntilIdle(std::chrono::milliseconds timeout) {
  return runUntil([this] { return pending() == 0; }, timeout);
}

void MainQueue::beginWork() {
  std::lock_guard lock(mutex_);
  ++inFlight_;
}

void MainQueue::endWork() {
  {
    std::lock_guard lock(mutex_);
    if (inFlight_ > 0) --inFlight_;
  }
  ready_.notify_all();
}

void MainQueue::postEndingWork(Task task) {
  std::unique_lock lock(mutex_);
  if (executor_) {
    Executor executor = executor_;
    lock.unlock();
    executor(std::move(task));
    endWork();
    return;
  }
  tasks_.push_back(std::move(task));
  if (inFlight_ > 0) --inFlight_;
  lock.unlock();
  ready_.notify_all();
}

std::size_t MainQueue::pending() const {
  std::lock_guard lock(mutex_);
  return tasks_.size() + inFlight_;
}

}  // namespace velmar
