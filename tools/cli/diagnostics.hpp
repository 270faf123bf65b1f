#pragma once

// What the tool learns from the SDK's request events: the lines `-v` prints, and what it can
// tell a person about a failure.
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include <velmar/session_configuration.hpp>

namespace velmar::cli {

// One line for people: "GET /list_games?page=1&per_page=50 -> 200 (HTTP/2, 3.1 ms, 20480 B)".
std::string describe(const RequestEvent& event);

// What to do about a request to the server at `baseURL` that got no good answer: "could not
// connect to host:443: connection refused", "the platform answered 404 to launch_game".
// Absent when the event shows no problem.
std::optional<std::string> explain(const RequestEvent& event, const std::string& baseURL);

// Collects events from the SDK's I/O thread; the main thread prints and reads them.
class Diagnostics {
 public:
  explicit Diagnostics(bool verbose) : verbose_(verbose) {}

  // For SessionConfiguration::onRequestEnded; `this` must outlive the requests.
  void record(const RequestEvent& event);
  // Writes the lines of the events recorded since the last call (only with `verbose`).
  void flush(std::ostream& err);
  // The last event that showed a problem.
  std::optional<RequestEvent> lastProblem() const;

 private:
  const bool verbose_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::optional<RequestEvent> lastProblem_;
};

}  // namespace velmar::cli
