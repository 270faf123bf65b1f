#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "velmar/types.hpp"

namespace velmar::http {

enum class CachePolicy { useProtocolCachePolicy };

// One request as the SDK sends it: nothing is added on the wire beyond these fields and
// what HTTP itself needs (Host, Content-Length).
struct Request {
  std::string method;  // "GET", "POST"
  std::string url;     // absolute, already validated
  std::vector<std::pair<std::string, std::string>> headers;  // in the order they are sent
  std::optional<Bytes> body;
  CachePolicy cachePolicy = CachePolicy::useProtocolCachePolicy;
  std::chrono::milliseconds timeout{std::chrono::seconds(60)};

  friend bool operator==(const Request&, const Request&) = default;
};

// A transport-level failure: no connection, timeout, TLS, a body over the size cap.
struct Error {
  std::string message;
  friend bool operator==(const Error&, const Error&) = default;
};

// What one finished request delivers: the status when an HTTP answer arrived, the body
// bytes the client holds, and success (with the body) or the transport failure.
struct Response {
  std::optional<std::int64_t> statusCode;
  std::optional<Bytes> body;
  Result<std::optional<Bytes>, Error> result = Result<std::optional<Bytes>, Error>::success({});
};

}  // namespace velmar::http
