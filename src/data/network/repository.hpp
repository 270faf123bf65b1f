#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <variant>

#include "data/network/api_environment.hpp"
#include "platform/http_types.hpp"
#include "velmar/types.hpp"

namespace velmar {

// Why a request could not be built; callers only look at the fact of failure.
enum class RepositoryError { invalidURL };

// One API operation, turned into a complete HTTP request by asURLRequest(). A plain value:
// building the same value twice gives equal requests while environment and token stay put.
class Repository {
 public:
  struct LogIn {
    std::string email;
    std::string password;
    friend bool operator==(const LogIn&, const LogIn&) = default;
  };
  struct SignUp {
    nlohmann::json userInformation;
    friend bool operator==(const SignUp&, const SignUp&) = default;
  };
  struct GetGamesList {
    std::int64_t pageNumber = 0;
    friend bool operator==(const GetGamesList&, const GetGamesList&) = default;
  };
  struct LaunchGame {
    nlohmann::json gameInformation;
    friend bool operator==(const LaunchGame&, const LaunchGame&) = default;
  };
  struct GetBalance {
    std::string playerId;
    friend bool operator==(const GetBalance&, const GetBalance&) = default;
  };
  struct GetCurrencies {
    friend bool operator==(const GetCurrencies&, const GetCurrencies&) = default;
  };
  using Case = std::variant<LogIn, SignUp, GetGamesList, LaunchGame, GetBalance, GetCurrencies>;

  static Repository logIn(std::string email, std::string password);
  static Repository signUp(nlohmann::json userInformation);
  static Repository getGamesList(std::int64_t pageNumber);
  static Repository launchGame(nlohmann::json gameInformation);
  static Repository getBalance(std::string playerId);
  static Repository getCurrencies();

  explicit Repository(Case value) : value_(std::move(value)) {}

  // The request for the current environment, with the token stored right now (none when it
  // holds a line break or NUL). Fails, and
  // builds nothing, when the URL text would not parse or a player id would change its shape.
  Result<http::Request, RepositoryError> asURLRequest() const;

  const Case& value() const { return value_; }
  friend bool operator==(const Repository&, const Repository&) = default;

 private:
  Case value_;
};

// True when `playerId` can stand as one path segment exactly as written: only letters, digits
// and "-._~!$&'()*+,;=:@", and not "." or "..". Anything else would change the URL's structure
// or be sent raw by a lenient parser.
bool isSafePathSegment(std::string_view playerId);

}  // namespace velmar
