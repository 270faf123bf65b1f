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
using UtilsUseCaseTest = testing::UseCaseTest;

// What the operation's observable holds, as text: "USD EUR" or "12.5", "none" when absent.
std::string held(UtilsUseCase& utils, Operation operation) {
  std::ostringstream out;
  if (operation == Operation::balance) {
    const auto balance = utils.balance()->value();
    balance ? out << *balance : out << "none";
  } else if (const auto& list = utils.currencyList()->value()) {
    for (const auto& currency : *list) out << currency.alphabeticCode().value_or("?") << " ";
  } else {
    out << "none";
  }
  return out.str();
}

// Steps in one use case, in order: the observable changes before `result` runs, failures keep
// what it held and notify nobody, and the thunk raises the mapped error.
TEST_F(UtilsUseCaseTest, UtilsOutcomesKeepTheLastGoodValue) {
  struct Step {
    Operation operation;
    std::optional<std::int64_t> status;
    std::string body;
    std::optional<UtilsUseCaseError> error;
    std::string held;  // when result runs and after
  };
  const auto internal = UtilsUseCaseError::internalError;
  const auto list = [](std::vector<std::string> codes) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& code : codes) out.push_back({{"id", code + "-id"}, {"alphabetic_code", code}});
    return envelope(out);
  };
  const std::vector<Step> steps = {
      {Operation::currencies, 200, list({"USD", "EUR", "GBP"}), std::nullopt, "USD EUR GBP "},
      {Operation::currencies, 500, "oops", internal, "USD EUR GBP "},
      {Operation::currencies, 200, envelope(nlohmann::json::object()), internal, "USD EUR GBP "},
      {Operation::currencies, 200, list({}), std::nullopt, ""},
      {Operation::balance, 200, envelope({{{"id", "b"}, {"amount", 12.5}}}), std::nullopt, "12.5"},
      {Operation::balance, 200, envelope(nlohmann::json::array()), internal, "12.5"},
      {Operation::balance, 500, "oops", internal, "12.5"},
      {Operation::balance, 200, envelope({{{"amount", 3.0}}, {{"amount", 99.0}}}), std::nullopt, "3"},
      {Operation::balance, 200, envelope({{{"id", "b"}}}), std::nullopt, "none"},
  };
  auto utils = makeUtils();
  int deliveries = 0;
  utils->balance()->observe(screen_, [&](const auto&) { ++deliveries; });
  utils->currencyList()->observe(screen_, [&](const auto&) { ++deliveries; });
  for (const auto& step : steps) {
    SCOPED_TRACE(std::string(testing::name(step.operation)) + " " + step.body);
    MainQueue::main().drain();
    network_->answer(step.operation, {step.status, step.body});
    const int before = deliveries;
    std::string atResult;
    Results<void> results;
    auto callback = [&](Thunk<void> thunk) {
      atResult = held(*utils, step.operation);
      results.thunks.push_back(std::move(thunk));
    };
    step.operation == Operation::balance ? utils->getBalance(callback)
                                         : utils->getCurrencyList(callback);
    ASSERT_TRUE(results.awaitOne());
    EXPECT_EQ(atResult, step.held);
    EXPECT_EQ(held(*utils, step.operation), step.held);
    EXPECT_EQ(deliveries - before, step.error ? 0 : 1);
    EXPECT_EQ(raisedBy(results.thunks[0]),
              step.error ? std::optional(make_error_code(*step.error)) : std::nullopt);
  }
  // Refused credentials keep their meaning for both operations.
  auto refused = makeUtils(std::make_shared<testing::RefusingMapper>());
  network_->answerAll({401, "{}"});
  for (auto operation : {Operation::balance, Operation::currencies}) {
    Results<void> results;
    operation == Operation::balance ? refused->getBalance(results.callback())
                                    : refused->getCurrencyList(results.callback());
    ASSERT_TRUE(results.awaitOne());
    EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(UtilsUseCaseError::invalidCredentials));
  }
}

TEST_F(UtilsUseCaseTest, BalanceAsksForTheUserIdStoredAtEachCallAndRefusesAnUnsafeOne) {
  network_->answer(Operation::balance, {200, envelope({{{"amount", 1.0}}})});
  auto utils = makeUtils();
  const std::string base = std::string(rawValue(Environment::DEV)) + "/balances/player/";
  for (const char* id : {"7", "8", ""}) {
    KeychainWrapper::standard().set(id, std::string(kUserIdKey));
    Results<void> results;
    utils->getBalance(results.callback());
    ASSERT_TRUE(results.awaitOne());
    EXPECT_EQ(network_->requests(Operation::balance).back().request.url, base + id);
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
