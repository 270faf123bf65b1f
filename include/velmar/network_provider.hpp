#pragma once

// The seam between the SDK and an HTTP stack: hosts implement `NetworkProvider` to bring
// their own client (a proxy, certificate pinning) or a fake, and put it in place with
// `Velmar::useNetworkProvider`.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "velmar/export.hpp"
#include "velmar/types.hpp"

namespace velmar::http {

/// How a request may use cached answers; the SDK always leaves it to the protocol.
enum class CachePolicy { useProtocolCachePolicy };

/// One request as the SDK sends it: nothing goes on the wire beyond these fields and what
/// HTTP itself needs (Host, Content-Length).
struct Request {
  /// "GET" or "POST".
  std::string method;
  /// Absolute and already validated.
  std::string url;
  /// Header fields in the order they are sent.
  std::vector<std::pair<std::string, std::string>> headers;
  /// The JSON body of a POST; absent for a GET.
  std::optional<Bytes> body;
  /// Always `useProtocolCachePolicy`.
  CachePolicy cachePolicy = CachePolicy::useProtocolCachePolicy;
  /// How long the whole exchange may take.
  std::chrono::milliseconds timeout{std::chrono::seconds(60)};

  friend bool operator==(const Request&, const Request&) = default;
};

/// A transport failure: no connection, a timeout, TLS refused, a body over the size cap.
struct Error {
  /// What went wrong, for people; never a header value or a body.
  std::string message;
  friend bool operator==(const Error&, const Error&) = default;
};

}  // namespace velmar::http

namespace velmar {

/// An answer: the HTTP status when one arrived (absent after a transport failure) and the
/// body bytes received.
using DataCallback =
    std::function<void(std::optional<std::int64_t> statusCode, std::optional<Bytes> body)>;
/// The sign-up answer also says how the exchange ended: success with the body for any HTTP
/// answer, whatever its status, or the transport failure.
using SignUpCallback = std::function<void(std::optional<std::int64_t> statusCode,
                                          Result<std::optional<Bytes>, http::Error> result)>;

/// Sends ready-built requests and hands back what came back, without interpreting it: a 4xx
/// or 5xx is an answer like any other. Each operation calls its callback exactly once, on the
/// main queue (`MainQueue::post`), never inside the call itself. Used from the main thread.
class VELMAR_EXPORT NetworkProvider {
 public:
  virtual ~NetworkProvider();
  /// POST /login.
  virtual void logInRequest(const http::Request& url, DataCallback result) = 0;
  /// POST /players.
  virtual void signUpRequest(const http::Request& url, SignUpCallback result) = 0;
  /// GET /list_games with the page in the query.
  virtual void gameListRequest(const http::Request& url, DataCallback result) = 0;
  /// POST /launch_game.
  virtual void launchGameRequest(const http::Request& url, DataCallback result) = 0;
  /// GET /currencies.
  virtual void getCurrencyList(const http::Request& url, DataCallback result) = 0;
  /// GET /balances/player/{player id}.
  virtual void getBalance(const http::Request& url, DataCallback result) = 0;
};

}  // namespace velmar
