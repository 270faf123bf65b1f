#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "use_case_test_util.hpp"

namespace velmar {
namespace {

using ::testing::ElementsAre;
using testing::logInBody;
using testing::Operation;
using testing::raisedBy;
using testing::RefusingMapper;
using testing::Results;
using testing::runMainUntil;

class PlayerUseCaseTest : public testing::UseCaseTest {
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
    network_->answer(Operation::gameList, {200, testing::gamePage({"A"})});
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

TEST_F(PlayerUseCaseTest, RefusedLogInRaisesTheMappedErrorAndChangesNothing) {
  struct Row {
    std::shared_ptr<DataDomainMapperProvider> mapper;
    PlayerUseCaseError expected;
  };
  for (const auto& row : std::vector<Row>{{std::make_shared<RefusingMapper>(),
                                           PlayerUseCaseError::invalidCredentials},
                                          {nullptr, PlayerUseCaseError::internalError}}) {
    SetUp();
    KeychainWrapper::standard().set("old@x.example", std::string(kEmailKey));
    network_->answer(Operation::logIn, {401, "<html>no</html>"});
    auto player = makePlayer(makeGames(), row.mapper);
    watch(player);
    Results<void> results;
    player->logIn("a@x.example", "pw", results.callback());
    ASSERT_TRUE(results.awaitOne());
    EXPECT_EQ(raisedBy(results.thunks[0]), make_error_code(row.expected));
    EXPECT_THAT(log_, ElementsAre("request:logIn")) << "no delivery, no page";
    EXPECT_EQ(stored(), (Stored{"old@x.example", std::nullopt, std::nullopt, std::nullopt}));
  }
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
    network_->answer(Operation::signUp, {row.signUpStatus, testing::envelope({{"id", "9"}})});
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
  network_->answer(Operation::gameList, {200, testing::gamePage({"A", "B"})});
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

}  // namespace
}  // namespace velmar
