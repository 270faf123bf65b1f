#pragma once

#include <exception>
#include <string>
#include <utility>

namespace velmar {

// The five-case error shared by the four services. Each service gets its own type (the tag)
// so a log-in failure can never be passed where a game failure is expected.
template <typename Tag>
class ServiceError : public std::exception {
 public:
  enum class Case { createURLError, serverError, notFound, invalidCredencials, weakSelfError };

  static ServiceError createURLError(std::string message) {
    return ServiceError(Case::createURLError, std::move(message));
  }
  static ServiceError serverError(std::string message) {
    return ServiceError(Case::serverError, std::move(message));
  }
  static ServiceError notFound() { return ServiceError(Case::notFound, {}); }
  static ServiceError invalidCredencials() { return ServiceError(Case::invalidCredencials, {}); }
  static ServiceError weakSelfError() { return ServiceError(Case::weakSelfError, {}); }

  Case kind() const { return case_; }
  // The text of createURLError and serverError; empty for the other cases.
  const std::string& message() const { return message_; }
  const char* what() const noexcept override { return description_.c_str(); }

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

struct LogInServiceErrorTag {
  static constexpr const char* kName = "LogInServiceError";
};
struct SignUpServiceErrorTag {
  static constexpr const char* kName = "SignUpServiceError";
};
struct GameServiceErrorTag {
  static constexpr const char* kName = "GameServiceError";
};
struct UtilsServiceErrorTag {
  static constexpr const char* kName = "UtilsServiceError";
};

using LogInServiceError = ServiceError<LogInServiceErrorTag>;
using SignUpServiceError = ServiceError<SignUpServiceErrorTag>;
using GameServiceError = ServiceError<GameServiceErrorTag>;
using UtilsServiceError = ServiceError<UtilsServiceErrorTag>;

// Texts the services report.
inline constexpr const char* kErrorCreatingURL = "Error creating URL";
inline constexpr const char* kTransportError = "Error";

}  // namespace velmar
