#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "velmar/network_provider.hpp"
#include "velmar/types.hpp"

namespace velmar::http {

// What one finished request delivers: the status when an HTTP answer arrived, the body
// bytes the client holds, and the transport failure if there was one. The body is held
// once; the client's result value is made from it on demand.
struct Response {
  std::optional<std::int64_t> statusCode;
  std::optional<Bytes> body;
  std::optional<Error> failure;

  // Success with the body (moved out), or the transport failure.
  Result<std::optional<Bytes>, Error> takeResult() && {
    using ClientResult = Result<std::optional<Bytes>, Error>;
    if (failure) return ClientResult::failure(std::move(*failure));
    return ClientResult::success(std::move(body));
  }
};

}  // namespace velmar::http
