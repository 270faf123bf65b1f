#pragma once

#include <chrono>
#include <functional>

#include "velmar/main_queue.hpp"

namespace velmar::testing {

// Generous: a condition that holds at all holds long before this on a loaded CI machine.
inline constexpr std::chrono::milliseconds kWait{10000};

// Runs the process-wide main queue until `done()` holds or kWait passes.
inline bool runMainUntil(const std::function<bool()>& done) {
  return MainQueue::main().runUntil(done, kWait);
}

}  // namespace velmar::testing
