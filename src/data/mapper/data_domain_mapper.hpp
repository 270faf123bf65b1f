#pragma once

#include <memory>

#include "data/mapper/api_status_code.hpp"
#include "data/mapper/service_error.hpp"

namespace velmar {

// Turns a status classification into each service's error.
class DataDomainMapperProvider {
 public:
  virtual ~DataDomainMapperProvider() = default;
  virtual LogInServiceError apiStatusCodeToLogInServiceError(APIStatusCode statusCode) = 0;
  virtual SignUpServiceError apiStatusCodeToSignUpServiceError(APIStatusCode statusCode) = 0;
  virtual GameServiceError apiStatusCodeToGameListServiceError(APIStatusCode statusCode) = 0;
  virtual UtilsServiceError apiStatusCodeToUtilsServiceError(APIStatusCode statusCode) = 0;
};

// UNAUTHORIZED becomes invalidCredencials; every other code becomes serverError carrying the
// code's raw value in decimal.
class DataDomainMapper : public DataDomainMapperProvider {
 public:
  // The process-wide default, created once.
  static std::shared_ptr<DataDomainMapperProvider> inject();

  LogInServiceError apiStatusCodeToLogInServiceError(APIStatusCode statusCode) override;
  SignUpServiceError apiStatusCodeToSignUpServiceError(APIStatusCode statusCode) override;
  GameServiceError apiStatusCodeToGameListServiceError(APIStatusCode statusCode) override;
  UtilsServiceError apiStatusCodeToUtilsServiceError(APIStatusCode statusCode) override;
};

}  // namespace velmar
