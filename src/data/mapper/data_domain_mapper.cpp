#include "data/mapper/data_domain_mapper.hpp"

#include <string>

#include "support/no_destructor.hpp"

namespace velmar {
namespace {

template <typename Error>
Error map(APIStatusCode code) {
  if (code == APIStatusCode::UNAUTHORIZED) return Error::invalidCredencials();
  return Error::serverError(std::to_string(code.rawValue()));
}

}  // namespace

DataDomainMapperProvider::~DataDomainMapperProvider() = default;

std::shared_ptr<DataDomainMapperProvider> DataDomainMapper::inject() {
  static NoDestructor<std::shared_ptr<DataDomainMapperProvider>> instance(
      std::make_shared<DataDomainMapper>());
  return instance.value;
}

LogInServiceError DataDomainMapper::apiStatusCodeToLogInServiceError(APIStatusCode code) {
  return map<LogInServiceError>(code);
}
SignUpServiceError DataDomainMapper::apiStatusCodeToSignUpServiceError(APIStatusCode code) {
  return map<SignUpServiceError>(code);
}
GameServiceError DataDomainMapper::apiStatusCodeToGameListServiceError(APIStatusCode code) {
  return map<GameServiceError>(code);
}
UtilsServiceError DataDomainMapper::apiStatusCodeToUtilsServiceError(APIStatusCode code) {
  return map<UtilsServiceError>(code);
}

}  // namespace velmar
