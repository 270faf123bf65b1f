#pragma once

#include <utility>

namespace velmar {

// Holds a process-wide instance that is built once and never destroyed, so work still in
// flight while the process exits (a completion posted by the I/O thread) never meets a
// destroyed object.
template <typename T>
union NoDestructor {
  template <typename... Args>
  explicit NoDestructor(Args&&... args) : value(std::forward<Args>(args)...) {}
  ~NoDestructor() {}
  T value;
};

}  // namespace velmar
