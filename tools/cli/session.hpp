#pragma once

// Drives the SDK as a host application does: set-up, initialize, and waits until it is done.
#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <velmar/velmar.hpp>

#include "diagnostics.hpp"
#include "options.hpp"
#include "sandbox_server.hpp"

namespace velmar::cli {

// A wait on the SDK that ran out of time.
class Timeout : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "HOST:PORT" a request to `baseURL` connects to, with the scheme's port when none is written;
// empty when the text names no authority.
std::string authorityOf(std::string_view baseURL);

// What a command waits for after `initialize` before its own first request.
enum class StartUpWait {
  // Nothing: the command's requests and output do not depend on the restored session.
  nothing,
  // The restoring log-in's outcome, which stores the token (and the player) later requests
  // carry; not what that log-in sets off. Without a stored session, nothing.
  restoredSession,
  // Everything start-up sets off, the first game page included.
  everything,
};

// The SDK for one run: the key store, the HTTP session (and the in-process sandbox behind it)
// and the canned answers as the options say. Every wait gives up after `wait` with Timeout.
class Session {
 public:
  Session(const Options& options, std::ostream& err, std::chrono::milliseconds wait);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Sets the SDK up, initializes it and waits for as much of the work that starts (session
  // restore, currency download) as `wait` says.
  void start(StartUpWait wait);
  // Whether the first game page, which a successful restoring log-in asks for, is still to
  // reach gameList: start() waited for the log-in only.
  bool firstPageUnderWay() const { return firstPageUnderWay_; }

  // Runs the main queue until no task is queued and no request is in flight.
  void settle();
  // Runs the main queue until `done` holds.
  void waitUntil(const std::function<bool()>& done);

  // Starts an operation and returns what its thunk yields (or throws what it raises).
  template <typename T>
  T await(const std::function<void(ResultCallback<T>)>& begin) {
    // Shared, so an answer that arrives after a timeout still has somewhere to go.
    auto outcome = std::make_shared<std::optional<Thunk<T>>>();
    begin([outcome](Thunk<T> thunk) { *outcome = std::move(thunk); });
    waitUntil([&outcome] { return outcome->has_value(); });
    return (**outcome)();
  }

  Velmar& sdk() { return sdk_; }
  // Whether every answer comes from the canned ones shipped with the library.
  bool usesCannedAnswers() const;
  // The in-process sandbox, when `--sandbox` started one.
  const sandbox::Sandbox* sandbox() const { return sandbox_.get(); }
  // What to tell a person about the failure of the command just run, when the requests or
  // the key store show more than the error the SDK raised.
  std::optional<std::string> adviceOnFailure(bool needsPlayer);

 private:
  void chooseKeyStore();
  void startSandbox(SessionConfiguration& session);

  const Options& options_;
  std::ostream& err_;
  std::chrono::milliseconds wait_;
  Velmar& sdk_;
  std::unique_ptr<sandbox::Sandbox> sandbox_;
  bool firstPageUnderWay_ = false;
  // Shared with the SDK's request observer, which a request still in flight may call after
  // this session is gone.
  std::shared_ptr<Diagnostics> diagnostics_;
};

}  // namespace velmar::cli
