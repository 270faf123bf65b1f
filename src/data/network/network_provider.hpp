#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/http_types.hpp"

namespace velmar {

// (status code when an HTTP answer arrived, body bytes).
using DataCallback =
    std::function<void(std::optional<std::int64_t> statusCode, std::optional<Bytes> body)>;
// (status code, the client's result: success with the body, or the transport failure).
using SignUpCallback = std::function<void(std::optional<std::int64_t> statusCode,
                                          Result<std::optional<Bytes>, http::Error> result)>;

// The seam between the services and the HTTP client: sends a ready-built request and hands
// back what came back, without interpreting it. One callback per call.
class NetworkProvider {
 public:
  virtual ~NetworkProvider() = default;
  virtual void logInRequest(const http::Request& url, DataCallback result) = 0;
  virtual void signUpRequest(const http::Request& url, SignUpCallback result) = 0;
  virtual void gameListRequest(const http::Request& url, DataCallback result) = 0;
  virtual void launchGameRequest(const http::Request& url, DataCallback result) = 0;
  virtual void getCurrencyList(const http::Request& url, DataCallback result) = 0;
  virtual void getBalance(const http::Request& url, DataCallback result) = 0;
};

}  // namespace velmar
