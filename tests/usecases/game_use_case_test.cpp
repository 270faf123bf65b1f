#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "use_case_test_util.hpp"

namespace velmar {
namespace {

using testing::gamePage;
using testing::Operation;
using testing::raisedBy;
using testing::Results;
using testing::runMainUntil;
using Names = std::vector<std::string>;

Names namesIn(const GameListState& state) {
  Names out;
  if (!state.isSuccess() || !state.value()) return out;
  for (const auto& game : *state.value()) out.push_back(game.name().value_or("?"));
  return out;
}

class GameUseCaseTest : public testing::UseCaseTest {
 protected:
  Results<std::optional<std::string>> launch(GameUseCase& games, std::optional<std::string> id) {
    Results<std::optional<std::string>> results;
    games.launchGame(std::move(id), 12, "acme", results.callback());
    results.operationReturned = true;
    EXPECT_TRUE(results.awaitOne());
    return results;
  }
};

TEST_F(GameUseCaseTest, PagesAdvanceOnSuccessRepeatOnFailureAndRestartAtOne) {
  struct Step {
    bool more;
    std::optional<std::int64_t> status;
    std::string body;
    std::string page;  // the page asked for
    std::optional<GameUseCaseError> error;
    Names names;
  };
  const std::vector<Step> steps = {
      {true, 200, gamePage({"A1", "A2"}), "1", std::nullopt, {"A1", "A2"}},
      {true, 200, gamePage({"B1"}), "2", std::nullopt, {"B1"}},
      {true, 500, "not json", "3", GameUseCaseError::internalError, {}},
      {true, 200, gamePage({}), "3", std::nullopt, {}},
      {false, 503, "{}", "1", GameUseCaseError::internalError, {}},
      {true, 200, gamePage({"A1"}), "1", std::nullopt, {"A1"}},
  };
  auto games = makeGames();
  EXPECT_FALSE(games->gameList()->value().value().has_value()) << "no list before a page";
  int deliveries = 0;
  games->gameList()->observe(screen_, [&](const GameListState&) { ++deliveries; });
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const auto& step = steps[i];
    SCOPED_TRACE("step " + std::to_string(i));
    network_->answer(Operation::gameList, {step.status, step.body});
    MainQueue::main().drain();
    const int before = deliveries;
    step.more ? games->getMoreGamesList() : games->getGameList();
    ASSERT_TRUE(runMainUntil([&] { return deliveries > before; }));
    const auto url = network_->requests(Operation::gameList).back().request.url;
    EXPECT_EQ(url.substr(url.find("?page=")), "?page=" + step.page + "&per_page=50");
    const auto state = games->gameList()->value();
    if (step.error) {
      EXPECT_EQ(state.error(), *step.error);
    } else {
      ASSERT_TRUE(state.value().has_value()) << "an empty page is still a list";
      EXPECT_EQ(namesIn(state), step.names) << "pages replace, never concatenate";
    }
  }
}

// The user id of a launch comes from the store and must be exactly a 64-bit decimal.
TEST_F(GameUseCaseTest, LaunchSendsADemoInEurosWithTheStoredUserIdWhenItIsANumber) {
  const std::vector<std::pair<std::optional<std::string>, std::optional<std::int64_t>>> rows = {
      {"42", 42}, {std::nullopt, std::nullopt}, {" 42", std::nullopt}, {"+7", 7},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"9223372036854775808", std::nullopt},
  };
  network_->answerAll({200, testing::envelope({{"play_for_fun", "https://fun"}})});
  for (const auto& [stored, userId] : rows) {
    SCOPED_TRACE(stored.value_or("<nothing stored>"));
    KeychainWrapper::standard().removeObject(std::string(kUserIdKey));
    if (stored) KeychainWrapper::standard().set(*stored, std::string(kUserIdKey));
    auto games = makeGames();
    launch(*games, "g-1");
    nlohmann::json expected = {{"is_demo", true},         {"game_id", "g-1"},
                               {"provider_id", 12},       {"provider_slug", "acme"},
                               {"user_language", "en"},   {"user_currency", "EUR"},
                               {"lobby_url", VELMAR_TEST_LOBBY_HOST}, {"is_mobile", 0}};
    if (userId) expected["user_id"] = *userId;
    EXPECT_EQ(network_->requests(Operation::launchGame).back().json(), expected);
  }
}

TEST_F(GameUseCaseTest, LaunchThunkGivesPlayForFunOrNothingOrRaisesTheMappedError) {
  struct Row {
    const char* name;
    std::optional<std::string> gameId;
    std::optional<std::int64_t> status;
    std::string body;
    std::shared_ptr<DataDomainMapperProvider> mapper;
    std::optional<std::string> playForFun;
    std::optional<GameUseCaseError> error;
  };
  const auto refusing = std::make_shared<testing::RefusingMapper>();
  const auto fun = testing::envelope({{"play_for_fun", "https://fun"}, {"play_for_real", "$"}});
  const std::vector<Row> rows = {
      {"address", "g", 200, fun, nullptr, "https://fun", std::nullopt},
      {"no address", "g", 200, testing::envelope({{"game_token", "x"}}), nullptr, std::nullopt,
       std::nullopt},
      {"decodable but 500", "g", 500, fun, nullptr, std::nullopt, GameUseCaseError::internalError},
      {"refused", "g", 401, "{}", refusing, std::nullopt, GameUseCaseError::invalidCredentials},
      // Text that is not UTF-8 has no JSON form: nothing is sent, the outcome comes at once.
      {"unbuildable", std::string("g\xff"), 200, fun, nullptr, std::nullopt,
       GameUseCaseError::internalError},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    network_->answer(Operation::launchGame, {row.status, row.body});
    auto results = launch(*makeGames(row.mapper), row.gameId);
    const bool unbuildable = std::string(row.name) == "unbuildable";
    EXPECT_EQ(results.beforeReturn, unbuildable ? 1 : 0);
    EXPECT_EQ(network_->requests().size(), unbuildable ? 0u : 1u);
    for (int call = 0; call < 2; ++call) {  // every call repeats the outcome
      if (row.error) {
        EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(*row.error));
      } else {
        EXPECT_EQ(results.thunks[0](), row.playForFun);
      }
    }
  }
}

}  // namespace
}  // namespace velmar
