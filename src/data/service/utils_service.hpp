#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/service/base_service.hpp"
#include "data/service/service_dependencies.hpp"
#include "data/mapper/service_error.hpp"
#include "velmar/entities/balance_entity.hpp"
#include "velmar/entities/currency_entity.hpp"

namespace velmar {

using CurrencyListResult = Result<std::vector<CurrencyEntity>, UtilsServiceError>;
using BalanceResult = Result<BalanceEntity, UtilsServiceError>;

class UtilsServiceDataSource {
 public:
  virtual ~UtilsServiceDataSource() = default;
  virtual void getCurriencies(std::function<void(CurrencyListResult)> result) = 0;
  virtual void getBalance(const std::string& playerId,
                          std::function<void(BalanceResult)> result) = 0;
};

// Fetches the currency list and one player's balance, keeping the last outcome of each.
class UtilsService : public BaseService,
                     public UtilsServiceDataSource,
                     public std::enable_shared_from_this<UtilsService> {
 public:
  explicit UtilsService(UtilsServiceDependencies dependencies = {},
                        std::vector<CurrencyEntity> currencyList = {});

  void getCurriencies(std::function<void(CurrencyListResult)> result) override;
  void getBalance(const std::string& playerId, std::function<void(BalanceResult)> result) override;

  // The currencies of the last currency answer.
  const std::vector<CurrencyEntity>& currencyList() const { return currencyList_; }
  void setCurrencyList(std::vector<CurrencyEntity> list) { currencyList_ = std::move(list); }
  // The first record of the last balance answer that had one; at first every text is empty
  // and the amount is 0.
  const BalanceEntity& balance() const { return balance_; }
  void setBalance(BalanceEntity balance) { balance_ = std::move(balance); }
  UtilsServiceDependencies& dependencies() { return dependencies_; }
  void setDependencies(UtilsServiceDependencies dependencies) {
    dependencies_ = std::move(dependencies);
  }

 private:
  std::vector<CurrencyEntity> currencyList_;
  UtilsServiceDependencies dependencies_;
  BalanceEntity balance_;
};

}  // namespace velmar
