#include "velmar/main_queue.hpp"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

#include "platform/adaptive_spin.hpp"
#include "platform/work_in_flight.hpp"
#include "support/no_destructor.hpp"

namespace velmar {
namespace {
// A predicate may turn true without a task (another thread changed state), so waits are
// cut into slices to look at it again.
constexpr auto kPredicateSlice = std::chrono::milliseconds(5);
// Waits shorter than this (a drain, a poll, a predicate slice nearly over) never spin.
constexpr auto kSpinAtMost = std::chrono::milliseconds(1);
}  // namespace

// Hidden: a nested class takes the exported visibility of its host class otherwise.
struct __attribute__((visibility("hidden"))) MainQueue::State {
  bool popWithin(Clock::time_point deadline, Task& task);
  // Once an executor is installed, tasks still here (the backlog being handed over) are its.
  bool runnable() const { return !tasks.empty() && !executor; }

  mutable std::mutex mutex;
  std::condition_variable ready;
  std::deque<Task> tasks;
  Executor executor;
  std::size_t inFlight = 0;
  bool stopping = false;
  // Set while setExecutor passes the backlog on: posts keep joining its tail meanwhile, so
  // none overtakes an older task by going to the executor directly.
  bool handingOver = false;
};

MainQueue& MainQueue::main() {
  static NoDestructor<MainQueue> queue;
  return queue.value;
}

MainQueue::MainQueue() : state_(std::make_unique<State>()) {}
MainQueue::~MainQueue() = default;

void MainQueue::post(Task task) {
  State& s = *state_;
  std::unique_lock lock(s.mutex);
  if (s.executor && !s.handingOver) {
    Executor executor = s.executor;
    lock.unlock();
    executor(std::move(task));
    return;
  }
  s.tasks.push_back(std::move(task));
  lock.unlock();
  s.ready.notify_all();
}

void MainQueue::setExecutor(Executor executor) {
  State& s = *state_;
  std::unique_lock lock(s.mutex);
  s.executor = std::move(executor);
  s.ready.notify_all();  // a running run() returns
  // A handover under way passes the rest to the new executor; without one, tasks stay here.
  if (s.handingOver || !s.executor) return;
  s.handingOver = true;
  while (s.executor && !s.tasks.empty()) {
    std::deque<Task> batch;
    batch.swap(s.tasks);
    Executor current = s.executor;
    lock.unlock();
    for (auto& task : batch) current(std::move(task));
    lock.lock();
  }
  s.handingOver = false;
}

bool MainQueue::State::popWithin(Clock::time_point deadline, Task& task) {
  std::unique_lock lock(mutex);
  // A request in flight will post its completion soon: catching it on the CPU spares the
  // sleep and wake-up of the condition variable. Only worth it while work is in flight.
  if (tasks.empty() && inFlight > 0 && !executor) {
    thread_local AdaptiveSpin spin;
    const auto start = Clock::now();
    if (deadline - start > kSpinAtMost) {
      lock.unlock();
      spin.spin([&] {
        std::unique_lock peek(mutex, std::try_to_lock);
        return peek.owns_lock() && !tasks.empty();
      });
      lock.lock();
    }
    const bool arrived = ready.wait_until(lock, deadline, [&] { return runnable(); });
    spin.learn(Clock::now() - start);
    if (!arrived) return false;
  } else if (!ready.wait_until(lock, deadline, [&] { return runnable(); })) {
    return false;
  }
  task = std::move(tasks.front());
  tasks.pop_front();
  return true;
}

void MainQueue::run() {
  State& s = *state_;
  {
    std::lock_guard lock(s.mutex);
    if (s.executor) return;
    s.stopping = false;
  }
  for (;;) {
    Task task;
    {
      std::unique_lock lock(s.mutex);
      s.ready.wait(lock, [&] { return !s.tasks.empty() || s.stopping || s.executor; });
      if (s.stopping || s.executor) {
        s.stopping = false;
        return;
      }
      task = std::move(s.tasks.front());
      s.tasks.pop_front();
    }
    task();
  }
}

void MainQueue::stop() {
  State& s = *state_;
  {
    std::lock_guard lock(s.mutex);
    s.stopping = true;
  }
  s.ready.notify_all();
}

bool MainQueue::runOne(std::chrono::milliseconds timeout) {
  Task task;
  if (!state_->popWithin(Clock::now() + timeout, task)) return false;
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
    if (state_->popWithin(std::min(deadline, now + kPredicateSlice), task)) task();
  }
  return true;
}

bool MainQueue::runUntilIdle(std::chrono::milliseconds timeout) {
  return runUntil([this] { return pending() == 0; }, timeout);
}

std::size_t MainQueue::pending() const {
  const State& s = *state_;
  std::lock_guard lock(s.mutex);
  return s.tasks.size() + s.inFlight;
}

namespace internal {

void WorkInFlight::begin(MainQueue& queue) {
  MainQueue::State& s = *queue.state_;
  std::lock_guard lock(s.mutex);
  ++s.inFlight;
}

void WorkInFlight::end(MainQueue& queue) {
  MainQueue::State& s = *queue.state_;
  {
    std::lock_guard lock(s.mutex);
    if (s.inFlight > 0) --s.inFlight;
  }
  s.ready.notify_all();
}

void WorkInFlight::postEnding(MainQueue& queue, MainQueue::Task task) {
  MainQueue::State& s = *queue.state_;
  std::unique_lock lock(s.mutex);
  if (s.executor) {
    // The request stops counting as its completion starts on the host's loop: never before
    // (the host could see idle with an answer still to come), and not after it returns
    // (a host looking at pending() from that last task would wait for ever). That holds for
    // a completion that joins a backlog being handed over too.
    MainQueue::Task counted = [queue = &queue, task = std::move(task)]() mutable {
      end(*queue);
      task();
    };
    if (s.handingOver) {
      s.tasks.push_back(std::move(counted));
      return;
    }
    MainQueue::Executor executor = s.executor;
    lock.unlock();
    executor(std::move(counted));
    return;
  }
  s.tasks.push_back(std::move(task));
  if (s.inFlight > 0) --s.inFlight;
  lock.unlock();
  s.ready.notify_all();
}

}  // namespace internal
}  // namespace velmar
