#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "velmar/base_interactor.hpp"
#include "velmar/entities/currency_entity.hpp"
#include "velmar/export.hpp"
#include "velmar/observable.hpp"
#include "velmar/result_callback.hpp"
#include "velmar/use_case_dependencies.hpp"

namespace velmar {

class UtilsService;

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
  /// What `currencyList` holds: absent before the first successful answer.
  using CurrencyList = std::optional<std::vector<CurrencyEntity>>;

  /// The only way to create one: operations in flight keep the use case alive.
  static std::shared_ptr<UtilsUseCase> make(UtilsUseCaseDependencies dependencies = {});

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

 protected:
  /// For subclasses, which must be owned by a `std::shared_ptr` too.
  explicit UtilsUseCase(UtilsUseCaseDependencies dependencies);

 private:
  const std::shared_ptr<UtilsService>& utilsService();

  std::shared_ptr<Observable<CurrencyList>> currencyList_;
  std::shared_ptr<Observable<std::optional<double>>> balance_;
  UtilsUseCaseDependencies dependencies_;
  std::shared_ptr<UtilsService> utilsService_;
};

}  // namespace velmar
