#pragma once

#include <cstdint>
#include <optional>

#include "velmar/network_provider.hpp"
#include "velmar/types.hpp"

namespace velmar::http {

// What one finished request delivers: the status when an HTTP answer arrived, the body
// bytes the client holds, and success (with the body) or the transport failure.
struct Response {
  std::optional<std::int64_t> statusCode;
  std::optional<Bytes> body;
  Result<std::optional<Bytes>, Error> result = Result<std::optional<Bytes>, Error>::success({});
};

}  // namespace velmar::http
