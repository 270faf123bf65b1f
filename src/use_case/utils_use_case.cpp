#include "velmar/utils_use_case.hpp"

#include "support/lazy.hpp"
#include "data/service/utils_service.hpp"
#include "support/entities/record_access.hpp"
#include "domain/mapper/domain_use_case_mapper.hpp"
#include "use_case/thunks.hpp"

namespace velmar {

UtilsUseCaseInput::~UtilsUseCaseInput() = default;
UtilsUseCaseOutput::~UtilsUseCaseOutput() = default;

std::shared_ptr<UtilsUseCase> UtilsUseCase::make(UtilsUseCaseDependencies dependencies) {
  struct Made : UtilsUseCase {
    explicit Made(UtilsUseCaseDependencies d) : UtilsUseCase(std::move(d)) {}
  };
  return std::make_shared<Made>(std::move(dependencies));
}

UtilsUseCase::UtilsUseCase(UtilsUseCaseDependencies dependencies)
    : currencyList_(Observable<CurrencyList>::make(std::nullopt)),
      balance_(Observable<std::optional<double>>::make(std::nullopt)),
      dependencies_(std::move(dependencies)) {}

const std::shared_ptr<UtilsService>& UtilsUseCase::utilsService() {
  return createOnFirstUse(utilsService_, [this] {
    return std::make_shared<UtilsService>(UtilsServiceDependencies(
        dependencies_.preferenceData(), dependencies_.dataDomainMapper(), dependencies_.network()));
  });
}

void UtilsUseCase::getCurrencyList(ResultCallback<void> result) {
  result = orDropOutcome(std::move(result));
  auto self = weak_from_this().lock();
  if (!self) return result(failureThunk<void>(UtilsUseCaseError::weakSelfError));
  utilsService()->getCurriencies(
      [self = std::move(self), result = std::move(result)](CurrencyListResult outcome) {
        if (!outcome.isSuccess()) return result(failureThunk<void>(outcome.error()));
        self->currencyList_->setValue(std::move(outcome).value());
        result(successThunk());
      });
}

void UtilsUseCase::getBalance(ResultCallback<void> result) {
  result = orDropOutcome(std::move(result));
  auto self = weak_from_this().lock();
  if (!self) return result(failureThunk<void>(UtilsUseCaseError::weakSelfError));
  // Read on every call, so the balance is always the currently stored player's.
  const std::string playerId = PreferenceData().getUserId();
  utilsService()->getBalance(
      playerId, [self = std::move(self), result = std::move(result)](BalanceResult outcome) {
        if (!outcome.isSuccess()) return result(failureThunk<void>(outcome.error()));
        self->balance_->setValue(internal::RecordAccess::amount(outcome.value()));
        result(successThunk());
      });
}

}  // namespace velmar
