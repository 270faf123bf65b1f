// The HTTP client's I/O engine: the thread and multi handle that drive every transfer, the
// locked hand-off from other threads, and each completion's delivery to the main queue.

#include "platform/http_session.hpp"

#include <curl/curl.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/adaptive_spin.hpp"
#include "platform/http_configuration.hpp"
#include "platform/http_transfer.hpp"
#include "platform/work_in_flight.hpp"
#include "velmar/main_queue.hpp"

namespace velmar::http {
namespace {

struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;

}  // namespace

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
      fail(std::move(transfer), "HTTP client unavailable");
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
        transfer->reportEnd(response, code);
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
        fail(std::move(transfer), "could not start the request");
        continue;
      }
      if (!transfer->prepare(std::move(easy))) {
        fail(std::move(transfer), "invalid request");
        continue;
      }
      CURL* handle = transfer->easy.get();
      if (curl_multi_add_handle(multi_.get(), handle) != CURLM_OK) {
        fail(std::move(transfer), "could not start the request");
        continue;
      }
      active.emplace(handle, std::move(transfer));
    }
    batch_.clear();
  }

  // Ends a transfer that never went out.
  void fail(std::unique_ptr<Transfer> transfer, std::string message) {
    Response response = transportFailure(std::move(message));
    transfer->reportEnd(response, CURLE_FAILED_INIT);
    recycle(std::move(transfer->easy));
    complete(std::move(transfer), std::move(response));
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

}  // namespace velmar::http
