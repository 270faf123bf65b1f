#include "data/service/utils_service.hpp"

#include "data/network/repository.hpp"
#include "data/service/async_completion.hpp"
#include "data/service/result_records.hpp"

namespace velmar {
namespace {

BalanceEntity initialBalance() {
  static const nlohmann::json kEmpty = {
      {"id", ""},         {"wallet_id", ""}, {"period_year", ""}, {"period_month", ""},
      {"amount", 0.0},    {"player_id", ""}, {"currency_id", ""}, {"alphabetic_code", ""},
      {"created_at", ""}, {"updated_at", ""}};
  return BalanceEntity::decode(kEmpty);
}

}  // namespace

UtilsService::UtilsService(UtilsServiceDependencies dependencies,
                           std::vector<CurrencyEntity> currencyList)
    : currencyList_(std::move(currencyList)),
      dependencies_(std::move(dependencies)),
      balance_(initialBalance()) {}

void UtilsService::getCurriencies(std::function<void(CurrencyListResult)> result) {
  auto request = Repository::getCurrencies().asURLRequest();
  if (!request.isSuccess()) {
    result(CurrencyListResult::failure(UtilsServiceError::createURLError(kErrorCreatingURL)));
    return;
  }
  dependencies_.network()->getCurrencyList(
      request.value(), [self = shared_from_this(), result = std::move(result)](
                           std::optional<std::int64_t> status, std::optional<Bytes> body) mutable {
        self->handleCurrencies(status, body, std::move(result));
      });
}

void UtilsService::getBalance(const std::string& playerId,
                              std::function<void(BalanceResult)> result) {
  auto request = Repository::getBalance(playerId).asURLRequest();
  if (!request.isSuccess()) {
    result(BalanceResult::failure(UtilsServiceError::createURLError(kErrorCreatingURL)));
    return;
  }
  dependencies_.network()->getBalance(
      request.value(), [self = shared_from_this(), result = std::move(result)](
                           std::optional<std::int64_t> status, std::optional<Bytes> body) mutable {
        self->handleBalance(status, body, std::move(result));
      });
}

void UtilsService::handleCurrencies(std::optional<std::int64_t> status,
                                    const std::optional<Bytes>& body,
                                    std::function<void(CurrencyListResult)> result) {
  if (!status) {
    return asyncCompletition(
        std::move(result),
        CurrencyListResult::failure(UtilsServiceError::createURLError(kTransportError)));
  }
  const auto code = APIStatusCode::get(*status);
  auto currencies = decodableResultRecords<CurrencyEntity>(body);
  if (!currencies) {
    return asyncCompletition(std::move(result), CurrencyListResult::failure(mappedError(code)));
  }
  currencyList_ = std::move(*currencies);
  asyncCompletition(std::move(result),
                    resultHandler(code, CurrencyListResult::success(currencyList_)));
}

void UtilsService::handleBalance(std::optional<std::int64_t> status,
                                 const std::optional<Bytes>& body,
                                 std::function<void(BalanceResult)> result) {
  if (!status) {
    return asyncCompletition(
        std::move(result),
        BalanceResult::failure(UtilsServiceError::createURLError(kTransportError)));
  }
  const auto code = APIStatusCode::get(*status);
  auto balances = decodableResultRecords<BalanceEntity>(body);
  // No record at all is a failure for a balance, unlike an empty currency list.
  if (!balances || balances->empty()) {
    return asyncCompletition(std::move(result), BalanceResult::failure(mappedError(code)));
  }
  balance_ = std::move(balances->front());
  asyncCompletition(std::move(result),
                    resultBalanceHandler(code, BalanceResult::success(balance_)));
}

CurrencyListResult UtilsService::resultHandler(APIStatusCode code, CurrencyListResult result) {
  if (result.isSuccess()) return result;
  return CurrencyListResult::failure(mappedError(code));
}

BalanceResult UtilsService::resultBalanceHandler(APIStatusCode code, BalanceResult response) {
  if (response.isSuccess()) return response;
  return BalanceResult::failure(mappedError(code));
}

UtilsServiceError UtilsService::mappedError(APIStatusCode code) {
  return dependencies_.dataDomainMapper()->apiStatusCodeToUtilsServiceError(code);
}

}  // namespace velmar
