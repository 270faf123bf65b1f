// Request events turned into lines for `-v` and into advice when a command fails.
#include "diagnostics.hpp"

#include <cstdio>
#include <ostream>

#include "session.hpp"

namespace velmar::cli {
namespace {

bool isProblem(const RequestEvent& event) {
  return event.failure != RequestEvent::Failure::none || !event.status || *event.status >= 400;
}

// "launch_game" for "<base path>/launch_game", "balances/player/7" for
// "<base path>/balances/player/7?x": the operation as the platform names it.
std::string operationOf(const std::string& path, const std::string& baseURL) {
  std::string name = path.substr(0, path.find('?'));
  const auto scheme = baseURL.find("://");
  const auto basePathStart = baseURL.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (basePathStart != std::string::npos) {
    const std::string basePath = baseURL.substr(basePathStart);
    if (name.starts_with(basePath)) name.erase(0, basePath.size());
  }
  while (!name.empty() && name.front() == '/') name.erase(name.begin());
  return name.empty() ? "/" : name;
}

bool mentions(const std::string& text, const char* word) {
  return text.find(word) != std::string::npos;
}

}  // namespace

std::string describe(const RequestEvent& event) {
  char timing[64];
  std::snprintf(timing, sizeof timing, "%.1f ms, %llu B", event.duration.count() / 1000.0,
                static_cast<unsigned long long>(event.bytesReceived));
  std::string line = event.method + " " + event.path + " -> ";
  if (event.status) {
    line += std::to_string(*event.status) + " (HTTP/" + event.httpVersion + ", " + timing + ")";
  } else {
    line += "no answer: " + event.error + " (" + timing + ")";
  }
  return line;
}

std::optional<std::string> explain(const RequestEvent& event, const std::string& baseURL) {
  using Failure = RequestEvent::Failure;
  const std::string authority = authorityOf(baseURL);
  const std::string operation = operationOf(event.path, baseURL);
  switch (event.failure) {
    case Failure::none:
      break;
    case Failure::resolve:
      return "could not resolve the host of " + authority;
    case Failure::connect:
      return "could not connect to " + authority +
             (mentions(event.error, "refused") ? ": connection refused" : "");
    case Failure::tls:
      if (mentions(event.error, "certificate") || mentions(event.error, "verif")) {
        return "certificate not trusted: use --cacert";
      }
      return "TLS with " + authority + " failed: " + event.error;
    case Failure::timeout:
      return authority + " did not answer in time";
    case Failure::tooLarge:
      return "the answer to " + operation + " was larger than allowed";
    case Failure::other:
      return "no answer from " + authority + ": " + event.error;
  }
  if (event.status == 401) {
    if (operation == "login") return "the platform refused the e-mail or password (401 to login)";
    return "the platform refused the stored session (401 to " + operation +
           "): run `velmar login` again";
  }
  if (event.status && *event.status >= 400) {
    return "the platform answered " + std::to_string(*event.status) + " to " + operation;
  }
  return std::nullopt;
}

void Diagnostics::record(const RequestEvent& event) {
  std::lock_guard lock(mutex_);
  if (verbose_) lines_.push_back(describe(event));
  if (isProblem(event)) lastProblem_ = event;
}

void Diagnostics::flush(std::ostream& err) {
  std::vector<std::string> lines;
  {
    std::lock_guard lock(mutex_);
    lines.swap(lines_);
  }
  for (const auto& line : lines) err << "velmar: " << line << "\n";
}

std::optional<RequestEvent> Diagnostics::lastProblem() const {
  std::lock_guard lock(mutex_);
  return lastProblem_;
}

}  // namespace velmar::cli
