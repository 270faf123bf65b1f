#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "use_case_test_util.hpp"

namespace velmar {
namespace {

using testing::Operation;
using testing::SentRequest;
using testing::ScriptedProvider;

using testing::FixedErrorMapper;
using testing::gamePage;
using ::testing::HasSubstr;
using testing::raisedBy;
using testing::Results;
using testing::runMainUntil;
using testing::UseCaseTest;
using Names = std::vector<std::string>;

Names namesIn(const GameListState& state) {
  Names out;
  if (!state.isSuccess() || !state.value()) return out;
  for (const auto& game : *state.value()) out.push_back(game.name().value_or("?"));
  return out;
}

class GameUseCaseTest : public UseCaseTest {
 protected:
  // Runs one page operation and returns the page it asked for.
  std::string fetch(GameUseCase& games, bool more) {
    const auto before = network_->requests(Operation::gameList).size();
    more ? games.getMoreGamesList() : games.getGameList();
    EXPECT_EQ(network_->requests(Operation::gameList).size(), before + 1);
    const auto url = network_->requests(Operation::gameList).back().request.url;
    const auto delivered = deliveries_;
    EXPECT_TRUE(runMainUntil([&] { return deliveries_ > delivered; }));
    MainQueue::main().drain();
    const auto from = url.find("?page=");
    return url.substr(from + 6, url.find('&') - from - 6);
  }
  void count(GameUseCase& games) {
    games.gameList()->observe(screen_, [this](const GameListState&) { ++deliveries_; });
    MainQueue::main().drain();
  }

  std::shared_ptr<int> screen_ = std::make_shared<int>(0);
  int deliveries_ = 0;
};

TEST_F(GameUseCaseTest, PagesAdvanceOnSuccessRepeatOnFailureAndRestartAtOne) {
  struct Step {
    bool more;
    std::optional<std::int64_t> status;
    std::string body;
    std::string page;  // the page asked for
    std::int64_t next;
    std::optional<GameUseCaseError> error;
    Names names;
  };
  const std::vector<Step> steps = {
      {true, 200, gamePage({"A1", "A2"}), "1", 2, std::nullopt, {"A1", "A2"}},
      {true, 200, gamePage({"B1"}), "2", 3, std::nullopt, {"B1"}},
      {true, 200, gamePage({"C1"}), "3", 4, std::nullopt, {"C1"}},
      {true, 500, "not json", "4", 4, GameUseCaseError::internalError, {}},
      {true, 200, gamePage({}), "4", 5, std::nullopt, {}},
      {true, 200, gamePage({"E1"}), "5", 6, std::nullopt, {"E1"}},
      {false, 503, "{}", "1", 1, GameUseCaseError::internalError, {}},
      {true, 200, gamePage({"A1"}), "1", 2, std::nullopt, {"A1"}},
  };
  auto games = makeGames();
  ASSERT_TRUE(games->gameList()->value().isSuccess());
  EXPECT_FALSE(games->gameList()->value().value().has_value()) << "no list before a page";
  EXPECT_EQ(games->pageNumber(), 1);
  count(*games);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const auto& step = steps[i];
    SCOPED_TRACE("step " + std::to_string(i));
    network_->answer(Operation::gameList, {step.status, step.body});
    EXPECT_EQ(fetch(*games, step.more), step.page);
    EXPECT_EQ(games->pageNumber(), step.next);
    const auto state = games->gameList()->value();
    if (step.error) {
      ASSERT_FALSE(state.isSuccess());
      EXPECT_EQ(state.error(), *step.error);
    } else {
      ASSERT_TRUE(state.isSuccess());
      ASSERT_TRUE(state.value().has_value()) << "an empty page is still a list";
      EXPECT_EQ(namesIn(state), step.names) << "pages replace, never concatenate";
    }
  }
}

TEST_F(GameUseCaseTest, AfterLogOutMorePagesContinueIntoTheNewGameList) {
  network_->answer(Operation::gameList, {200, gamePage({"P"})});
  auto games = makeGames();
  auto player = makePlayer(games);
  count(*games);
  EXPECT_EQ(fetch(*games, false), "1");
  EXPECT_EQ(fetch(*games, true), "2");
  const auto old = games->gameList();

  player->logOut();
  deliveries_ = 0;
  int newDeliveries = 0;
  games->gameList()->observe(screen_, [&](const GameListState&) { ++newDeliveries; });
  MainQueue::main().drain();
  ASSERT_EQ(newDeliveries, 1);

  games->getMoreGamesList();
  ASSERT_TRUE(runMainUntil([&] { return newDeliveries == 2; }));
  MainQueue::main().drain();
  EXPECT_THAT(network_->requests(Operation::gameList).back().request.url, HasSubstr("?page=3&"));
  EXPECT_EQ(deliveries_, 0) << "the old observable hears nothing";
  EXPECT_EQ(namesIn(games->gameList()->value()), Names{"P"});
  EXPECT_EQ(games->pageNumber(), 4);
  EXPECT_NE(games->gameList(), old);
}

// The user id of a launch comes from the store and must be exactly a 64-bit decimal.
TEST_F(GameUseCaseTest, LaunchSendsTheStoredUserIdOnlyWhenItIsExactlyANumber) {
  struct Row {
    std::optional<std::string> stored;
    std::optional<std::int64_t> userId;
  };
  const std::vector<Row> rows = {
      {"42", 42},
      {std::nullopt, std::nullopt},
      {"", std::nullopt},
      {"abc", std::nullopt},
      {" 42", std::nullopt},
      {"42 ", std::nullopt},
      {"-7", -7},
      {"+7", 7},
      {"+", std::nullopt},
      {"4x2", std::nullopt},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      {"9223372036854775808", std::nullopt},
  };
  network_->answer(Operation::launchGame, {200, testing::envelope({{"play_for_fun", "https://fun"}})});
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stored.value_or("<nothing stored>"));
    KeychainWrapper::standard().removeObject("userId");
    if (row.stored) KeychainWrapper::standard().set(*row.stored, "userId");
    auto games = makeGames();
    Results<std::optional<std::string>> results;
    games->launchGame("g-1", 12, "acme", results.callback());
    ASSERT_TRUE(results.awaitOne());

    const auto body = network_->requests(Operation::launchGame).back().json();
    nlohmann::json expected = {{"is_demo", true},
                               {"game_id", "g-1"},
                               {"provider_id", 12},
                               {"provider_slug", "acme"},
                               {"user_language", "en"},
                               {"user_currency", "EUR"},
                               {"lobby_url", VELMAR_TEST_LOBBY_HOST},
                               {"is_mobile", 0}};
    if (row.userId) expected["user_id"] = *row.userId;
    EXPECT_EQ(body, expected);
  }
}

TEST_F(GameUseCaseTest, LaunchThunkReturnsPlayForFunOrNothingOrRaisesTheMappedError) {
  struct Row {
    const char* name;
    std::optional<std::int64_t> status;
    std::string body;
    std::shared_ptr<DataDomainMapperProvider> mapper;
    std::optional<std::string> playForFun;
    std::optional<GameUseCaseError> error;
  };
  const auto invalid =
      std::make_shared<FixedErrorMapper>(FixedErrorMapper::Kind::invalidCredencials);
  const std::vector<Row> rows = {
      {"address", 200, testing::envelope({{"play_for_fun", "https://fun"}, {"user_id", 1}}),
       nullptr, "https://fun", std::nullopt},
      {"no address", 200, testing::envelope({{"game_token", "x"}}), nullptr, std::nullopt,
       std::nullopt},
      {"decodable but 500", 500, testing::envelope({{"play_for_fun", "https://fun"}}), nullptr,
       std::nullopt, GameUseCaseError::internalError},
      {"invalidCredencials", 401, "{}", invalid, std::nullopt,
       GameUseCaseError::invalidCredentials},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    network_->answer(Operation::launchGame, {row.status, row.body});
    auto games = makeGames(row.mapper);
    Results<std::optional<std::string>> results;
    games->launchGame(std::nullopt, std::nullopt, std::nullopt, results.callback());
    results.operationReturned = true;
    EXPECT_EQ(results.beforeReturn, 0);
    ASSERT_TRUE(results.awaitOne());
    // Every call of the thunk repeats the same outcome.
    for (int call = 0; call < 2; ++call) {
      if (row.error) {
        EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(*row.error));
      } else {
        EXPECT_EQ(results.thunks[0](), row.playForFun);
      }
    }
  }
}

TEST_F(GameUseCaseTest, LaunchThatCannotBeBuiltFailsBeforeReturning) {
  auto games = makeGames();
  Results<std::optional<std::string>> results;
  // Text that is not UTF-8 has no JSON form, so no request can carry it.
  games->launchGame(std::string("g\xff"), 1, "acme", results.callback());
  results.operationReturned = true;
  EXPECT_EQ(results.beforeReturn, 1);
  ASSERT_EQ(results.thunks.size(), 1u);
  EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(GameUseCaseError::internalError));
  MainQueue::main().drain();
  EXPECT_EQ(results.thunks.size(), 1u);
  EXPECT_TRUE(network_->requests().empty());
}

}  // namespace
}  // namespace velmar
