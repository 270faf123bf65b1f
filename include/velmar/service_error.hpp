#pragma once

// The errors of the SDK's four services, below the use-case errors a host sees.

#include <exception>
#include <string>
#include <utility>

namespace velmar {

/// The five-case error of the services, as a status mapper produces it. Each service has its
/// own type (the tag), so a log-in failure can never pass for a game failure.
template <typename Tag>
class ServiceError : public std::exception {
 public:
  /// The five cases.
  enum class Case { createURLError, serverError, notFound, invalidCredencials, weakSelfError };

  /// The request could not be built, or no answer came (the text says which).
  static ServiceError createURLError(std::string message) {
    return ServiceError(Case::createURLError, std::move(message));
  }
  /// The server answered with a failing status, carried as text.
  static ServiceError serverError(std::string message) {
    return ServiceError(Case::serverError, std::move(message));
  }
  /// Nothing was found.
  static ServiceError notFound() { return ServiceError(Case::notFound, {}); }
  /// The server refused the credentials or the token.
  static ServiceError invalidCredencials() { return ServiceError(Case::invalidCredencials, {}); }
  /// The object that made the request was gone.
  static ServiceError weakSelfError() { return ServiceError(Case::weakSelfError, {}); }

  /// Which of the five cases this is.
  Case kind() const { return case_; }
  /// The text of createURLError and serverError; empty for the other cases.
  const std::string& message() const { return message_; }
  /// "<Service>Error.<case>", with the text in parentheses where there is one.
  const char* what() const noexcept override { return description_.c_str(); }

  /// Same case and same text.
  friend bool operator==(const ServiceError& a, const ServiceError& b) {
    return a.case_ == b.case_ && a.message_ == b.message_;
  }

 private:
  ServiceError(Case kind, std::string message)
      : case_(kind), message_(std::move(message)), description_(describe()) {}

  std::string describe() const {
    std::string text = std::string(Tag::kName) + ".";
    switch (case_) {
      case Case::createURLError:
        return text + "createURLError(\"" + message_ + "\")";
      case Case::serverError:
        return text + "serverError(\"" + message_ + "\")";
      case Case::notFound:
        return text + "notFound";
      case Case::invalidCredencials:
        return text + "invalidCredencials";
      case Case::weakSelfError:
        return text + "weakSelfError";
    }
    return text;
  }

  Case case_;
  std::string message_;
  std::string description_;
};

/// Names the log-in service's error type.
struct LogInServiceErrorTag {
  /// The type's name in descriptions.
  static constexpr const char* kName = "LogInServiceError";
};
/// Names the sign-up service's error type.
struct SignUpServiceErrorTag {
  /// The type's name in descriptions.
  static constexpr const char* kName = "SignUpServiceError";
};
/// Names the game service's error type.
struct GameServiceErrorTag {
  /// The type's name in descriptions.
  static constexpr const char* kName = "GameServiceError";
};
/// Names the utilities service's error type.
struct UtilsServiceErrorTag {
  /// The type's name in descriptions.
  static constexpr const char* kName = "UtilsServiceError";
};

/// The log-in service's errors.
using LogInServiceError = ServiceError<LogInServiceErrorTag>;
/// The sign-up service's errors.
using SignUpServiceError = ServiceError<SignUpServiceErrorTag>;
/// The game service's errors.
using GameServiceError = ServiceError<GameServiceErrorTag>;
/// The utilities service's errors.
using UtilsServiceError = ServiceError<UtilsServiceErrorTag>;

}  // namespace velmar
