#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "velmar/export.hpp"

namespace velmar {

/// One request after it ended, for a host's diagnostics. It never carries a header value, a
/// body or a token.
struct RequestEvent {
  /// Why no HTTP answer came.
  enum class Failure {
    none,      ///< an answer came (whatever its status)
    resolve,   ///< the host name did not resolve
    connect,   ///< no connection could be made
    tls,       ///< the TLS handshake failed or the server's certificate was not trusted
    timeout,   ///< the request ran out of time
    tooLarge,  ///< the answer exceeded `SessionConfiguration::maxResponseBytes`
    other,     ///< any other transport failure
  };

  /// "GET" or "POST".
  std::string method;
  /// The URL's path and query ("/list_games?page=1&per_page=50"); no scheme, host or fragment.
  std::string path;
  /// "1.0", "1.1", "2" or "3"; empty when no answer came.
  std::string httpVersion;
  /// The HTTP status; absent when no answer came.
  std::optional<std::int64_t> status;
  /// Why no answer came; `none` when one did.
  Failure failure = Failure::none;
  /// The transport failure's text; empty when an answer came.
  std::string error;
  /// From the start of the transfer to its end.
  std::chrono::microseconds duration{0};
  /// Body bytes received, as they crossed the network.
  std::uint64_t bytesReceived = 0;
};

/// How the SDK's HTTP client reaches the servers. Set it before the first request; a later
/// change applies to requests started after it. TLS peer and host verification is always on.
struct SessionConfiguration {
  /// PEM file of the certificate authorities to trust instead of the system's bundle.
  std::optional<std::string> caBundleFile;
  /// Routes in curl's `--connect-to` form "HOST:PORT:TO_HOST:TO_PORT": a request for
  /// HOST:PORT connects to TO_HOST:TO_PORT while its URL, Host header and TLS name stay the same.
  std::vector<std::string> connectTo;
  /// The largest response body accepted; a larger one ends the request as a transport failure.
  std::size_t maxResponseBytes = std::size_t{64} * 1024 * 1024;
  /// Limit on establishing a connection; absent keeps the client's default.
  std::optional<std::chrono::milliseconds> connectTimeout;
  /// Replaces every request's own timeout when present (tools and tests that cannot wait 60 s).
  std::optional<std::chrono::milliseconds> timeoutOverride;
  /// Called once per request after it ends, on the SDK's I/O thread and before its outcome
  /// reaches the main queue: keep it short and thread-safe. Empty (the default): no events.
  std::function<void(const RequestEvent&)> onRequestEnded;
};

/// Installs `config` for every request started from now on.
VELMAR_EXPORT void configureSession(SessionConfiguration config);

/// The configuration in force.
VELMAR_EXPORT SessionConfiguration sessionConfiguration();

}  // namespace velmar
