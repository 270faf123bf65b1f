#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "velmar/base_interactor.hpp"
#include "velmar/entities/currency_entity.hpp"
#include "velmar/export.hpp"
#include "velmar/observable.hpp"
#include "velmar/result_callback.hpp"

namespace velmar {

class UtilsService;
class DomainUseCaseMapper;
class PreferenceDataSource;

/// The utilities use case's collaborators; each is created on first use and then kept.
class VELMAR_EXPORT UtilsUseCaseDependencies {
 public:
  /// Every member absent: defaults are created on first use.
  UtilsUseCaseDependencies();
  /// Members given here replace the defaults; absent ones are created on first use.
  UtilsUseCaseDependencies(std::shared_ptr<UtilsService> utilsService,
                           std::shared_ptr<DomainUseCaseMapper> domainUseCaseMapper,
                           std::shared_ptr<PreferenceDataSource> preferenceData);
  ~UtilsUseCaseDependencies();
  UtilsUseCaseDependencies(const UtilsUseCaseDependencies&);
  UtilsUseCaseDependencies& operator=(const UtilsUseCaseDependencies&);

  /// The utilities service; a new one with default collaborators when none was given.
  const std::shared_ptr<UtilsService>& utilsService();
  /// The service-to-use-case error mapper.
  const std::shared_ptr<DomainUseCaseMapper>& domainUseCaseMapper();
  /// The credential store (the balance reads the user id through the key store directly).
  const std::shared_ptr<PreferenceDataSource>& preferenceData();

 private:
  std::shared_ptr<UtilsService> utilsService_;
  std::shared_ptr<DomainUseCaseMapper> domainUseCaseMapper_;
  std::shared_ptr<PreferenceDataSource> preferenceData_;
};

/// What the utilities use case shows its host.
class VELMAR_EXPORT UtilsUseCaseInput {
 public:
  virtual ~UtilsUseCaseInput();
  /// The currencies of the latest successful answer; absent before the first.
  virtual std::shared_ptr<Observable<std::optional<std::vector<CurrencyEntity>>>> currencyList()
      const = 0;
};

/// What the utilities use case offers.
class VELMAR_EXPORT UtilsUseCaseOutput {
 public:
  virtual ~UtilsUseCaseOutput();
  /// Fetches the currencies into `currencyList`; the thunk returns or throws a
  /// `std::system_error` with a `UtilsUseCaseError`.
  virtual void getCurrencyList(ResultCallback<void> result) = 0;
  /// Fetches the stored player's balance into `balance`; same thunk contract.
  virtual void getBalance(ResultCallback<void> result) = 0;
};

/// The currency list and the balance of the player whose id the credential store holds.
class VELMAR_EXPORT UtilsUseCase : public BaseInteractor,
                                   public UtilsUseCaseInput,
                                   public UtilsUseCaseOutput,
                                   public std::enable_shared_from_this<UtilsUseCase> {
 public:
  using CurrencyList = std::optional<std::vector<CurrencyEntity>>;

  /// A use case with default collaborators.
  static std::shared_ptr<UtilsUseCase> make();
  /// Use `make()` or `std::make_shared`: operations in flight keep the use case alive.
  explicit UtilsUseCase(UtilsUseCaseDependencies dependencies);

  std::shared_ptr<Observable<CurrencyList>> currencyList() const override { return currencyList_; }
  /// Replaces the currency observable.
  void setCurrencyList(std::shared_ptr<Observable<CurrencyList>> list) {
    currencyList_ = std::move(list);
  }
  /// The amount of the latest successful balance answer; absent before the first.
  std::shared_ptr<Observable<std::optional<double>>> balance() const { return balance_; }
  /// Replaces the balance observable.
  void setBalance(std::shared_ptr<Observable<std::optional<double>>> balance) {
    balance_ = std::move(balance);
  }

  void getCurrencyList(ResultCallback<void> result) override;
  void getBalance(ResultCallback<void> result) override;

 private:
  std::shared_ptr<Observable<CurrencyList>> currencyList_;
  std::shared_ptr<Observable<std::optional<double>>> balance_;
  UtilsUseCaseDependencies dependencies_;
};

}  // namespace velmar
