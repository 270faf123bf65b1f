#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/network/network_provider.hpp"

namespace velmar::testing {

// A NetworkProvider that answers from a script instead of the network, and remembers what
// it was asked. Like the HTTP provider it answers in a main-queue task of its own unless
// `inline` is set, in which case it calls back before returning (as the canned provider does).
class ScriptedNetwork : public NetworkProvider {
 public:
  struct Call {
    std::string operation;
    http::Request request;
  };

  // The answer to every later call: status (absent = transport failure) and body.
  void answer(std::optional<std::int64_t> status, std::optional<std::string> body);
  void answerInline(bool answerInline) { inline_ = answerInline; }

  const std::vector<Call>& calls() const { return calls_; }
  // True while one of this provider's callbacks is running.
  bool inCallback() const { return inCallback_; }

  void logInRequest(const http::Request& url, DataCallback result) override;
  void signUpRequest(const http::Request& url, SignUpCallback result) override;
  void gameListRequest(const http::Request& url, DataCallback result) override;
  void launchGameRequest(const http::Request& url, DataCallback result) override;
  void getCurrencyList(const http::Request& url, DataCallback result) override;
  void getBalance(const http::Request& url, DataCallback result) override;

 private:
  void respond(std::string operation, const http::Request& url, DataCallback result);

  std::optional<std::int64_t> status_ = 200;
  std::optional<std::string> body_;
  bool inline_ = false;
  bool inCallback_ = false;
  std::vector<Call> calls_;
};

}  // namespace velmar::testing
