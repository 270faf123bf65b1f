#pragma once

// How a failing status becomes each service's error; hosts may replace it to test their own
// handling of every error case.

#include "velmar/api_status_code.hpp"
#include "velmar/export.hpp"
#include "velmar/service_error.hpp"

namespace velmar {

/// Turns a status classification into each service's error. The default maps UNAUTHORIZED
/// to invalidCredencials and every other code to serverError with the code in decimal.
class VELMAR_EXPORT DataDomainMapperProvider {
 public:
  virtual ~DataDomainMapperProvider();
  /// The log-in service's error for `statusCode`.
  virtual LogInServiceError apiStatusCodeToLogInServiceError(APIStatusCode statusCode) = 0;
  /// The sign-up service's error for `statusCode`.
  virtual SignUpServiceError apiStatusCodeToSignUpServiceError(APIStatusCode statusCode) = 0;
  /// The game service's error for `statusCode`.
  virtual GameServiceError apiStatusCodeToGameListServiceError(APIStatusCode statusCode) = 0;
  /// The utilities service's error for `statusCode`.
  virtual UtilsServiceError apiStatusCodeToUtilsServiceError(APIStatusCode statusCode) = 0;
};

}  // namespace velmar
