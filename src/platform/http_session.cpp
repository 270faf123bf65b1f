#include "platform/http_session.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/adaptive_spin.hpp"
#include "platform/work_in_flight.hpp"
#include "velmar/main_queue.hpp"
#include "velmar/session_configuration.hpp"

namespace velmar {
namespace {

using ConfigurationPtr = std::shared_ptr<const SessionConfiguration>;

std::mutex& configurationMutex() {
  static NoDestructor<std::mutex> mutex;
  return mutex.value;
}

// Replaced whole, never changed in place: a request holds the snapshot it started with
// without copying its strings.
ConfigurationPtr& configurationSlot() {
  static NoDestructor<ConfigurationPtr> config(std::make_shared<const SessionConfiguration>());
  return config.value;
}

ConfigurationPtr currentConfiguration() {
  std::lock_guard lock(configurationMutex());
  return configurationSlot();
}

}  // namespace

void configureSession(SessionConfiguration config) {
  auto next = std::make_shared<const SessionConfiguration>(std::move(config));
  std::lock_guard lock(configurationMutex());
  configurationSlot().swap(next);
}

SessionConfiguration sessionConfiguration() { return *currentConfiguration(); }

namespace http {
namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;

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

Response transportFailure(std::string message) {
  Response response;
  response.result = Result<std::optional<Bytes>, Error>::failure(Error{std::move(message)});
  return response;
}

}  // namespace

// Everything one request needs while libcurl owns it; freed on the I/O thread when done.
struct Transfer {
  Request request;  // owns the body libcurl sends from
  Session::Completion completion;
  ConfigurationPtr config;  // as it was when the request was made
  EasyPtr easy;
  SlistPtr headers;
  SlistPtr routes;
  Bytes body;
  bool overCap = false;
  std::array<char, CURL_ERROR_SIZE> error{};

  static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& self = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    const std::size_t maxBytes = self.config->maxResponseBytes;
    if (length > maxBytes - self.body.size()) {
      self.overCap = true;
      return 0;  // anything but `length` ends the transfer with a write error
    }
    if (self.body.empty()) self.reserveAnnounced(maxBytes);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    self.body.insert(self.body.end(), bytes, bytes + length);
    return length;
  }

  // One allocation for a body whose length was announced (already known to be within the cap).
  void reserveAnnounced(std::size_t maxBytes) {
    curl_off_t announced = -1;
    if (curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
        announced > 0 && static_cast<std::uint64_t>(announced) <= maxBytes) {
      body.reserve(static_cast<std::size_t>(announced));
    }
  }

  // Applies the request and its configuration to `handle`, a fresh or reset easy handle.
  bool prepare(EasyPtr handle) {
    easy = std::move(handle);
    CURL* h = easy.get();
    const SessionConfiguration& c = *config;
    bool ok = curl_easy_setopt(h, CURLOPT_URL, request.url.c_str()) == CURLE_OK;
    curl_easy_setopt(h, CURLOPT_PRIVATE, this);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error.data());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
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

  bool setMethodAndBody(CURL* h) {
    if (request.method == "GET" && !request.body) {
      curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
      return true;
    }
    if (request.method != "POST")
      curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
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
  bool setHeaders(CURL* h) {
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

  Response response(CURLcode code) {
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
    result.result = Result<std::optional<Bytes>, Error>::success(result.body);
    return result;
  }
};

// Owns the multi handle and the I/O thread. Other threads only touch `incoming_` (under
// the lock) and call curl_multi_wakeup; the I/O thread alone prepares and drives the
// transfers and keeps the pool of easy handles.
class Session::Engine {
 public:
  // libcurl's global set-up runs here, once, before any handle exists or the thread starts.
  void ensureStarted() {
    std::call_once(started_, [this] { start(); });
  }

  void submit(std::unique_ptr<Transfer> transfer) {
    if (!multi_) {
      complete(std::move(transfer), transportFailure("HTTP client unavailable"));
      return;
    }
    {
      std::lock_guard lock(mutex_);
      incoming_.push_back(std::move(transfer));
      hasIncoming_ = true;
    }
    // A spinning I/O thread sees the flag itself; it checks again after it stops spinning,
    // so skipping the wake-up cannot strand the request.
    if (!spinning_) curl_multi_wakeup(multi_.get());
  }

  // Posts the completion and releases the work count in one step, so an idle wait sees the
  // task as soon as the request stops counting.
  static void complete(std::unique_ptr<Transfer> transfer, Response response) {
    internal::WorkInFlight::postEnding(
        MainQueue::main(),
        [completion = std::move(transfer->completion), response = std::move(response)]() mutable {
          completion(std::move(response));
        });
  }

 private:
  void start() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return;
    multi_.reset(curl_multi_init());
    if (!multi_) return;
    // Detached: the engine is never destroyed, and the thread must never hold up exit.
    std::thread([this] { run(); }).detach();
  }

  void run() {
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> active;
    CURLM* multi = multi_.get();
    for (;;) {
      adoptIncoming(active);
      bool completed = false;
      int running = 0;
      curl_multi_perform(multi, &running);
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg != CURLMSG_DONE) continue;
        CURL* easy = message->easy_handle;
        const CURLcode code = message->data.result;
        curl_multi_remove_handle(multi, easy);
        auto found = active.find(easy);
        if (found == active.end()) continue;
        auto transfer = std::move(found->second);
        active.erase(found);
        Response response = transfer->response(code);
        recycle(std::move(transfer->easy));
        complete(std::move(transfer), std::move(response));
        completed = true;
      }
      // Right after a completion the caller often sends its next request within
      // microseconds; wait for it on the CPU rather than in poll().
      if (completed && active.empty()) awaitIncoming();
      if (!hasIncoming_) curl_multi_poll(multi, nullptr, 0, kIdlePollMs, nullptr);
      learnIdleWait();
    }
  }

  void awaitIncoming() {
    idleSince_ = AdaptiveSpin::Clock::now();
    spinning_ = true;
    const bool arrived = spin_.spin([this] { return hasIncoming_.load(); });
    spinning_ = false;
    if (arrived) finishIdleWait();
  }

  // Teaches the spin how long the idle gap after a completion lasted, once work arrives.
  void learnIdleWait() {
    if (idleSince_ && hasIncoming_) finishIdleWait();
  }

  void finishIdleWait() {
    spin_.learn(AdaptiveSpin::Clock::now() - *idleSince_);
    idleSince_.reset();
  }

  void adoptIncoming(std::unordered_map<CURL*, std::unique_ptr<Transfer>>& active) {
    {
      std::lock_guard lock(mutex_);
      if (incoming_.empty()) return;
      batch_.swap(incoming_);
      hasIncoming_ = false;
    }
    for (auto& transfer : batch_) {
      EasyPtr easy = takeHandle();
      if (!easy) {
        complete(std::move(transfer), transportFailure("could not start the request"));
        continue;
      }
      if (!transfer->prepare(std::move(easy))) {
        recycle(std::move(transfer->easy));
        complete(std::move(transfer), transportFailure("invalid request"));
        continue;
      }
      CURL* handle = transfer->easy.get();
      if (curl_multi_add_handle(multi_.get(), handle) != CURLM_OK) {
        recycle(std::move(transfer->easy));
        complete(std::move(transfer), transportFailure("could not start the request"));
        continue;
      }
      active.emplace(handle, std::move(transfer));
    }
    batch_.clear();
  }

  // A pooled handle (reset when it came back) or a new one; null when libcurl cannot allocate.
  EasyPtr takeHandle() {
    if (pool_.empty()) return EasyPtr(curl_easy_init());
    EasyPtr easy = std::move(pool_.back());
    pool_.pop_back();
    return easy;
  }

  // Keeps a finished handle for the next request: a reset handle skips the set-up and
  // buffers of a new one. Reset here, while the transfer that pointed it at its own
  // buffers and lists still exists.
  void recycle(EasyPtr easy) {
    if (!easy || pool_.size() >= kPoolSize) return;
    curl_easy_reset(easy.get());
    pool_.push_back(std::move(easy));
  }

  static constexpr int kIdlePollMs = 1000;
  // Enough for a burst of concurrent requests to find warm handles the next time.
  static constexpr std::size_t kPoolSize = 64;

  std::once_flag started_;
  MultiPtr multi_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Transfer>> incoming_;
  std::atomic<bool> hasIncoming_{false};  // set with `incoming_`, read without the lock
  std::atomic<bool> spinning_{false};     // the I/O thread is watching `hasIncoming_`
  // I/O thread only.
  AdaptiveSpin spin_;
  std::optional<AdaptiveSpin::Clock::time_point> idleSince_;
  std::vector<std::unique_ptr<Transfer>> batch_;
  std::vector<EasyPtr> pool_;
};

Session& Session::shared() {
  static NoDestructor<Session> session;
  return session.value;
}

Session::Session() : engine_(std::make_unique<Engine>()) {}
Session::~Session() = default;

void Session::request(Request request, Completion completion) {
  internal::WorkInFlight::begin(MainQueue::main());
  engine_->ensureStarted();
  auto transfer = std::make_unique<Transfer>();
  transfer->request = std::move(request);
  transfer->completion = std::move(completion);
  transfer->config = currentConfiguration();
  engine_->submit(std::move(transfer));
}

}  // namespace http
}  // namespace velmar
