#pragma once

#include "velmar/main_queue.hpp"

namespace velmar::internal {

// Counts SDK work in flight outside the main queue (a request on the wire), so that
// `runUntilIdle` waits for its completion task. Every `begin` needs one `end`, called once
// the completion task is posted; `postEnding` does both in one step.
class WorkInFlight {
 public:
  static void begin(MainQueue& queue);
  static void end(MainQueue& queue);
  // `post(task)` followed by `end(queue)` as one step: one lock, one wake-up of the waiter,
  // and no moment at which the queue looks idle while the completion is still to run.
  static void postEnding(MainQueue& queue, MainQueue::Task task);
};

}  // namespace velmar::internal
