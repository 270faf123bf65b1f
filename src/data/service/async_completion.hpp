#pragma once

#include <functional>
#include <utility>

#include "velmar/main_queue.hpp"

namespace velmar {

// Delivers a service outcome in its own main-queue task, so it never runs inside the
// provider's callback that produced it (the canned provider calls back inline).
template <typename Value>
void asyncCompletition(std::function<void(Value)> result, Value value) {
  MainQueue::main().post([result = std::move(result), value = std::move(value)]() mutable {
    result(std::move(value));
  });
}

}  // namespace velmar
