#pragma once

#include <memory>

#include "velmar/data_domain_mapper.hpp"

namespace velmar {

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
