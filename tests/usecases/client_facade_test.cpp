#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/credential_home.hpp"
#include "use_case_test_util.hpp"
#include "velmar/client.hpp"

namespace velmar {
namespace {

using testing::Operation;
using ::testing::ElementsAre;
using testing::envelope;
using ::testing::HasSubstr;
using testing::logInBody;
using ::testing::StartsWith;
using testing::UseCaseTest;

const std::string kCurrencies = envelope({{{"id", "1"}, {"alphabetic_code", "EUR"}}});

// The facade is one per process and reads the stored token only once, on the first
// initialize, so each test puts its own use cases in place. A first start without a token is
// the command-line tool's everyday case and checked there.
class ClientFacadeTest : public UseCaseTest {
 protected:
  void SetUp() override {
    UseCaseTest::SetUp();
    facade().setLogSink([this](std::string_view line) { lines_.emplace_back(line); });
  }
  void TearDown() override {
    UseCaseTest::TearDown();
    facade().setPlayer(nullptr);
    facade().setArcade(nullptr);
    facade().setUtils(nullptr);
    facade().setLogSink(nullptr);
  }

  static Velmar& facade() { return Velmar::instance(); }

  // Fresh use cases over the scripted network, sharing one game use case as the facade's do.
  void install() {
    games_ = makeGames();
    player_ = makePlayer(games_);
    utils_ = makeUtils();
    facade().setArcade(games_);
    facade().setPlayer(player_);
    facade().setUtils(utils_);
  }

  void settle() { EXPECT_TRUE(MainQueue::main().runUntilIdle(testing::kWait)); }

  std::shared_ptr<GameUseCase> games_;
  std::shared_ptr<PlayerUseCase> player_;
  std::shared_ptr<UtilsUseCase> utils_;
  std::vector<std::string> lines_;
};

// However the facade's use cases come about (made on first use, or over a host's provider),
// the player holds the arcade's game use case: a log-in fills its list, a log-out resets it.
TEST_F(ClientFacadeTest, ThePlayerSharesTheArcadesGameUseCase) {
  for (const bool hostProvider : {false, true}) {
    SCOPED_TRACE(hostProvider ? "host provider" : "made on first use");
    facade().setPlayer(nullptr);
    facade().setArcade(nullptr);
    if (hostProvider) facade().useNetworkProvider(network_);
    auto player = facade().player();
    auto arcade = facade().arcade();
    if (hostProvider) {
      network_->answer(Operation::logIn, {200, logInBody("me@x.example", "77", "t")});
      network_->answer(Operation::gameList, {200, testing::gamePage({"A"})});
      player->logIn("me@x.example", "pw", [](Thunk<void>) {});
      settle();
      EXPECT_EQ(arcade->gameList()->value().value()->size(), 1u);
    }
    const auto list = arcade->gameList();
    player->logOut();
    EXPECT_NE(arcade->gameList(), list);
  }
}

TEST_F(ClientFacadeTest, GameListShortcutsForwardToTheArcade) {
  install();
  network_->answer(Operation::gameList, {200, testing::gamePage({"A"})});
  std::string pages;
  for (auto shortcut : {&Velmar::downloadMoreGameList, &Velmar::downloadMoreGameList,
                        &Velmar::downloadGameList}) {
    (facade().*shortcut)();
    settle();
    const std::string url = network_->requests(Operation::gameList).back().request.url;
    pages += url.substr(url.find("?page=") + 6, 1);
  }
  EXPECT_EQ(pages, "121");
}

// One function on purpose: the token the first initialize reads is kept for the process.
TEST_F(ClientFacadeTest, StoredSessionIsRestoredAndFailuresPrintOneLineEach) {
  KeychainWrapper::standard().set("me@x.example", "email");
  KeychainWrapper::standard().set("pw", "password");
  KeychainWrapper::standard().set("tok", "token");
  install();
  network_->answer(Operation::logIn, {200, logInBody("me@x.example", "77", "tok2")});
  network_->answer(Operation::currencies, {200, kCurrencies});
  network_->answer(Operation::gameList, {200, testing::gamePage({"A"})});

  // Restore on the first initialize.
  facade().initialize(ApiEnvironment::DEV);
  ASSERT_EQ(network_->requests().size(), 2u);
  EXPECT_EQ(network_->requests()[0].operation, Operation::logIn);
  EXPECT_EQ(network_->requests()[0].json(),
            (nlohmann::json{{"email", "me@x.example"}, {"password", "pw"}}));
  EXPECT_EQ(network_->requests()[1].operation, Operation::currencies);
  settle();
  EXPECT_TRUE(player_->islogin()->value()) << "the logging callback calls the thunk";
  EXPECT_EQ(network_->requests(Operation::gameList).size(), 1u) << "a restored log-in fetches page 1";
  EXPECT_TRUE(lines_.empty());

  // Environments are converted by name; the requests of each call go there. A key store
  // that cannot reach its home is told to the log once, by the next initialize.
  internal::postKeyStoreNotice("key store: out of reach");
  const std::vector<std::pair<ApiEnvironment, Environment>> environments = {
      {ApiEnvironment::STG, Environment::STG},
      {ApiEnvironment::PROD, Environment::PROD},
      {ApiEnvironment::DEV, Environment::DEV}};
  for (const auto& [api, environment] : environments) {
    SCOPED_TRACE(std::string(rawValue(environment)));
    EXPECT_EQ(baseURL(api), rawValue(environment)) << "the address a host is told";
    const auto before = network_->requests().size();
    facade().initialize(api);
    EXPECT_EQ(APIEnvironment::shared().apiEnvironment(), environment);
    ASSERT_EQ(network_->requests().size(), before + 2);
    for (auto i = before; i < before + 2; ++i) {
      EXPECT_THAT(network_->requests()[i].request.url, StartsWith(std::string(rawValue(environment))));
    }
    settle();
  }
  EXPECT_THAT(lines_, ElementsAre("key store: out of reach"));
  lines_.clear();

  // A failing restore prints one line and changes nothing else.
  network_->answer(Operation::logIn, {std::nullopt, std::nullopt});
  const auto storedBefore = stored();
  const auto user = player_->userInformation();
  int flagDeliveries = 0;
  player_->islogin()->observe(screen_, [&](const bool&) { ++flagDeliveries; });
  settle();
  flagDeliveries = 0;
  const auto gamePages = network_->requests(Operation::gameList).size();
  facade().initialize(ApiEnvironment::DEV);
  settle();
  EXPECT_THAT(lines_, ElementsAre(HasSubstr("internalError")));
  EXPECT_EQ(flagDeliveries, 0);
  EXPECT_EQ(player_->userInformation(), user);
  EXPECT_EQ(stored(), storedBefore);
  EXPECT_EQ(network_->requests(Operation::gameList).size(), gamePages);

  // After a log-out the cached token still restores, now with the emptied credentials; a
  // failing currency download prints its own line.
  player_->logOut();
  lines_.clear();
  network_->answer(Operation::logIn, {200, "{}"});
  network_->answer(Operation::currencies, {500, "{}"});
  facade().initialize(ApiEnvironment::DEV);
  ASSERT_EQ(network_->requests(Operation::logIn).size(), 6u);
  EXPECT_EQ(network_->requests(Operation::logIn).back().json(),
            (nlohmann::json{{"email", ""}, {"password", ""}}));
  settle();
  EXPECT_EQ(lines_.size(), 2u);
  EXPECT_FALSE(player_->islogin()->value());
}

}  // namespace
}  // namespace velmar
