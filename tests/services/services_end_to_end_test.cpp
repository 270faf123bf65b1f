// The four services over the two real providers: the canned answers shipped with the
// library, and the HTTP provider against a local HTTPS server reached through a route.
#include <gtest/gtest.h>

#include <string>

#include "data/network/api_environment.hpp"
#include "data/network/network_mock.hpp"
#include "data/network/network_service.hpp"
#include "data/service/game_service.hpp"
#include "data/service/log_in_service.hpp"
#include "data/service/sign_up_service.hpp"
#include "data/service/utils_service.hpp"
#include "support/certificates.hpp"
#include "support/queue.hpp"
#include "support/temp_dir.hpp"
#include "support/test_server.hpp"
#include "velmar/key_store.hpp"
#include "velmar/session_configuration.hpp"
#include "support/entities/record_access.hpp"

namespace velmar {
namespace {

// Waits on the main queue for the one result a service reports.
template <typename R>
R await(const std::function<void(std::function<void(R)>)>& start) {
  std::optional<R> outcome;
  int calls = 0;
  start([&](R result) {
    ++calls;
    outcome.emplace(std::move(result));
  });
  EXPECT_TRUE(testing::runMainUntil([&] { return calls > 0; }));
  MainQueue::main().drain();
  EXPECT_EQ(calls, 1);
  return std::move(*outcome);
}

SignUpEntity newPlayer() {
  return SignUpEntity::decode({{"email", "new@example.com"}, {"password", "pw"}});
}

class ServicesOverCannedAnswersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
  }
  std::shared_ptr<NetworkProvider> mock_ = std::make_shared<NetworkMock>();
};

TEST_F(ServicesOverCannedAnswersTest, EveryOperationButSignUpSucceeds) {
  auto login = std::make_shared<LogInService>(LogInServiceDependencies(nullptr, mock_));
  auto logged = await<LogInResult>([&](auto done) { login->logInRequest("a", "b", done); });
  ASSERT_TRUE(logged.isSuccess());
  EXPECT_TRUE(logged.value().token().has_value());
  ASSERT_TRUE(logged.value().player().has_value());

  auto games = std::make_shared<GameService>(GameServiceDependencies(nullptr, mock_));
  auto page1 = await<GameListResult>([&](auto done) { games->gameListRequest(1, done); });
  auto page2 = await<GameListResult>([&](auto done) { games->gameListRequest(2, done); });
  ASSERT_TRUE(page1.isSuccess());
  EXPECT_GE(page1.value().size(), 20u);
  EXPECT_EQ(page1, page2) << "every canned page is the same page";

  auto launch = await<LaunchGameResult>([&](auto done) {
    games->launchGameRequest(LaunchGameEntity::decode({{"game_id", "x"}}), done);
  });
  ASSERT_TRUE(launch.isSuccess());
  EXPECT_TRUE(launch.value().playForFun().has_value());

  auto utils = std::make_shared<UtilsService>(UtilsServiceDependencies(nullptr, nullptr, mock_));
  auto currencies = await<CurrencyListResult>([&](auto done) { utils->getCurriencies(done); });
  ASSERT_TRUE(currencies.isSuccess());
  EXPECT_GE(currencies.value().size(), 3u);
  auto balance = await<BalanceResult>([&](auto done) { utils->getBalance("1042", done); });
  ASSERT_TRUE(balance.isSuccess());
  EXPECT_TRUE(internal::RecordAccess::amount(balance.value()).has_value());

  auto signUp = std::make_shared<SignUpService>(SignUpServiceDependencies(nullptr, nullptr, mock_));
  auto registered =
      await<SignUpResult>([&](auto done) { signUp->signUpRequest(newPlayer(), done); });
  ASSERT_FALSE(registered.isSuccess());
  EXPECT_EQ(registered.error(), SignUpServiceError::serverError("200"));
}

TEST_F(ServicesOverCannedAnswersTest, AMissingCannedFileIsATransportFailure) {
  testing::TempDir empty;
  auto nowhere = std::make_shared<NetworkMock>(empty.path());
  auto utils = std::make_shared<UtilsService>(UtilsServiceDependencies(nullptr, nullptr, nowhere));
  auto balance = await<BalanceResult>([&](auto done) { utils->getBalance("1", done); });
  ASSERT_FALSE(balance.isSuccess());
  EXPECT_EQ(balance.error(), UtilsServiceError::createURLError("Error"));
}

// The development environment's host, as the request URLs carry it.
std::string devHost() {
  std::string base(rawValue(Environment::DEV));
  auto start = base.find("://") + 3;
  return base.substr(start, base.find('/', start) - start);
}

class ServicesOverHttpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
    APIEnvironment::shared().setApiEnvironment(Environment::DEV);
    certificates_ = testing::generateCertificates(dir_.path(), {devHost()});
    server_ = std::make_unique<testing::TestServer>(certificates_.certFile, certificates_.keyFile);
    SessionConfiguration config;
    config.caBundleFile = certificates_.caFile.string();
    config.connectTo = {server_->routeFrom(devHost(), 443)};
    configureSession(config);
  }
  void TearDown() override { configureSession(SessionConfiguration{}); }

  testing::TempDir dir_;
  testing::TestCertificates certificates_;
  std::unique_ptr<testing::TestServer> server_;
};

TEST_F(ServicesOverHttpsTest, OneRoundTripPerService) {
  server_->setHandler([](const testing::RecordedRequest& request) -> testing::ScriptedResponse {
    if (request.target == "/api/v1/login") {
      return {200, R"({"result":{"token":"tok","player":{"id":"9"}}})"};
    }
    if (request.target == "/api/v1/players") return {201, R"({"result":{"id":"10"}})"};
    if (request.target.starts_with("/api/v1/list_games?page=3&per_page=50")) {
      return {200, R"({"result":[{"id":1,"name":"A"},{"id":"bad"},{"id":3,"name":"C"}]})"};
    }
    if (request.target == "/api/v1/launch_game") {
      return {200, R"({"result":{"play_for_fun":"https://fun"}})"};
    }
    if (request.target == "/api/v1/currencies") {
      return {200, R"({"result":[{"alphabetic_code":"EUR"}]})"};
    }
    if (request.target == "/api/v1/balances/player/9") {
      return {200, R"({"result":[{"amount":12.25}]})"};
    }
    return {404, R"({"error":"no route"})"};
  });

  auto login = std::make_shared<LogInService>();
  auto logged = await<LogInResult>([&](auto done) { login->logInRequest("a@b.c", "pw", done); });
  ASSERT_TRUE(logged.isSuccess());
  EXPECT_EQ(logged.value().token(), "tok");

  auto signUp = std::make_shared<SignUpService>();
  auto registered =
      await<SignUpResult>([&](auto done) { signUp->signUpRequest(newPlayer(), done); });
  ASSERT_TRUE(registered.isSuccess());
  const std::string body(registered.value()->begin(), registered.value()->end());
  EXPECT_EQ(body, R"({"result":{"id":"10"}})");

  auto games = std::make_shared<GameService>();
  auto page = await<GameListResult>([&](auto done) { games->gameListRequest(3, done); });
  ASSERT_TRUE(page.isSuccess());
  ASSERT_EQ(page.value().size(), 2u);
  EXPECT_EQ(page.value()[1].name(), "C");
  auto launch = await<LaunchGameResult>([&](auto done) {
    games->launchGameRequest(LaunchGameEntity::decode({{"game_id", "x"}}), done);
  });
  ASSERT_TRUE(launch.isSuccess());
  EXPECT_EQ(launch.value().playForFun(), "https://fun");

  auto utils = std::make_shared<UtilsService>();
  auto currencies = await<CurrencyListResult>([&](auto done) { utils->getCurriencies(done); });
  ASSERT_TRUE(currencies.isSuccess());
  EXPECT_EQ(currencies.value().at(0).alphabeticCode(), "EUR");
  auto balance = await<BalanceResult>([&](auto done) { utils->getBalance("9", done); });
  ASSERT_TRUE(balance.isSuccess());
  EXPECT_EQ(internal::RecordAccess::amount(balance.value()), 12.25);

  EXPECT_EQ(server_->requestCount(), 6u);
  EXPECT_EQ(server_->connectionCount(), 1u) << "one connection for the whole conversation";
}

}  // namespace
}  // namespace velmar
