#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "velmar/export.hpp"

namespace velmar {

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
};

/// Installs `config` for every request started from now on.
VELMAR_EXPORT void configureSession(SessionConfiguration config);

/// The configuration in force.
VELMAR_EXPORT SessionConfiguration sessionConfiguration();

}  // namespace velmar
