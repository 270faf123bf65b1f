#pragma once

#include <functional>
#include <memory>

#include "support/no_destructor.hpp"
#include "platform/http_types.hpp"

namespace velmar::http {

// The SDK's HTTP client: one libcurl multi handle driven by one background I/O thread, so
// connections are reused across every request of the process. The thread starts with the
// first request and never keeps the process alive.
class Session {
 public:
  using Completion = std::function<void(Response)>;

  // The process-wide session; never destroyed, so a transfer still running at exit finds it.
  static Session& shared();

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Sends `request` as it is and delivers exactly one Response to `completion` on the main
  // queue. Callable from any thread; never calls `completion` inline.
  void request(Request request, Completion completion);

 private:
  class Engine;
  template <typename T>
  friend union velmar::NoDestructor;

  Session();
  ~Session();
  std::unique_ptr<Engine> engine_;
};

}  // namespace velmar::http
