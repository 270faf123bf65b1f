#include <gtest/gtest.h>

#include <string>

#include "data/service/game_service.hpp"
#include "data/service/utils_service.hpp"
#include "service_test_util.hpp"
#include "support/entities/record_access.hpp"

namespace velmar {
namespace {

using testing::ScriptedProvider;

using testing::Outcome;
using testing::ServiceTest;

std::string game(int id, const std::string& name) {
  return R"({"id":)" + std::to_string(id) + R"(,"name":")" + name + R"(","is_new":true})";
}

std::vector<std::optional<std::string>> names(const std::vector<GameEntity>& games) {
  std::vector<std::optional<std::string>> out;
  for (const auto& g : games) out.push_back(g.name());
  return out;
}

using Names = std::vector<std::optional<std::string>>;

class GameServiceTest : public ServiceTest {
 protected:
  std::shared_ptr<GameService> service() {
    return std::make_shared<GameService>(GameServiceDependencies(nullptr, network_));
  }
};

TEST_F(GameServiceTest, GameListOutcomeTable) {
  struct Row {
    std::optional<std::int64_t> status;
    std::optional<std::string> body;
    std::optional<GameServiceError> error;
    Names games;
  };
  const std::vector<Row> rows = {
      {200, R"({"result":[]})", std::nullopt, {}},
      {500, R"({"result":[)" + game(1, "A") + "," + game(2, "B") + "]}", std::nullopt, {"A", "B"}},
      {200,
       R"({"result":[)" + game(1, "A") + R"(,{"id":2,"is_new":"yes"},)" + game(3, "C") + "]}",
       std::nullopt,
       {"A", "C"}},
      {200, R"({"result":[7,)" + game(4, "D") + R"(,[],null]})", std::nullopt, {"D"}},
      {200, "not json", GameServiceError::serverError("200"), {}},
      {200, R"({"games":[]})", GameServiceError::serverError("200"), {}},
      {201, R"({"result":{}})", GameServiceError::serverError("201"), {}},
      {400, std::nullopt, GameServiceError::serverError("400"), {}},
      {404, std::nullopt, GameServiceError::serverError("500"), {}},
      {std::nullopt, std::nullopt, GameServiceError::createURLError("Error"), {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body.value_or("<no body>"));
    network_->answerAll({row.status, row.body});
    auto games = service();
    games->setGameList({GameEntity::decode({{"name", "earlier"}})});
    Outcome<GameListResult> outcome;
    games->gameListRequest(1, outcome.callback(network_));
    const auto& result = outcome.await();
    if (row.error) {
      ASSERT_FALSE(result.isSuccess());
      EXPECT_EQ(result.error(), *row.error);
      EXPECT_EQ(names(games->gameList()), Names{"earlier"}) << "a failure keeps the field";
    } else {
      ASSERT_TRUE(result.isSuccess());
      EXPECT_EQ(names(result.value()), row.games);
      EXPECT_EQ(games->gameList(), result.value()) << "pages replace, never append";
    }
  }
}

TEST_F(GameServiceTest, RequestsTheAskedPageAndDeliversAfterTheProviderCallback) {
  network_->setDelivery(ScriptedProvider::Delivery::inlineCall);
  network_->answerAll({200, R"({"result":[)" + game(1, "A") + "]}"});
  auto games = service();
  for (std::int64_t page : {1, 2, 0, -1}) {
    Outcome<GameListResult> outcome;
    games->gameListRequest(page, outcome.callback(network_));
    EXPECT_EQ(outcome.calls, 0);
    outcome.await();
    EXPECT_FALSE(outcome.duringProviderCallback);
    EXPECT_TRUE(network_->requests().back().request.url.ends_with(
        "/list_games?page=" + std::to_string(page) + "&per_page=50"));
  }
}

TEST_F(GameServiceTest, LaunchOutcomeTable) {
  const std::string launch = R"({"result":{"play_for_fun":"https://fun","user_id":42}})";
  struct Row {
    std::optional<std::int64_t> status;
    std::optional<std::string> body;
    std::optional<GameServiceError> error;
    std::optional<std::string> playForFun;
  };
  const std::vector<Row> rows = {
      {200, launch, std::nullopt, "https://fun"},
      {200, R"({"result":{"unknown":1}})", std::nullopt, std::nullopt},
      {201, launch, GameServiceError::serverError("201"), std::nullopt},
      {400, launch, GameServiceError::serverError("400"), std::nullopt},
      {401, launch, GameServiceError::serverError("500"), std::nullopt},
      {200, R"({"result":[]})", GameServiceError::serverError("200"), std::nullopt},
      {200, R"({"result":{"user_id":"42"}})", GameServiceError::serverError("200"), std::nullopt},
      {500, std::nullopt, GameServiceError::serverError("500"), std::nullopt},
      {std::nullopt, launch, GameServiceError::createURLError("Error"), std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body.value_or("<no body>"));
    network_->answerAll({row.status, row.body});
    Outcome<LaunchGameResult> outcome;
    service()->launchGameRequest(LaunchGameEntity::decode({{"game_id", "g"}, {"is_demo", true}}),
                                 outcome.callback(network_));
    const auto& result = outcome.await();
    if (row.error) {
      ASSERT_FALSE(result.isSuccess());
      EXPECT_EQ(result.error(), *row.error);
    } else {
      ASSERT_TRUE(result.isSuccess());
      EXPECT_EQ(result.value().playForFun(), row.playForFun);
    }
  }
  const auto& sent = network_->requests().front().request;
  EXPECT_EQ(sent.method, "POST");
  EXPECT_TRUE(sent.url.ends_with("/launch_game"));
}

TEST_F(GameServiceTest, LaunchWithoutARecordFailsAtOnce) {
  Outcome<LaunchGameResult> outcome;
  service()->launchGameRequest(std::nullopt, outcome.callback(network_));
  ASSERT_EQ(outcome.calls, 1);
  EXPECT_EQ(outcome.value->error(), GameServiceError::createURLError("Error creating URL"));
  EXPECT_TRUE(network_->requests().empty());
}

class UtilsServiceTest : public ServiceTest {
 protected:
  std::shared_ptr<UtilsService> service() {
    return std::make_shared<UtilsService>(UtilsServiceDependencies(nullptr, nullptr, network_));
  }
};

std::string currency(const std::string& code) {
  return R"({"id":"1","alphabetic_code":")" + code + R"("})";
}
std::string balance(double amount) {
  return R"({"amount":)" + std::to_string(amount) + R"(,"alphabetic_code":"EUR"})";
}

TEST_F(UtilsServiceTest, CurrencyOutcomeTable) {
  struct Row {
    std::optional<std::int64_t> status;
    std::optional<std::string> body;
    std::optional<UtilsServiceError> error;
    std::vector<std::string> codes;
  };
  const std::vector<Row> rows = {
      {200, R"({"result":[]})", std::nullopt, {}},
      {500,
       R"({"result":[)" + currency("EUR") + "," + currency("USD") + "]}",
       std::nullopt,
       {"EUR", "USD"}},
      {200, R"({"result":[{"id":1},)" + currency("SEK") + "]}", std::nullopt, {"SEK"}},
      {200, R"({"data":[]})", UtilsServiceError::serverError("200"), {}},
      {404, std::nullopt, UtilsServiceError::serverError("500"), {}},
      {std::nullopt, std::nullopt, UtilsServiceError::createURLError("Error"), {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body.value_or("<no body>"));
    network_->answerAll({row.status, row.body});
    auto utils = service();
    Outcome<CurrencyListResult> outcome;
    utils->getCurriencies(outcome.callback(network_));
    const auto& result = outcome.await();
    if (row.error) {
      ASSERT_FALSE(result.isSuccess());
      EXPECT_EQ(result.error(), *row.error);
      EXPECT_TRUE(utils->currencyList().empty());
    } else {
      ASSERT_TRUE(result.isSuccess());
      std::vector<std::string> codes;
      for (const auto& c : result.value()) codes.push_back(c.alphabeticCode().value_or("?"));
      EXPECT_EQ(codes, row.codes);
      EXPECT_EQ(utils->currencyList(), result.value());
    }
  }
}

TEST_F(UtilsServiceTest, BalanceOutcomeTable) {
  struct Row {
    std::optional<std::int64_t> status;
    std::optional<std::string> body;
    std::optional<UtilsServiceError> error;
    std::optional<double> amount;
  };
  const std::vector<Row> rows = {
      {200, R"({"result":[)" + balance(12.5) + "," + balance(99) + "]}", std::nullopt, 12.5},
      {400, R"({"result":[{"amount":"x"},)" + balance(3) + "]}", std::nullopt, 3.0},
      {200, R"({"result":[]})", UtilsServiceError::serverError("200"), std::nullopt},
      {201, R"({"result":[{"amount":true}]})", UtilsServiceError::serverError("201"), std::nullopt},
      {200, R"({"result":{"amount":1}})", UtilsServiceError::serverError("200"), std::nullopt},
      {std::nullopt, std::nullopt, UtilsServiceError::createURLError("Error"), std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body.value_or("<no body>"));
    network_->answerAll({row.status, row.body});
    auto utils = service();
    EXPECT_EQ(internal::RecordAccess::amount(utils->balance()), 0.0);
    EXPECT_EQ(internal::RecordAccess::walletID(utils->balance()), "");
    Outcome<BalanceResult> outcome;
    utils->getBalance("42", outcome.callback(network_));
    const auto& result = outcome.await();
    if (row.error) {
      ASSERT_FALSE(result.isSuccess());
      EXPECT_EQ(result.error(), *row.error);
      EXPECT_EQ(internal::RecordAccess::amount(utils->balance()), 0.0) << "a failure keeps the field";
    } else {
      ASSERT_TRUE(result.isSuccess());
      EXPECT_EQ(internal::RecordAccess::amount(result.value()), row.amount);
      EXPECT_EQ(utils->balance(), result.value());
    }
  }
  EXPECT_TRUE(network_->requests().back().request.url.ends_with("/balances/player/42"));
}

TEST_F(UtilsServiceTest, AnUnsafePlayerIdFailsAtOnceAndSendsNothing) {
  for (const char* id : {"../admin", "1?x=2", "a b", "%2e"}) {
    Outcome<BalanceResult> outcome;
    service()->getBalance(id, outcome.callback(network_));
    ASSERT_EQ(outcome.calls, 1) << id;
    EXPECT_EQ(outcome.value->error(), UtilsServiceError::createURLError("Error creating URL"));
  }
  EXPECT_TRUE(network_->requests().empty());
  Outcome<BalanceResult> empty;
  network_->answerAll({200, R"({"result":[]})"});
  service()->getBalance("", empty.callback(network_));
  empty.await();
  EXPECT_TRUE(network_->requests().back().request.url.ends_with("/balances/player/"));
}

}  // namespace
}  // namespace velmar
