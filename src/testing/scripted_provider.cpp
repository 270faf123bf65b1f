#include "velmar/testing/scripted_provider.hpp"

#include <utility>

#include "velmar/main_queue.hpp"

namespace velmar::testing {
namespace {

std::optional<Bytes> bytes(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return Bytes(text->begin(), text->end());
}

}  // namespace

const char* name(Operation operation) {
  switch (operation) {
    case Operation::logIn:
      return "logIn";
    case Operation::signUp:
      return "signUp";
    case Operation::gameList:
      return "gameList";
    case Operation::launchGame:
      return "launchGame";
    case Operation::currencies:
      return "currencies";
    case Operation::balance:
      return "balance";
  }
  return "";
}

Answer Answer::http(std::int64_t status, std::string body) {
  return Answer(status, std::move(body));
}

Answer Answer::transportFailure(std::string message) {
  return Answer(std::nullopt, std::nullopt, std::move(message));
}

nlohmann::json SentRequest::json() const {
  if (!request.body) return nullptr;
  return nlohmann::json::parse(request.body->begin(), request.body->end());
}

void ScriptedProvider::answer(Operation operation, Answer answer) {
  standing_.insert_or_assign(operation, std::move(answer));
}

void ScriptedProvider::answerAll(const Answer& answer) {
  for (auto operation : {Operation::logIn, Operation::signUp, Operation::gameList,
                         Operation::launchGame, Operation::currencies, Operation::balance}) {
    standing_.insert_or_assign(operation, answer);
  }
}

void ScriptedProvider::enqueue(Operation operation, Answer answer) {
  queued_[operation].push_back(std::move(answer));
}

void ScriptedProvider::setDelivery(Delivery delivery) { delivery_ = delivery; }

std::size_t ScriptedProvider::held() const { return held_.size(); }

bool ScriptedProvider::release() {
  if (held_.empty()) return false;
  Pending pending = std::move(held_.front());
  held_.pop_front();
  MainQueue::main().post([pending = std::move(pending), flag = inCallback_] {
    *flag = true;
    pending.deliver(pending.answer);
    *flag = false;
  });
  return true;
}

void ScriptedProvider::releaseAll() {
  while (release()) {
  }
}

void ScriptedProvider::onRequest(std::function<void(const SentRequest&)> hook) {
  hook_ = std::move(hook);
}

const std::vector<SentRequest>& ScriptedProvider::requests() const { return requests_; }

std::vector<SentRequest> ScriptedProvider::requests(Operation operation) const {
  std::vector<SentRequest> out;
  for (const auto& request : requests_) {
    if (request.operation == operation) out.push_back(request);
  }
  return out;
}

const std::vector<SentRequest>& ScriptedProvider::unscripted() const { return unscripted_; }

bool ScriptedProvider::inCallback() const { return *inCallback_; }

Answer ScriptedProvider::next(const SentRequest& request) {
  auto& queue = queued_[request.operation];
  if (!queue.empty()) {
    Answer answer = std::move(queue.front());
    queue.pop_front();
    return answer;
  }
  if (auto found = standing_.find(request.operation); found != standing_.end()) {
    return found->second;
  }
  unscripted_.push_back(request);
  return Answer::transportFailure(std::string("no answer scripted for ") +
                                  name(request.operation));
}

void ScriptedProvider::respond(Operation operation, const http::Request& request,
                               Deliver deliver) {
  requests_.push_back({operation, request});
  if (hook_) hook_(requests_.back());
  Pending pending{next(requests_.back()), std::move(deliver)};
  switch (delivery_) {
    case Delivery::held:
      held_.push_back(std::move(pending));
      return;
    case Delivery::inlineCall:
      *inCallback_ = true;
      pending.deliver(pending.answer);
      *inCallback_ = false;
      return;
    case Delivery::mainQueue:
      held_.push_back(std::move(pending));
      release();
      return;
  }
}

namespace {

// The answer as the five plain operations hand it on.
auto plain(DataCallback result) {
  return [result = std::move(result)](const Answer& answer) {
    result(answer.status, bytes(answer.body));
  };
}

}  // namespace

void ScriptedProvider::logInRequest(const http::Request& url, DataCallback result) {
  respond(Operation::logIn, url, plain(std::move(result)));
}

void ScriptedProvider::signUpRequest(const http::Request& url, SignUpCallback result) {
  // As with the real client, any HTTP answer is a success carrying its body.
  respond(Operation::signUp, url, [result = std::move(result)](const Answer& answer) {
    using ClientResult = Result<std::optional<Bytes>, http::Error>;
    result(answer.status, answer.status ? ClientResult::success(bytes(answer.body))
                                        : ClientResult::failure(http::Error{answer.failure}));
  });
}

void ScriptedProvider::gameListRequest(const http::Request& url, DataCallback result) {
  respond(Operation::gameList, url, plain(std::move(result)));
}

void ScriptedProvider::launchGameRequest(const http::Request& url, DataCallback result) {
  respond(Operation::launchGame, url, plain(std::move(result)));
}

void ScriptedProvider::getCurrencyList(const http::Request& url, DataCallback result) {
  respond(Operation::currencies, url, plain(std::move(result)));
}

void ScriptedProvider::getBalance(const http::Request& url, DataCallback result) {
  respond(Operation::balance, url, plain(std::move(result)));
}

}  // namespace velmar::testing
