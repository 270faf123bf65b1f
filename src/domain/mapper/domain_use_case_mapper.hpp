#pragma once

#include "data/mapper/service_error.hpp"
#include "velmar/use_case_errors.hpp"

namespace velmar {

// Turns each service's error into the error of the use case that called it. Only
// invalidCredencials keeps its meaning (as invalidCredentials); every other failure, with
// whatever message, is internalError. Nothing maps to weakSelfError.
class DomainUseCaseMapper {
 public:
  PlayerUseCaseError logInServiceErrorToPlayerUseCaseError(const LogInServiceError& error) const;
  PlayerUseCaseError signUpServiceErrorToPlayerUseCaseError(const SignUpServiceError& error) const;
  // Despite the name, the result is the game use case's error.
  GameUseCaseError gameListServiceErrorToPlayerUseCaseError(const GameServiceError& error) const;
  UtilsUseCaseError utilsServiceErrorToUtilsUseCaseError(const UtilsServiceError& error) const;
};

// The same mapping chosen by the error's type, for code written once over the four services.
inline PlayerUseCaseError useCaseError(const LogInServiceError& error) {
  return DomainUseCaseMapper().logInServiceErrorToPlayerUseCaseError(error);
}
inline PlayerUseCaseError useCaseError(const SignUpServiceError& error) {
  return DomainUseCaseMapper().signUpServiceErrorToPlayerUseCaseError(error);
}
inline GameUseCaseError useCaseError(const GameServiceError& error) {
  return DomainUseCaseMapper().gameListServiceErrorToPlayerUseCaseError(error);
}
inline UtilsUseCaseError useCaseError(const UtilsServiceError& error) {
  return DomainUseCaseMapper().utilsServiceErrorToUtilsUseCaseError(error);
}

}  // namespace velmar
