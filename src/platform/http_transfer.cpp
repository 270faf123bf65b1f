// Prepares one transfer's easy handle (URL, method, body, headers, TLS, routes, timeouts),
// keeps its body within the cap and turns its end into a Response.

#include "platform/http_transfer.hpp"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>
#include <utility>

namespace velmar::http {
namespace {

// Appends to a curl list; false when libcurl could not allocate.
bool append(SlistPtr& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (grown == nullptr) return false;
  (void)list.release();
  list.reset(grown);
  return true;
}

bool hasHeader(const Request& request, std::string_view name) {
  return std::any_of(request.headers.begin(), request.headers.end(), [&](const auto& field) {
    return std::equal(
        field.first.begin(), field.first.end(), name.begin(), name.end(),
        [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
  });
}

RequestEvent::Failure failureOf(CURLcode code, bool overCap) {
  using Failure = RequestEvent::Failure;
  if (overCap || code == CURLE_FILESIZE_EXCEEDED) return Failure::tooLarge;
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return Failure::resolve;
    case CURLE_COULDNT_CONNECT:
      return Failure::connect;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
      return Failure::tls;
    case CURLE_OPERATION_TIMEDOUT:
      return Failure::timeout;
    default:
      return Failure::other;
  }
}

std::string httpVersionOf(long version) {
  switch (version) {
    case CURL_HTTP_VERSION_1_0:
      return "1.0";
    case CURL_HTTP_VERSION_1_1:
      return "1.1";
    case CURL_HTTP_VERSION_2_0:
      return "2";
    case CURL_HTTP_VERSION_3:
      return "3";
    default:
      return "";
  }
}

// "/path?query" of an absolute URL: the authority, which may carry user information, and the
// fragment stay out of diagnostics.
std::string pathOf(const std::string& url) {
  const auto scheme = url.find("://");
  const auto start = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (start == std::string::npos) return "/";
  return url.substr(start, url.find('#', start) - start);
}

}  // namespace

Response transportFailure(std::string message) {
  Response response;
  response.failure = Error{std::move(message)};
  return response;
}

std::size_t Transfer::onBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& self = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  const std::size_t maxBytes = self.config->maxResponseBytes;
  if (length > maxBytes - self.body.size()) {
    self.overCap = true;
    return 0;  // anything but `length` ends the transfer with a write error
  }
  if (self.body.empty()) self.reserveAnnounced(length, maxBytes);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
  self.body.insert(self.body.end(), bytes, bytes + length);
  return length;
}

// One allocation for a body whose length was announced (already known to be within the cap).
// A first decoded piece longer than that means the body came compressed: the announced length
// is only its size on the wire, so the buffer grows as usual.
void Transfer::reserveAnnounced(std::size_t firstPiece, std::size_t maxBytes) {
  curl_off_t announced = -1;
  if (curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
      announced > 0 && static_cast<std::uint64_t>(announced) <= maxBytes &&
      firstPiece <= static_cast<std::size_t>(announced)) {
    body.reserve(static_cast<std::size_t>(announced));
  }
}

bool Transfer::prepare(EasyPtr handle) {
  easy = std::move(handle);
  CURL* h = easy.get();
  const SessionConfiguration& c = *config;
  bool ok = curl_easy_setopt(h, CURLOPT_URL, request.url.c_str()) == CURLE_OK;
  curl_easy_setopt(h, CURLOPT_PRIVATE, this);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error.data());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
  // Requests made while a connection is being set up wait for it: over HTTP/2 they then
  // share it instead of each opening their own.
  curl_easy_setopt(h, CURLOPT_PIPEWAIT, 1L);
  // Every encoding this libcurl can decode is offered; bodies arrive decoded, so the cap in
  // onBody holds for the decoded size and a small compressed bomb cannot grow past it.
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (c.caBundleFile) curl_easy_setopt(h, CURLOPT_CAINFO, c.caBundleFile->c_str());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
  // Refuses early when the announced length is already over the cap.
  const auto announcedCap = std::min<std::size_t>(
      c.maxResponseBytes, static_cast<std::size_t>(std::numeric_limits<curl_off_t>::max()));
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(announcedCap));
  const auto timeout = c.timeoutOverride.value_or(request.timeout);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
  if (c.connectTimeout) {
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(c.connectTimeout->count()));
  }
  for (const auto& route : c.connectTo) ok = ok && append(routes, route);
  if (routes) curl_easy_setopt(h, CURLOPT_CONNECT_TO, routes.get());
  ok = ok && setMethodAndBody(h) && setHeaders(h);
  return ok;
}

bool Transfer::setMethodAndBody(CURL* h) {
  if (request.method == "GET" && !request.body) {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    return true;
  }
  if (request.method != "POST") curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  static constexpr char kEmpty[] = "";
  const auto* data = request.body && !request.body->empty()
                         ? reinterpret_cast<const char*>(request.body->data())
                         : kEmpty;
  const auto size = request.body ? static_cast<curl_off_t>(request.body->size()) : 0;
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, size);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, data);
  return true;
}

// Only the request's own fields go out: libcurl's defaults are switched off.
bool Transfer::setHeaders(CURL* h) {
  bool ok = true;
  for (const auto& [name, value] : request.headers) {
    // A line break would let a stored value smuggle extra header lines onto the wire.
    if ((name + value).find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
      return false;
    }
    // "Name:" would remove the header; "Name;" is libcurl's way to send it empty.
    ok = ok && append(headers, value.empty() ? name + ";" : name + ": " + value);
  }
  if (!hasHeader(request, "Accept")) ok = ok && append(headers, "Accept:");
  if (!hasHeader(request, "Expect")) ok = ok && append(headers, "Expect:");
  if (request.body && !hasHeader(request, "Content-Type")) {
    ok = ok && append(headers, "Content-Type:");
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  return ok;
}

// libcurl reports an HTTP/2 stream whose connection the server closed right after the answer
// (nginx at its per-connection request limit) as not closed cleanly, though the whole answer
// is there. It is complete when all of its announced length arrived; without one, the body is
// kept and decoding decides, since a cut JSON document never decodes.
bool Transfer::answeredBeforeClose(CURLcode code) const {
  if (overCap) return false;
  if (code != CURLE_HTTP2_STREAM && code != CURLE_HTTP2 && code != CURLE_PARTIAL_FILE) {
    return false;
  }
  long status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  curl_off_t announced = -1;
  curl_off_t received = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  curl_easy_getinfo(easy.get(), CURLINFO_SIZE_DOWNLOAD_T, &received);
  return status != 0 && (announced < 0 || announced == received);
}

Response Transfer::response(CURLcode code) {
  if (answeredBeforeClose(code)) code = CURLE_OK;
  if (code != CURLE_OK) {
    std::string message = overCap ? "response body exceeds the configured limit"
                                  : std::string(curl_easy_strerror(code));
    if (!overCap && error[0] != '\0') message += std::string(": ") + error.data();
    return transportFailure(std::move(message));
  }
  long status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  if (status == 0) return transportFailure("no HTTP response");
  Response result;
  result.statusCode = status;
  if (!body.empty()) result.body = std::move(body);
  return result;
}

void Transfer::reportEnd(const Response& response, CURLcode code) const {
  if (!config->onRequestEnded) return;
  RequestEvent event;
  event.method = request.method;
  event.path = pathOf(request.url);
  event.status = response.statusCode;
  if (response.failure) {
    event.failure = failureOf(code, overCap);
    event.error = response.failure->message;
  }
  if (easy) {
    long version = 0;
    if (response.statusCode &&
        curl_easy_getinfo(easy.get(), CURLINFO_HTTP_VERSION, &version) == CURLE_OK) {
      event.httpVersion = httpVersionOf(version);
    }
    curl_off_t micros = 0;
    if (curl_easy_getinfo(easy.get(), CURLINFO_TOTAL_TIME_T, &micros) == CURLE_OK) {
      event.duration = std::chrono::microseconds(micros);
    }
    long osError = 0;
    if (!event.error.empty() &&
        curl_easy_getinfo(easy.get(), CURLINFO_OS_ERRNO, &osError) == CURLE_OK && osError != 0) {
      event.error += " (" + std::generic_category().message(static_cast<int>(osError)) + ")";
    }
    curl_off_t received = 0;
    if (curl_easy_getinfo(easy.get(), CURLINFO_SIZE_DOWNLOAD_T, &received) == CURLE_OK) {
      event.bytesReceived = static_cast<std::uint64_t>(received);
    }
  }
  config->onRequestEnded(event);
}

}  // namespace velmar::http
