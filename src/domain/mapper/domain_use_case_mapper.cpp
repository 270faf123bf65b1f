#include "domain/mapper/domain_use_case_mapper.hpp"

namespace velmar {
namespace {

template <typename UseCaseError, typename Tag>
UseCaseError toUseCaseError(const ServiceError<Tag>& error) {
  using Case = typename ServiceError<Tag>::Case;
  return error.kind() == Case::invalidCredencials ? UseCaseError::invalidCredentials
                                                  : UseCaseError::internalError;
}

}  // namespace

PlayerUseCaseError DomainUseCaseMapper::logInServiceErrorToPlayerUseCaseError(
    const LogInServiceError& error) const {
  return toUseCaseError<PlayerUseCaseError>(error);
}

PlayerUseCaseError DomainUseCaseMapper::signUpServiceErrorToPlayerUseCaseError(
    const SignUpServiceError& error) const {
  return toUseCaseError<PlayerUseCaseError>(error);
}

GameUseCaseError DomainUseCaseMapper::gameListServiceErrorToPlayerUseCaseError(
    const GameServiceError& error) const {
  return toUseCaseError<GameUseCaseError>(error);
}

UtilsUseCaseError DomainUseCaseMapper::utilsServiceErrorToUtilsUseCaseError(
    const UtilsServiceError& error) const {
  return toUseCaseError<UtilsUseCaseError>(error);
}

}  // namespace velmar
