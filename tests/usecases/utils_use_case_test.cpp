#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "use_case_test_util.hpp"

namespace velmar {
namespace {

using testing::Operation;
using testing::SentRequest;
using testing::ScriptedProvider;

using ::testing::ElementsAre;
using testing::envelope;
using testing::FixedErrorMapper;
using testing::raisedBy;
using testing::Results;
using testing::UseCaseTest;

std::string currencies(const std::vector<std::string>& codes) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& code : codes) list.push_back({{"id", code + "-id"}, {"alphabetic_code", code}});
  return envelope(list);
}

std::vector<std::string> codesIn(const UtilsUseCase::CurrencyList& list) {
  std::vector<std::string> out;
  if (!list) return out;
  for (const auto& currency : *list) out.push_back(currency.alphabeticCode().value_or("?"));
  return out;
}

class UtilsUseCaseTest : public UseCaseTest {
 protected:
  std::shared_ptr<int> screen_ = std::make_shared<int>(0);
};

TEST_F(UtilsUseCaseTest, CurrenciesArriveInServerOrderBeforeResultRunsAndFailuresKeepThem) {
  auto utils = makeUtils();
  EXPECT_FALSE(utils->currencyList()->value().has_value());
  EXPECT_FALSE(utils->balance()->value().has_value());
  std::vector<std::vector<std::string>> heard;
  utils->currencyList()->observe(screen_,
                                 [&](const auto& list) { heard.push_back(codesIn(list)); });
  MainQueue::main().drain();
  heard.clear();

  network_->answer(Operation::currencies, {200, currencies({"USD", "EUR", "GBP"})});
  std::vector<std::string> atResult;
  Results<void> results;
  utils->getCurrencyList([&](Thunk<void> thunk) {
    atResult = codesIn(utils->currencyList()->value());
    results.thunks.push_back(std::move(thunk));
  });
  ASSERT_TRUE(results.awaitOne());
  EXPECT_THAT(atResult, ElementsAre("USD", "EUR", "GBP"));
  EXPECT_EQ(raisedBy(results.thunks[0]), std::nullopt);
  EXPECT_EQ(heard.size(), 1u);

  const std::vector<std::pair<std::optional<std::int64_t>, std::string>> failures = {
      {500, "not json"}, {200, R"({"result":{}})"}};
  for (const auto& [status, body] : failures) {
    SCOPED_TRACE(body);
    network_->answer(Operation::currencies, {status, body});
    Results<void> failed;
    utils->getCurrencyList(failed.callback());
    ASSERT_TRUE(failed.awaitOne());
    EXPECT_EQ(raisedBy(failed.thunks[0]), make_error_code(UtilsUseCaseError::internalError));
    EXPECT_THAT(codesIn(utils->currencyList()->value()), ElementsAre("USD", "EUR", "GBP"));
  }
  EXPECT_EQ(heard.size(), 1u) << "failures notify nobody";

  network_->answer(Operation::currencies, {200, currencies({})});
  Results<void> empty;
  utils->getCurrencyList(empty.callback());
  ASSERT_TRUE(empty.awaitOne());
  EXPECT_EQ(raisedBy(empty.thunks[0]), std::nullopt);
  ASSERT_TRUE(utils->currencyList()->value().has_value());
  EXPECT_TRUE(utils->currencyList()->value()->empty());
}

TEST_F(UtilsUseCaseTest, InvalidCredencialsRaiseInvalidCredentialsForBothOperations) {
  auto utils =
      makeUtils(std::make_shared<FixedErrorMapper>(FixedErrorMapper::Kind::invalidCredencials));
  network_->answer(Operation::currencies, {401, "{}"});
  network_->answer(Operation::balance, {401, "{}"});
  Results<void> currencyResults;
  utils->getCurrencyList(currencyResults.callback());
  ASSERT_TRUE(currencyResults.awaitOne());
  Results<void> balanceResults;
  utils->getBalance(balanceResults.callback());
  ASSERT_TRUE(balanceResults.awaitOne());
  for (auto* results : {&currencyResults, &balanceResults}) {
    EXPECT_EQ(raisedBy(results->thunks[0]), make_error_code(UtilsUseCaseError::invalidCredentials));
  }
  EXPECT_FALSE(utils->currencyList()->value().has_value());
  EXPECT_FALSE(utils->balance()->value().has_value());
}

TEST_F(UtilsUseCaseTest, BalanceOutcomes) {
  struct Step {
    const char* name;
    std::optional<std::int64_t> status;
    std::string body;
    std::optional<UtilsUseCaseError> error;
    std::optional<double> balance;  // after the step
  };
  const std::vector<Step> steps = {
      {"one record", 200, envelope({{{"id", "b"}, {"amount", 12.5}}}), std::nullopt, 12.5},
      {"empty list", 200, envelope(nlohmann::json::array()), UtilsUseCaseError::internalError,
       12.5},
      {"server error", 500, "oops", UtilsUseCaseError::internalError, 12.5},
      {"two records: the first counts", 200, envelope({{{"amount", 3.0}}, {{"amount", 99.0}}}),
       std::nullopt, 3.0},
      {"record without amount", 200, envelope({{{"id", "b"}}}), std::nullopt, std::nullopt},
  };
  KeychainWrapper::standard().set("7", "userId");
  auto utils = makeUtils();
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    network_->answer(Operation::balance, {step.status, step.body});
    std::optional<std::optional<double>> atResult;
    Results<void> results;
    utils->getBalance([&](Thunk<void> thunk) {
      atResult = utils->balance()->value();
      results.thunks.push_back(std::move(thunk));
    });
    ASSERT_TRUE(results.awaitOne());
    ASSERT_TRUE(atResult.has_value());
    EXPECT_EQ(*atResult, step.balance) << "the observable changes before result runs";
    EXPECT_EQ(utils->balance()->value(), step.balance);
    if (step.error) {
      EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(*step.error));
    } else {
      EXPECT_EQ(raisedBy(results.thunks[0]), std::nullopt);
    }
  }
}

TEST_F(UtilsUseCaseTest, BalanceAsksForTheUserIdStoredAtEachCall) {
  network_->answer(Operation::balance, {200, envelope({{{"amount", 1.0}}})});
  auto utils = makeUtils();
  for (const std::optional<std::string>& id :
       std::vector<std::optional<std::string>>{"7", "8", std::nullopt}) {
    if (id) {
      KeychainWrapper::standard().set(*id, "userId");
    } else {
      KeychainWrapper::standard().removeObject("userId");
    }
    Results<void> results;
    utils->getBalance(results.callback());
    ASSERT_TRUE(results.awaitOne());
  }
  const auto calls = network_->requests(Operation::balance);
  ASSERT_EQ(calls.size(), 3u);
  const std::string base = std::string(rawValue(Environment::DEV)) + "/balances/player/";
  EXPECT_EQ(calls[0].request.url, base + "7");
  EXPECT_EQ(calls[1].request.url, base + "8");
  EXPECT_EQ(calls[2].request.url, base) << "no stored id still sends, with an empty id";
}

TEST_F(UtilsUseCaseTest, BalanceThatCannotBeBuiltFailsBeforeReturningAndKeepsTheBalance) {
  auto utils = makeUtils();
  KeychainWrapper::standard().set("../admin", "userId");
  Results<void> results;
  utils->getBalance(results.callback());
  results.operationReturned = true;
  EXPECT_EQ(results.beforeReturn, 1);
  ASSERT_EQ(results.thunks.size(), 1u);
  EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(UtilsUseCaseError::internalError));
  MainQueue::main().drain();
  EXPECT_TRUE(network_->requests().empty());
  EXPECT_FALSE(utils->balance()->value().has_value());
}

}  // namespace
}  // namespace velmar
