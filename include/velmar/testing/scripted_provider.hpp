#pragma once

// A `NetworkProvider` that answers from a script, for a host's own tests: put it in place with
// `Velmar::useNetworkProvider` (or a use case's dependencies), script the answers, drive the
// main queue, and look at the requests the SDK sent.
//
//   auto network = std::make_shared<velmar::testing::ScriptedProvider>();
//   network->answer(Operation::logIn, Answer::http(200, R"({"result": {...}})"));
//   velmar::Velmar::instance().useNetworkProvider(network);

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "velmar/network_provider.hpp"

namespace velmar::testing {

/// The six requests the SDK makes.
enum class Operation { logIn, signUp, gameList, launchGame, currencies, balance };

/// "logIn", "signUp", "gameList", "launchGame", "currencies" or "balance".
const char* name(Operation operation);

/// What the provider hands back for one request.
struct Answer {
  /// `status` absent means a transport failure with `failure` as its text.
  Answer(std::optional<std::int64_t> status, std::optional<std::string> body,
         std::string failure = "scripted transport failure")
      : status(status), body(std::move(body)), failure(std::move(failure)) {}
  /// An HTTP answer: any status, 4xx and 5xx included, with `body`.
  static Answer http(std::int64_t status, std::string body = {});
  /// No HTTP answer at all, as when the connection fails.
  static Answer transportFailure(std::string message = "scripted transport failure");

  /// Absent for a transport failure.
  std::optional<std::int64_t> status;
  /// The body bytes, as text; absent for a transport failure.
  std::optional<std::string> body;
  /// The failure's text, when `status` is absent.
  std::string failure;
};

/// One request as the SDK sent it.
struct SentRequest {
  /// Which of the six it was.
  Operation operation;
  /// Method, URL, headers in order, body.
  http::Request request;
  /// The body parsed as JSON; null when there is none.
  nlohmann::json json() const;
};

/// Answers every request from its script. Each operation has a queue of answers used once
/// each, in order, then a standing answer used for every later request. Answers arrive in a
/// main-queue task of their own, like the real provider's, unless requests are held. Use it
/// from the main thread.
class ScriptedProvider : public NetworkProvider {
 public:
  /// How answers reach the SDK.
  enum class Delivery {
    /// In a main-queue task posted when the request arrives (the real provider's way).
    mainQueue,
    /// Kept until `release` or `releaseAll`: the requests stay in flight.
    held,
    /// Before the operation returns, like the canned-answer provider.
    inlineCall,
  };

  /// The standing answer to every later request of `operation`.
  void answer(Operation operation, Answer answer);
  /// The same standing answer for all six operations.
  void answerAll(const Answer& answer);
  /// Queues `answer` for one request of `operation`, after those queued before it.
  void enqueue(Operation operation, Answer answer);
  /// Chooses how later answers are delivered; `mainQueue` at first.
  void setDelivery(Delivery delivery);

  /// Requests held and not yet released.
  std::size_t held() const;
  /// Posts the oldest held request's answer to the main queue; false when none is held.
  bool release();
  /// Posts every held answer, oldest first.
  void releaseAll();

  /// Called with each request as it arrives, before it is answered.
  void onRequest(std::function<void(const SentRequest&)> hook);
  /// Every request received, in order.
  const std::vector<SentRequest>& requests() const;
  /// The requests of one operation, in order.
  std::vector<SentRequest> requests(Operation operation) const;
  /// Requests that found neither a queued nor a standing answer (they got a transport failure).
  const std::vector<SentRequest>& unscripted() const;
  /// True while one of this provider's answers is being handed to the SDK.
  bool inCallback() const;

  void logInRequest(const http::Request& url, DataCallback result) override;
  void signUpRequest(const http::Request& url, SignUpCallback result) override;
  void gameListRequest(const http::Request& url, DataCallback result) override;
  void launchGameRequest(const http::Request& url, DataCallback result) override;
  void getCurrencyList(const http::Request& url, DataCallback result) override;
  void getBalance(const http::Request& url, DataCallback result) override;

 private:
  using Deliver = std::function<void(const Answer&)>;
  struct Pending {
    Answer answer;
    Deliver deliver;
  };

  void respond(Operation operation, const http::Request& request, Deliver deliver);
  Answer next(const SentRequest& request);

  std::map<Operation, std::deque<Answer>> queued_;
  std::map<Operation, Answer> standing_;
  Delivery delivery_ = Delivery::mainQueue;
  std::deque<Pending> held_;
  std::function<void(const SentRequest&)> hook_;
  std::vector<SentRequest> requests_;
  std::vector<SentRequest> unscripted_;
  std::shared_ptr<bool> inCallback_ = std::make_shared<bool>(false);
};

}  // namespace velmar::testing
