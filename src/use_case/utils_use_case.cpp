#include "velmar/utils_use_case.hpp"

#include "support/lazy.hpp"
#include "data/persistence/preference_data.hpp"
#include "data/service/utils_service.hpp"
#include "domain/mapper/domain_use_case_mapper.hpp"
#include "use_case/thunks.hpp"

namespace velmar {

UtilsUseCaseDependencies::UtilsUseCaseDependencies() = default;
UtilsUseCaseDependencies::UtilsUseCaseDependencies(
    std::shared_ptr<UtilsService> utilsService,
    std::shared_ptr<DomainUseCaseMapper> domainUseCaseMapper,
    std::shared_ptr<PreferenceDataSource> preferenceData)
    : utilsService_(std::move(utilsService)),
      domainUseCaseMapper_(std::move(domainUseCaseMapper)),
      preferenceData_(std::move(preferenceData)) {}
UtilsUseCaseDependencies::~UtilsUseCaseDependencies() = default;
UtilsUseCaseDependencies::UtilsUseCaseDependencies(const UtilsUseCaseDependencies&) = default;
UtilsUseCaseDependencies& UtilsUseCaseDependencies::operator=(const UtilsUseCaseDependencies&) =
    default;

const std::shared_ptr<UtilsService>& UtilsUseCaseDependencies::utilsService() {
  return createOnFirstUse(utilsService_, [] { return std::make_shared<UtilsService>(); });
}

const std::shared_ptr<DomainUseCaseMapper>& UtilsUseCaseDependencies::domainUseCaseMapper() {
  return createOnFirstUse(domainUseCaseMapper_,
                          [] { return std::make_shared<DomainUseCaseMapper>(); });
}

const std::shared_ptr<PreferenceDataSource>& UtilsUseCaseDependencies::preferenceData() {
  return createOnFirstUse(preferenceData_, [] { return std::make_shared<PreferenceData>(); });
}

UtilsUseCaseInput::~UtilsUseCaseInput() = default;
UtilsUseCaseOutput::~UtilsUseCaseOutput() = default;

std::shared_ptr<UtilsUseCase> UtilsUseCase::make() {
  return std::make_shared<UtilsUseCase>(UtilsUseCaseDependencies());
}

UtilsUseCase::UtilsUseCase(UtilsUseCaseDependencies dependencies)
    : currencyList_(Observable<CurrencyList>::make(std::nullopt)),
      balance_(Observable<std::optional<double>>::make(std::nullopt)),
      dependencies_(std::move(dependencies)) {}

void UtilsUseCase::getCurrencyList(ResultCallback<void> result) {
  dependencies_.utilsService()->getCurriencies(
      [self = shared_from_this(), result = std::move(result)](CurrencyListResult outcome) {
        if (!outcome.isSuccess()) {
          result(failureThunk<void>([self, error = outcome.error()] {
            return self->dependencies_.domainUseCaseMapper()->utilsServiceErrorToUtilsUseCaseError(
                error);
          }));
          return;
        }
        self->currencyList_->setValue(std::move(outcome).value());
        result(successThunk());
      });
}

void UtilsUseCase::getBalance(ResultCallback<void> result) {
  // Read on every call, so the balance is always the currently stored player's.
  const std::string playerId = PreferenceData().getUserId();
  dependencies_.utilsService()->getBalance(
      playerId, [self = shared_from_this(), result = std::move(result)](BalanceResult outcome) {
        if (!outcome.isSuccess()) {
          result(failureThunk<void>([self, error = outcome.error()] {
            return self->dependencies_.domainUseCaseMapper()->utilsServiceErrorToUtilsUseCaseError(
                error);
          }));
          return;
        }
        self->balance_->setValue(outcome.value().amount());
        result(successThunk());
      });
}

}  // namespace velmar
