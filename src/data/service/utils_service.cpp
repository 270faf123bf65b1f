#include "data/service/utils_service.hpp"

#include "data/service/result_records.hpp"
#include "data/service/round_trip.hpp"

namespace velmar {
namespace {

BalanceEntity initialBalance() {
  static const nlohmann::json kEmpty = {
      {"id", ""},         {"wallet_id", ""}, {"period_year", ""}, {"period_month", ""},
      {"amount", 0.0},    {"player_id", ""}, {"currency_id", ""}, {"alphabetic_code", ""},
      {"created_at", ""}, {"updated_at", ""}};
  return BalanceEntity::decode(kEmpty);
}

// No record at all is a failure for a balance, unlike an empty currency list.
std::optional<BalanceEntity> firstRecord(std::optional<std::vector<BalanceEntity>> records) {
  if (!records || records->empty()) return std::nullopt;
  return std::move(records->front());
}

}  // namespace

UtilsService::UtilsService(UtilsServiceDependencies dependencies,
                           std::vector<CurrencyEntity> currencyList)
    : currencyList_(std::move(currencyList)),
      dependencies_(std::move(dependencies)),
      balance_(initialBalance()) {}

void UtilsService::getCurriencies(std::function<void(CurrencyListResult)> result) {
  roundTrip(shared_from_this(), dependencies_, Repository::getCurrencies(),
            &NetworkProvider::getCurrencyList, std::move(result),
            [self = shared_from_this()](APIStatusCode, const std::optional<Bytes>& body) {
              return keepLast(self->currencyList_, decodableResultRecords<CurrencyEntity>(body));
            });
}

void UtilsService::getBalance(const std::string& playerId,
                              std::function<void(BalanceResult)> result) {
  roundTrip(shared_from_this(), dependencies_, Repository::getBalance(playerId),
            &NetworkProvider::getBalance, std::move(result),
            [self = shared_from_this()](APIStatusCode, const std::optional<Bytes>& body) {
              return keepLast(self->balance_,
                              firstRecord(decodableResultRecords<BalanceEntity>(body)));
            });
}

}  // namespace velmar
