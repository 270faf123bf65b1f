// The three use cases over a scripted network: what they send, publish, store and raise.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "use_case_test_util.hpp"

namespace velmar {
namespace {

using ::testing::ElementsAre;
using testing::Operation;
using testing::RefusingMapper;
using testing::Results;
using testing::UseCaseTest;
using testing::envelope;
using testing::gamePage;
using testing::logInBody;
using testing::raisedBy;
using testing::runMainUntil;
using Names = std::vector<std::string>;

class PlayerUseCaseTest : public UseCaseTest {
 protected:
  // Records every delivery and request, in the order they happen.
  void watch(const std::shared_ptr<PlayerUseCase>& player) {
    player->userInformation()->observe(screen_, [this](const std::optional<Player>& p) {
      log_.push_back("user:" + (p ? p->email().value_or("?") : std::string("none")));
    });
    player->islogin()->observe(
        screen_, [this](const bool& on) { log_.push_back(on ? "islogin:1" : "islogin:0"); });
    network_->onRequest([this](const testing::SentRequest& call) {
      log_.push_back(std::string("request:") + testing::name(call.operation));
    });
    MainQueue::main().drain();
    log_.clear();
  }
  void awaitPageRequest() {
    ASSERT_TRUE(runMainUntil([&] { return !network_->requests(Operation::gameList).empty(); }));
    MainQueue::main().drain();
  }

  std::vector<std::string> log_;
};

TEST_F(PlayerUseCaseTest, LogInStoresTheAnswerPublishesThePlayerAndAsksForPageOne) {
  for (const bool hostCallsThunk : {true, false}) {
    SCOPED_TRACE(hostCallsThunk ? "thunk called" : "thunk never called");
    SetUp();
    network_->answer(Operation::logIn, {200, logInBody("server@x.example", "77", "tok")});
    network_->answer(Operation::gameList, {200, gamePage({"A"})});
    auto games = makeGames();
    auto player = makePlayer(games);
    watch(player);
    player->logIn("typed@x.example", "pw1", [&](Thunk<void> thunk) {
      log_.push_back("result");
      if (hostCallsThunk) thunk();
    });
    awaitPageRequest();

    EXPECT_EQ(network_->requests(Operation::logIn)[0].json(),
              (nlohmann::json{{"email", "typed@x.example"}, {"password", "pw1"}}));
    // The server's e-mail, the typed password, the answer's token and id.
    EXPECT_EQ(stored(), (Stored{"server@x.example", "pw1", "tok", "77"}));
    // Only the thunk sets the flag.
    std::vector<std::string> expected = {"request:logIn", "result", "user:server@x.example",
                                         "islogin:1", "request:gameList"};
    if (!hostCallsThunk) expected.erase(expected.begin() + 3);
    EXPECT_EQ(log_, expected);
    EXPECT_EQ(player->islogin()->value(), hostCallsThunk);
    EXPECT_THAT(network_->requests(Operation::gameList)[0].request.url,
                ::testing::HasSubstr("/list_games?page=1&"));
    EXPECT_EQ(player->userInformation()->value()->identifier(), "77");
    EXPECT_EQ(games->gameList()->value().value()->size(), 1u);
  }
}

// Other failures are internal errors, and keep what the host had, in the fault suite.
TEST_F(PlayerUseCaseTest, RefusedLogInRaisesTheMappedErrorAndChangesNothing) {
  KeychainWrapper::standard().set("old@x.example", std::string(kEmailKey));
  network_->answer(Operation::logIn, {401, "<html>no</html>"});
  auto player = makePlayer(makeGames(), std::make_shared<RefusingMapper>());
  watch(player);
  Results<void> results;
  player->logIn("a@x.example", "pw", results.callback());
  ASSERT_TRUE(results.awaitOne());
  EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(PlayerUseCaseError::invalidCredentials));
  EXPECT_THAT(log_, ElementsAre("request:logIn")) << "no delivery, no page";
  EXPECT_EQ(stored(), (Stored{"old@x.example", std::nullopt, std::nullopt, std::nullopt}));
}

// A sign-up logs in with the registered e-mail and password; its outcome is the log-in's.
TEST_F(PlayerUseCaseTest, SignUpLogsInWithWhatItRegistered) {
  const auto entity = SignUpEntity::decode({{"email", "new@x.example"}, {"password", "pw"}});
  struct Row {
    const char* name;
    std::optional<SignUpEntity> entity;
    std::optional<std::int64_t> signUpStatus;
    std::optional<std::int64_t> logInStatus;  // absent: no log-in expected
    std::optional<PlayerUseCaseError> error;
    bool loggedIn;
  };
  const std::vector<Row> rows = {
      {"registered", entity, 201, 200, std::nullopt, true},
      {"log-in refused", entity, 201, 401, PlayerUseCaseError::internalError, false},
      {"409 conflict", entity, 409, std::nullopt, PlayerUseCaseError::internalError, false},
      {"nothing to send", std::nullopt, 201, std::nullopt, PlayerUseCaseError::internalError, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    network_->answer(Operation::signUp, {row.signUpStatus, envelope({{"id", "9"}})});
    if (row.logInStatus) {
      const bool ok = row.logInStatus == 200;
      network_->answer(Operation::logIn, {row.logInStatus, ok ? logInBody("n@x.example", "9", "t") : "{}"});
    }
    auto player = makePlayer(nullptr);
    Results<void> results;
    player->signUp(row.entity, results.callback());
    results.operationReturned = true;
    EXPECT_EQ(results.beforeReturn, row.entity ? 0 : 1) << "only an unbuildable request is at once";
    ASSERT_TRUE(results.awaitOne());
    EXPECT_EQ(raisedBy(results.thunks[0]),
              row.error ? std::optional(make_error_code(*row.error)) : std::nullopt);
    EXPECT_EQ(player->islogin()->value(), row.loggedIn);
    const auto logIns = network_->requests(Operation::logIn);
    ASSERT_EQ(logIns.size(), row.logInStatus ? 1u : 0u);
    if (row.logInStatus) {
      EXPECT_EQ(logIns[0].json(), (nlohmann::json{{"email", "new@x.example"}, {"password", "pw"}}));
    }
  }
}

TEST_F(PlayerUseCaseTest, LogOutReplacesTheObservablesClearsTheStoreAndSendsNothing) {
  network_->answer(Operation::logIn, {200, logInBody("server@x.example", "77", "tok")});
  network_->answer(Operation::gameList, {200, gamePage({"A", "B"})});
  auto games = makeGames();
  auto player = makePlayer(games);
  player->logIn("typed@x.example", "pw1", [](Thunk<void> thunk) { thunk(); });
  awaitPageRequest();
  const auto oldUser = player->userInformation();
  const auto oldGames = games->gameList();
  watch(player);
  oldGames->observe(screen_, [&](const auto&) { log_.push_back("old games"); });
  MainQueue::main().drain();
  log_.clear();
  const auto sent = network_->requests().size();

  player->logOut();
  MainQueue::main().drain();

  EXPECT_THAT(log_, ElementsAre("islogin:0")) << "the old observables hear nothing";
  EXPECT_NE(player->userInformation(), oldUser);
  EXPECT_FALSE(player->userInformation()->value().has_value());
  EXPECT_NE(games->gameList(), oldGames);
  EXPECT_FALSE(games->gameList()->value().value().has_value());
  EXPECT_EQ(stored(), Stored(4, std::nullopt));
  EXPECT_EQ(network_->requests().size(), sent);
  makePlayer(nullptr)->logOut();  // without a game use case: nothing to reset, no crash
}


Names namesIn(const GameListState& state) {
  Names out;
  if (!state.isSuccess() || !state.value()) return out;
  for (const auto& game : *state.value()) out.push_back(game.name().value_or("?"));
  return out;
}

class GameUseCaseTest : public UseCaseTest {
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
      {true, 500, "not json", "2", GameUseCaseError::internalError, {}},
      {true, 200, gamePage({}), "2", std::nullopt, {}},
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
  network_->answerAll({200, envelope({{"play_for_fun", "https://fun"}})});
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

// What the thunk gives: the play-for-fun address or nothing, or the mapped error; a request that
// cannot be built (text that is not UTF-8 has no JSON form) fails at once, with nothing sent.
TEST_F(GameUseCaseTest, LaunchThunkGivesPlayForFunOrNothingOrRaisesTheMappedError) {
  const auto fun = envelope({{"play_for_fun", "https://fun"}, {"play_for_real", "$"}});
  const struct {
    std::optional<std::string> gameId;
    std::optional<std::int64_t> status;
    std::string body;
    std::shared_ptr<DataDomainMapperProvider> mapper;
    std::optional<std::string> playForFun;
    std::optional<GameUseCaseError> error;
  } rows[] = {
      {"g", 200, fun, nullptr, "https://fun", std::nullopt},
      {"g", 200, envelope({{"game_token", "x"}}), nullptr, std::nullopt, std::nullopt},
      {"g", 401, "{}", std::make_shared<RefusingMapper>(), std::nullopt,
       GameUseCaseError::invalidCredentials},
      {std::string("g\xff"), 200, fun, nullptr, std::nullopt, GameUseCaseError::internalError},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body);
    SetUp();
    network_->answer(Operation::launchGame, {row.status, row.body});
    auto results = launch(*makeGames(row.mapper), row.gameId);
    const bool unbuildable = row.gameId != "g";
    EXPECT_EQ(results.beforeReturn, unbuildable ? 1 : 0);
    EXPECT_EQ(network_->requests().size(), unbuildable ? 0u : 1u);
    if (row.error) {
      EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(*row.error));
    } else {
      EXPECT_EQ(results.thunks[0](), row.playForFun);
    }
  }
}

using UtilsUseCaseTest = UseCaseTest;

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
// what it held and notify nobody, and the thunk raises the error its mapper gives (one that
// refuses the credentials for every failure).
TEST_F(UtilsUseCaseTest, UtilsOutcomesKeepTheLastGoodValue) {
  struct Step {
    Operation operation;
    std::optional<std::int64_t> status;
    std::string body;
    std::optional<UtilsUseCaseError> error;
    std::string held;  // when result runs and after
  };
  const auto refused = UtilsUseCaseError::invalidCredentials;
  const auto list = [](std::vector<std::string> codes) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& code : codes) out.push_back({{"id", code + "-id"}, {"alphabetic_code", code}});
    return envelope(out);
  };
  const std::vector<Step> steps = {
      {Operation::currencies, 200, list({"USD", "EUR", "GBP"}), std::nullopt, "USD EUR GBP "},
      {Operation::currencies, 500, "oops", refused, "USD EUR GBP "},
      {Operation::currencies, 200, list({}), std::nullopt, ""},
      {Operation::balance, 200, envelope({{{"id", "b"}, {"amount", 12.5}}}), std::nullopt, "12.5"},
      {Operation::balance, 401, "oops", refused, "12.5"},
      {Operation::balance, 200, envelope({{{"id", "b"}}}), std::nullopt, "none"},
  };
  auto utils = makeUtils(std::make_shared<RefusingMapper>());
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

// Operations in flight hold their use case through shared_from_this, so nothing else may own one.
static_assert(!std::is_constructible_v<GameUseCase, GameUseCaseDependencies>);
static_assert(!std::is_constructible_v<UtilsUseCase, UtilsUseCaseDependencies>);
static_assert(!std::is_constructible_v<PlayerUseCase, PlayerUseCaseDependencies>);

using CallersTest = UseCaseTest;

TEST_F(CallersTest, EmptyResultCallbacksDropTheOutcomeButKeepItsEffect) {
  for (const std::int64_t status : {200, 401}) {
    SCOPED_TRACE(status);
    SetUp();
    const bool ok = status == 200;
    network_->answerAll({status, ok ? envelope(nlohmann::json::object()) : "no"});
    network_->answer(Operation::logIn,
                     {status, ok ? logInBody("a@b.example", "5", "tok") : "no"});
    network_->answer(Operation::signUp, {201, "{}"});
    auto games = makeGames();
    auto player = makePlayer(games);
    auto utils = makeUtils();
    player->logIn("a@b.example", "pw", {});
    player->signUp(SignUpEntity(), {});
    games->launchGame("g", 1, "slug", {});
    utils->getCurrencyList({});
    utils->getBalance({});
    EXPECT_NO_THROW(MainQueue::main().drain());
    EXPECT_EQ(player->islogin()->value(), ok) << "a log-in's success still counts";
  }
}

TEST_F(CallersTest, AUseCaseNotOwnedBySharedPtrFailsWithWeakSelfError) {
  struct OnTheStack : UtilsUseCase {
    OnTheStack() : UtilsUseCase(UtilsUseCaseDependencies()) {}
  } utils;
  std::optional<std::error_code> raised;
  utils.getCurrencyList([&](Thunk<void> outcome) { raised = raisedBy(outcome); });
  EXPECT_EQ(raised, make_error_code(UtilsUseCaseError::weakSelfError));
  EXPECT_TRUE(network_->requests().empty());
}

}  // namespace
}  // namespace velmar
