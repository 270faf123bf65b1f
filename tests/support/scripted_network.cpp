#include "support/scripted_network.hpp"

#include <utility>

#include "velmar/main_queue.hpp"

namespace velmar::testing {

void ScriptedNetwork::answer(std::optional<std::int64_t> status, std::optional<std::string> body) {
  status_ = status;
  body_ = std::move(body);
}

void ScriptedNetwork::respond(std::string operation, const http::Request& url,
                              DataCallback result) {
  calls_.push_back({std::move(operation), url});
  std::optional<Bytes> body;
  if (body_) body = Bytes(body_->begin(), body_->end());
  auto run = [this, status = status_, body = std::move(body), result = std::move(result)] {
    inCallback_ = true;
    result(status, body);
    inCallback_ = false;
  };
  if (inline_) {
    run();
  } else {
    MainQueue::main().post(std::move(run));
  }
}

void ScriptedNetwork::logInRequest(const http::Request& url, DataCallback result) {
  respond("logIn", url, std::move(result));
}

void ScriptedNetwork::signUpRequest(const http::Request& url, SignUpCallback result) {
  // Like the HTTP client: any HTTP answer is a success carrying the body, only a transport
  // failure is a failure.
  respond("signUp", url, [result = std::move(result)](auto status, auto body) {
    using ClientResult = Result<std::optional<Bytes>, http::Error>;
    result(status, status ? ClientResult::success(std::move(body))
                          : ClientResult::failure(http::Error{"scripted transport failure"}));
  });
}

void ScriptedNetwork::gameListRequest(const http::Request& url, DataCallback result) {
  respond("gameList", url, std::move(result));
}

void ScriptedNetwork::launchGameRequest(const http::Request& url, DataCallback result) {
  respond("launchGame", url, std::move(result));
}

void ScriptedNetwork::getCurrencyList(const http::Request& url, DataCallback result) {
  respond("currencies", url, std::move(result));
}

void ScriptedNetwork::getBalance(const http::Request& url, DataCallback result) {
  respond("balance", url, std::move(result));
}

}  // namespace velmar::testing
