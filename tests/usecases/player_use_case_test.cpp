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
using testing::FixedErrorMapper;
using ::testing::HasSubstr;
using testing::logInBody;
using testing::raisedBy;
using testing::Results;
using testing::runMainUntil;
using testing::UseCaseTest;
using Stored = std::map<std::string, std::optional<std::string>>;

const Stored kNothingStored = {{"email", std::nullopt},
                               {"password", std::nullopt},
                               {"token", std::nullopt},
                               {"userId", std::nullopt}};

class PlayerUseCaseTest : public UseCaseTest {
 protected:
  // Records "<what>:<value>" for every delivery and request, in the order they happen.
  void watch(const std::shared_ptr<PlayerUseCase>& player) {
    player->userInformation()->observe(screen_, [this](const std::optional<Player>& p) {
      log_.push_back("user:" + (p ? p->email().value_or("?") : std::string("none")));
    });
    player->islogin()->observe(screen_, [this](const bool& on) {
      log_.push_back(std::string("islogin:") + (on ? "1" : "0"));
    });
    network_->onRequest([this](const SentRequest& call) {
      log_.push_back(std::string("request:") + testing::name(call.operation));
    });
    MainQueue::main().drain();  // the initial deliveries
    log_.clear();
  }

  std::shared_ptr<int> screen_ = std::make_shared<int>(0);
  std::vector<std::string> log_;
};

TEST_F(PlayerUseCaseTest, SuccessfulLogInDeliversPlayerThenFlagThenAsksForPageOne) {
  for (const bool hostCallsThunk : {true, false}) {
    SCOPED_TRACE(hostCallsThunk ? "thunk called inside result" : "thunk never called");
    SetUp();
    network_->answer(Operation::logIn, {200, logInBody("server@x.example", "77", "tok")});
    network_->answer(Operation::gameList, {200, testing::gamePage({"A"})});
    auto games = makeGames();
    auto player = makePlayer(games);
    watch(player);

    player->logIn("typed@x.example", "pw1", [&](Thunk<void> thunk) {
      log_.push_back("result");
      if (hostCallsThunk) thunk();
    });
    ASSERT_TRUE(runMainUntil([&] { return !network_->requests(Operation::gameList).empty(); }));
    MainQueue::main().drain();

    // The server's e-mail, the typed password, the answer's token and id.
    EXPECT_EQ(network_->requests(Operation::logIn).front().json(),
              (nlohmann::json{{"email", "typed@x.example"}, {"password", "pw1"}}));
    EXPECT_EQ(stored(), (Stored{{"email", "server@x.example"},
                                {"password", "pw1"},
                                {"token", "tok"},
                                {"userId", "77"}}));
    EXPECT_EQ(player->getToken(), "tok");
    if (hostCallsThunk) {
      EXPECT_THAT(log_, ElementsAre("request:logIn", "result", "user:server@x.example", "islogin:1",
                                    "request:gameList"));
      EXPECT_TRUE(player->islogin()->value());
    } else {
      EXPECT_THAT(log_, ElementsAre("request:logIn", "result", "user:server@x.example",
                                    "request:gameList"));
      EXPECT_FALSE(player->islogin()->value()) << "only the thunk sets the flag";
    }
    EXPECT_THAT(network_->requests(Operation::gameList).front().request.url, HasSubstr("/list_games?page=1&"));
    ASSERT_TRUE(player->userInformation()->value().has_value());
    EXPECT_EQ(player->userInformation()->value()->identifier(), "77");
    ASSERT_TRUE(games->gameList()->value().isSuccess());
    EXPECT_EQ(games->gameList()->value().value()->size(), 1u);
  }
}

TEST_F(PlayerUseCaseTest, AnswerWithoutPlayerStoresNothingYetLogsInAndFetchesPageOne) {
  network_->answer(Operation::logIn, {200, testing::envelope({{"token", "tok"}})});
  network_->answer(Operation::gameList, {200, testing::gamePage({})});
  auto player = makePlayer(makeGames());
  std::vector<std::optional<Player>> delivered;
  player->userInformation()->observe(screen_, [&](const auto& p) { delivered.push_back(p); });
  MainQueue::main().drain();
  delivered.clear();

  Results<void> results;
  player->logIn("typed@x.example", "pw1", results.callback());
  ASSERT_TRUE(runMainUntil([&] { return !network_->requests(Operation::gameList).empty(); }));
  MainQueue::main().drain();

  ASSERT_EQ(results.thunks.size(), 1u);
  EXPECT_EQ(raisedBy(results.thunks[0]), std::nullopt);
  EXPECT_TRUE(player->islogin()->value());
  EXPECT_EQ(stored(), kNothingStored);
  ASSERT_EQ(delivered.size(), 1u) << "the absent player is still written";
  EXPECT_FALSE(delivered[0].has_value());
  EXPECT_THAT(network_->requests(Operation::gameList).front().request.url, HasSubstr("?page=1&"));
}

TEST_F(PlayerUseCaseTest, LogInFailuresMapToTheUseCaseErrorAndChangeNothing) {
  using Kind = FixedErrorMapper::Kind;
  struct Row {
    const char* name;
    std::optional<Kind> mapped;  // absent: the default status mapper
    std::optional<std::int64_t> status;
    PlayerUseCaseError expected;
  };
  const std::vector<Row> rows = {
      {"invalidCredencials", Kind::invalidCredencials, 401, PlayerUseCaseError::invalidCredentials},
      {"serverError", Kind::serverError, 500, PlayerUseCaseError::internalError},
      {"401 through the default mapper", std::nullopt, 401, PlayerUseCaseError::internalError},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    KeychainWrapper::standard().set("old@x.example", "email");
    network_->answer(Operation::logIn, {row.status, "<html>no</html>"});
    auto mapper = row.mapped ? std::make_shared<FixedErrorMapper>(*row.mapped) : nullptr;
    auto games = makeGames();
    auto player = makePlayer(games, mapper);
    const auto userInformation = player->userInformation();
    int flagDeliveries = 0;
    player->islogin()->observe(screen_, [&](const bool&) { ++flagDeliveries; });
    MainQueue::main().drain();

    Results<void> results;
    player->logIn("a@x.example", "pw", results.callback());
    ASSERT_TRUE(results.awaitOne());
    EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(row.expected));
    MainQueue::main().drain();
    EXPECT_EQ(flagDeliveries, 1) << "only the initial delivery";
    EXPECT_FALSE(player->islogin()->value());
    EXPECT_EQ(player->userInformation(), userInformation);
    EXPECT_FALSE(userInformation->value().has_value());
    EXPECT_EQ(store_->string("email"), "old@x.example");
    EXPECT_EQ(store_->string("token"), std::nullopt);
    EXPECT_TRUE(network_->requests(Operation::gameList).empty());
  }
}

TEST_F(PlayerUseCaseTest, SignUpThenFailingLogInReportsTheLogInsError) {
  network_->answer(Operation::signUp, {201, testing::envelope({{"id", "9"}})});
  network_->answer(Operation::logIn, {401, "{}"});
  auto player = makePlayer(
      nullptr, std::make_shared<FixedErrorMapper>(FixedErrorMapper::Kind::invalidCredencials));
  Results<void> results;
  player->signUp(SignUpEntity::decode({{"email", "new@x.example"}, {"password", "pw"}}),
                 results.callback());
  ASSERT_TRUE(results.awaitOne());

  EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(PlayerUseCaseError::invalidCredentials));
  ASSERT_EQ(network_->requests().size(), 2u);
  EXPECT_EQ(network_->requests()[1].json(),
            (nlohmann::json{{"email", "new@x.example"}, {"password", "pw"}}));
  // What the sign-up stored stays: the failed log-in writes nothing.
  EXPECT_EQ(
      stored(),
      (Stored{{"email", "new@x.example"}, {"password", "pw"}, {"token", ""}, {"userId", ""}}));
}

TEST_F(PlayerUseCaseTest, SignUpWithoutEmailLogsInWithTheEmptyEmailAndReportsThatLogIn) {
  network_->answer(Operation::signUp, {201, "{}"});
  network_->answer(Operation::logIn, {200, logInBody("server@x.example", "5", "tok")});
  auto player = makePlayer(nullptr);
  Results<void> results;
  player->signUp(SignUpEntity::decode({{"first_name", "Ada"}, {"password", "pw"}}),
                 results.callback());
  ASSERT_TRUE(results.awaitOne());

  EXPECT_EQ(raisedBy(results.thunks[0]), std::nullopt);
  EXPECT_TRUE(player->islogin()->value());
  ASSERT_EQ(network_->requests(Operation::logIn).size(), 1u);
  EXPECT_EQ(network_->requests(Operation::logIn)[0].json(),
            (nlohmann::json{{"email", ""}, {"password", "pw"}}));
  EXPECT_EQ(player->getEmail(), "server@x.example");
  EXPECT_EQ(player->getToken(), "tok");
}

TEST_F(PlayerUseCaseTest, SignUpFailuresRaiseTheirMappedErrorWithoutLoggingIn) {
  struct Row {
    const char* name;
    std::optional<SignUpEntity> entity;
    std::optional<FixedErrorMapper::Kind> mapped;
    PlayerUseCaseError expected;
    bool synchronous;
  };
  const auto entity = SignUpEntity::decode({{"email", "n@x.example"}, {"password", "pw"}});
  const std::vector<Row> rows = {
      {"409 conflict", entity, std::nullopt, PlayerUseCaseError::internalError, false},
      {"no entity: nothing to send", std::nullopt, std::nullopt, PlayerUseCaseError::internalError,
       true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    network_->answer(Operation::signUp, {409, R"({"message":"taken"})"});
    auto mapper = row.mapped ? std::make_shared<FixedErrorMapper>(*row.mapped) : nullptr;
    auto player = makePlayer(nullptr, mapper);
    Results<void> results;
    player->signUp(row.entity, results.callback());
    results.operationReturned = true;
    EXPECT_EQ(results.beforeReturn, row.synchronous ? 1 : 0);
    ASSERT_TRUE(results.awaitOne());
    EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(row.expected));
    EXPECT_TRUE(network_->requests(Operation::logIn).empty());
    EXPECT_FALSE(player->islogin()->value());
  }
}

TEST_F(PlayerUseCaseTest, LogOutReplacesObservablesClearsTheStoreAndSendsNothing) {
  network_->answer(Operation::logIn, {200, logInBody("server@x.example", "77", "tok")});
  network_->answer(Operation::gameList, {200, testing::gamePage({"A", "B"})});
  auto games = makeGames();
  auto player = makePlayer(games);
  player->logIn("typed@x.example", "pw1", [](Thunk<void> thunk) { thunk(); });
  ASSERT_TRUE(runMainUntil([&] { return !network_->requests(Operation::gameList).empty(); }));
  MainQueue::main().drain();

  const auto oldUser = player->userInformation();
  const auto oldGames = games->gameList();
  std::vector<std::string> heard;
  oldUser->observe(screen_, [&](const auto&) { heard.push_back("old user"); });
  oldGames->observe(screen_, [&](const auto&) { heard.push_back("old games"); });
  player->islogin()->observe(screen_, [&](const bool& on) {
    heard.push_back(std::string("islogin:") + (on ? "1" : "0"));
  });
  MainQueue::main().drain();
  heard.clear();
  const auto sent = network_->requests().size();

  player->logOut();
  MainQueue::main().drain();

  EXPECT_THAT(heard, ElementsAre("islogin:0"));
  EXPECT_NE(player->userInformation(), oldUser);
  EXPECT_FALSE(player->userInformation()->value().has_value());
  EXPECT_TRUE(oldUser->value().has_value()) << "the old observable is not written to";
  EXPECT_NE(games->gameList(), oldGames);
  ASSERT_TRUE(games->gameList()->value().isSuccess());
  EXPECT_FALSE(games->gameList()->value().value().has_value());
  EXPECT_FALSE(player->islogin()->value());
  EXPECT_EQ(stored(), kNothingStored);
  EXPECT_EQ(network_->requests().size(), sent);
  EXPECT_EQ(player->getToken(), "");
  EXPECT_EQ(player->getEmail(), "");
  EXPECT_EQ(player->getPassword(), "");
  makePlayer(nullptr)->logOut();  // without a game use case: nothing to reset, no crash
}

TEST_F(PlayerUseCaseTest, SuccessThunkCalledAgainSetsTheFlagAgainEachTime) {
  network_->answer(Operation::logIn, {200, logInBody("server@x.example", "77", "tok")});
  auto player = makePlayer(nullptr);
  Results<void> results;
  player->logIn("typed@x.example", "pw1", results.callback());
  ASSERT_TRUE(results.awaitOne());
  std::vector<bool> flags;
  player->islogin()->observe(screen_, [&](const bool& on) { flags.push_back(on); });
  MainQueue::main().drain();
  EXPECT_THAT(flags, ElementsAre(false));

  for (int call = 0; call < 3; ++call) EXPECT_EQ(raisedBy(results.thunks[0]), std::nullopt);
  MainQueue::main().drain();
  EXPECT_THAT(flags, ElementsAre(false, true, true, true));
  EXPECT_EQ(player->getToken(), "tok") << "repeating the thunk does not log in again";
  EXPECT_EQ(network_->requests().size(), 1u);
}

}  // namespace
}  // namespace velmar
