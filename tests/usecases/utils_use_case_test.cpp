#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "use_case_test_util.hpp"

namespace velmar {
namespace {

using testing::envelope;
using testing::Operation;
using testing::raisedBy;
using testing::Results;

std::vector<std::string> codesIn(const UtilsUseCase::CurrencyList& list) {
  std::vector<std::string> out;
  for (const auto& currency : list.value_or(std::vector<CurrencyEntity>{})) {
    out.push_back(currency.alphabeticCode().value_or("?"));
  }
  return out;
}

// One outcome of either operation: what the observable held when `result` ran, what it holds
// afterwards, and the error the thunk raises.
struct Step {
  const char* name;
  std::optional<std::int64_t> status;
  nlohmann::json result;  // null: the body is not JSON
  std::optional<UtilsUseCaseError> error;
};

class UtilsUseCaseTest : public testing::UseCaseTest {
 protected:
  template <typename Read>
  void run(Operation operation, const std::vector<Step>& steps,
           const std::vector<std::string>& expected, Read read,
           std::shared_ptr<DataDomainMapperProvider> mapper = {}) {
    auto utils = makeUtils(std::move(mapper));
    int deliveries = 0;
    auto observe = [&](const auto& observable) {
      observable->observe(screen_, [&](const auto&) { ++deliveries; });
    };
    operation == Operation::balance ? observe(utils->balance()) : observe(utils->currencyList());
    MainQueue::main().drain();
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const auto& step = steps[i];
      SCOPED_TRACE(step.name);
      network_->answer(operation, {step.status, step.result.is_null() ? "oops" : envelope(step.result)});
      const int before = deliveries;
      std::string atResult;
      Results<void> results;
      auto callback = [&](Thunk<void> thunk) {
        atResult = read(*utils);
        results.thunks.push_back(std::move(thunk));
      };
      operation == Operation::balance ? utils->getBalance(callback) : utils->getCurrencyList(callback);
      ASSERT_TRUE(results.awaitOne());
      EXPECT_EQ(atResult, expected[i]) << "the observable changes before result runs";
      EXPECT_EQ(read(*utils), expected[i]);
      EXPECT_EQ(deliveries - before, step.error ? 0 : 1) << "failures notify nobody";
      EXPECT_EQ(raisedBy(results.thunks[0]),
                step.error ? std::optional(make_error_code(*step.error)) : std::nullopt);
    }
  }
};

TEST_F(UtilsUseCaseTest, CurrenciesArriveInServerOrderAndFailuresKeepThem) {
  auto currencies = [](std::vector<std::string> codes) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& code : codes) list.push_back({{"id", code + "-id"}, {"alphabetic_code", code}});
    return list;
  };
  const auto internal = UtilsUseCaseError::internalError;
  run(Operation::currencies,
      {{"three", 200, currencies({"USD", "EUR", "GBP"}), std::nullopt},
       {"server error", 500, nullptr, internal},
       {"not a list", 200, nlohmann::json::object(), internal},
       {"none", 200, nlohmann::json::array(), std::nullopt}},
      {"USD EUR GBP ", "USD EUR GBP ", "USD EUR GBP ", ""}, [](UtilsUseCase& utils) {
        std::string codes;
        for (const auto& code : codesIn(utils.currencyList()->value())) codes += code + " ";
        return codes;
      });
}

TEST_F(UtilsUseCaseTest, TheBalanceIsTheFirstRecordsAmountAndFailuresKeepIt) {
  const auto internal = UtilsUseCaseError::internalError;
  run(Operation::balance,
      {{"one record", 200, {{{"id", "b"}, {"amount", 12.5}}}, std::nullopt},
       {"empty list", 200, nlohmann::json::array(), internal},
       {"server error", 500, nullptr, internal},
       {"two records", 200, {{{"amount", 3.0}}, {{"amount", 99.0}}}, std::nullopt},
       {"no amount", 200, {{{"id", "b"}}}, std::nullopt}},
      {"12.5", "12.5", "12.5", "3", "none"}, [](UtilsUseCase& utils) {
        const auto balance = utils.balance()->value();
        return balance ? (std::ostringstream() << *balance).str() : std::string("none");
      });
}

TEST_F(UtilsUseCaseTest, RefusedCredentialsRaiseInvalidCredentialsForBothOperations) {
  auto refusing = std::make_shared<testing::RefusingMapper>();
  const std::vector<Step> refused = {{"401", 401, nullptr, UtilsUseCaseError::invalidCredentials}};
  run(Operation::balance, refused, {""}, [](UtilsUseCase&) { return std::string(); }, refusing);
  run(Operation::currencies, refused, {""}, [](UtilsUseCase&) { return std::string(); }, refusing);
}

TEST_F(UtilsUseCaseTest, BalanceAsksForTheUserIdStoredAtEachCallAndRefusesAnUnsafeOne) {
  network_->answer(Operation::balance, {200, envelope({{{"amount", 1.0}}})});
  auto utils = makeUtils();
  const std::string base = std::string(rawValue(Environment::DEV)) + "/balances/player/";
  for (const std::optional<std::string>& id : {std::optional<std::string>("7"),
                                               std::optional<std::string>("8"),
                                               std::optional<std::string>()}) {
    KeychainWrapper::standard().removeObject(std::string(kUserIdKey));
    if (id) KeychainWrapper::standard().set(*id, std::string(kUserIdKey));
    Results<void> results;
    utils->getBalance(results.callback());
    ASSERT_TRUE(results.awaitOne());
    EXPECT_EQ(network_->requests(Operation::balance).back().request.url, base + id.value_or(""));
  }

  const auto sent = network_->requests().size();
  KeychainWrapper::standard().set("../admin", std::string(kUserIdKey));
  Results<void> results;
  utils->getBalance(results.callback());
  results.operationReturned = true;
  EXPECT_EQ(results.beforeReturn, 1) << "an unbuildable request fails at once";
  EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(UtilsUseCaseError::internalError));
  EXPECT_EQ(network_->requests().size(), sent);
  EXPECT_EQ(utils->balance()->value(), 1.0);
}

}  // namespace
}  // namespace velmar
