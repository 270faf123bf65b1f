#include "data/network/network_service.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/json.hpp"
#include "velmar/preference_data.hpp"
#include "network/network_test_support.hpp"
#include "support/certificates.hpp"
#include "support/raw_server.hpp"
#include "support/temp_dir.hpp"
#include "support/test_server.hpp"
#include "velmar/key_store.hpp"
#include "velmar/session_configuration.hpp"

namespace velmar {
namespace {

using testing::authorityOf;
using testing::awaitOne;
using testing::RawServer;
using testing::ScriptedResponse;
using testing::send;
using testing::TestServer;

// DEV and STG are served over HTTPS by a server whose certificate a test authority signed,
// PROD over plain HTTP; routes keep every URL exactly the environment's.
class NetworkServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_.emplace();
    const std::vector<std::string> names = {authorityOf(Environment::DEV).host,
                                            authorityOf(Environment::STG).host};
    authority_.emplace(directory_->path());
    trusted_ = authority_->issue("server", names);
    anotherHost_ = authority_->issue("another-host", {"other.velmar.example"});
    using std::chrono::hours;
    expired_ = authority_->issue("expired", names, {hours(-48), hours(-24)});
    notYetValid_ = authority_->issue("not-yet-valid", names, {hours(24), hours(48)});
    const auto other = directory_->path() / "other";
    std::filesystem::create_directory(other);
    untrusted_ = testing::generateCertificates(other, names);
  }
  static void TearDownTestSuite() {
    authority_.reset();
    directory_.reset();
  }

  void SetUp() override {
    KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
    APIEnvironment::shared().setApiEnvironment(Environment::DEV);
    https_ = std::make_unique<TestServer>(trusted_.certFile, trusted_.keyFile);
    http_ = std::make_unique<TestServer>();
    routeTo(https_->port(), http_->port());
  }

  void TearDown() override {
    EXPECT_TRUE(MainQueue::main().runUntilIdle(testing::kWait));
    configureSession({});
    APIEnvironment::shared().setApiEnvironment(Environment::DEV);
  }

  // Routes DEV and STG to `tlsPort` and PROD to `plainPort` on 127.0.0.1.
  static void routeTo(int tlsPort, int plainPort, SessionConfiguration config = {}) {
    auto route = [](Environment environment, int port) {
      const auto [host, from] = authorityOf(environment);
      return host + ":" + std::to_string(from) + ":127.0.0.1:" + std::to_string(port);
    };
    config.caBundleFile = trusted_.caFile.string();
    config.connectTo = {route(Environment::DEV, tlsPort), route(Environment::STG, tlsPort),
                        route(Environment::PROD, plainPort)};
    configureSession(std::move(config));
  }

  TestServer& serverFor(Environment environment) {
    return environment == Environment::PROD ? *http_ : *https_;
  }

  static inline std::optional<testing::TempDir> directory_;
  static inline std::optional<testing::TestAuthority> authority_;
  static inline testing::TestCertificates trusted_;
  // Signed by the trusted authority, but for other.velmar.example only.
  static inline testing::TestCertificates anotherHost_;
  static inline testing::TestCertificates expired_;
  static inline testing::TestCertificates notYetValid_;
  static inline testing::TestCertificates untrusted_;
  std::unique_ptr<TestServer> https_;
  std::unique_ptr<TestServer> http_;
};

TEST_F(NetworkServiceTest, ServersReceiveEveryRouteExactlyInEveryEnvironment) {
  PreferenceData().saveUserData("a@b.c", "pw", "tok-9f", "u1");
  const nlohmann::json signUp = {{"email", "n@b.c"}, {"password", "pw"}, {"currency", "EUR"}};
  const nlohmann::json launch = {{"game_id", "g-1"}, {"provider_id", 7}, {"demo", true}};
  struct Row {
    Repository repository;
    std::string method;
    std::string target;  // after "/api/v1"
    std::optional<nlohmann::json> body;
  };
  const Row rows[] = {
      {Repository::logIn("a@b.c", "pw"), "POST", "/login",
       nlohmann::json{{"email", "a@b.c"}, {"password", "pw"}}},
      {Repository::signUp(signUp), "POST", "/players", signUp},
      {Repository::signUp(nlohmann::json::object()), "POST", "/players", nlohmann::json::object()},
      {Repository::getGamesList(1), "GET", "/list_games?page=1&per_page=50", std::nullopt},
      {Repository::getGamesList(0), "GET", "/list_games?page=0&per_page=50", std::nullopt},
      {Repository::getGamesList(-1), "GET", "/list_games?page=-1&per_page=50", std::nullopt},
      {Repository::launchGame(launch), "POST", "/launch_game", launch},
      {Repository::getBalance("p-42"), "GET", "/balances/player/p-42", std::nullopt},
      {Repository::getBalance(""), "GET", "/balances/player/", std::nullopt},
      {Repository::getCurrencies(), "GET", "/currencies", std::nullopt},
  };
  for (auto environment : {Environment::DEV, Environment::STG, Environment::PROD}) {
    APIEnvironment::shared().setApiEnvironment(environment);
    TestServer& server = serverFor(environment);
    const auto [host, port] = authorityOf(environment);
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(rawValue(environment)) + row.target);
      const std::size_t before = server.requestCount();
      auto delivery = send(row.repository);
      awaitOne(*delivery);
      EXPECT_EQ(delivery->status, 200);
      ASSERT_EQ(server.requestCount(), before + 1);
      const auto received = server.requests().back();
      EXPECT_EQ(received.method, row.method);
      EXPECT_EQ(received.target, "/api/v1" + row.target);
      EXPECT_EQ(received.header("Host"), port == 443 ? host : host + ":" + std::to_string(port));
      EXPECT_EQ(received.header("Authentication-Type"), "default");
      EXPECT_EQ(received.header("Content-Type"), "application/json");
      EXPECT_EQ(received.header("Authorization"), "Bearer tok-9f");
      std::set<std::string> names;
      for (const auto& field : received.headers) names.insert(field.first);
      // Accept-Encoding: every encoding libcurl decodes is offered.
      std::set<std::string> expected = {"Host", "Authentication-Type", "Content-Type",
                                        "Authorization", "Accept-Encoding"};
      if (row.body) {
        expected.insert("Content-Length");
        EXPECT_EQ(json::parse(received.body), row.body);
      } else {
        EXPECT_EQ(received.body, "");
      }
      EXPECT_EQ(names, expected) << "nothing but the request's own headers";
    }
  }
}

// The encodings Debian's libcurl decodes, offered by every request.
const std::string kOffered = "Accept-Encoding: deflate, gzip, br, zstd\r\n";

TEST_F(NetworkServiceTest, TheWireCarriesTheHeadersInOrderWithTheBareBearer) {
  RawServer raw(
      [](const std::string&) { return RawServer::Reply{RawServer::response(200, "{}")}; });
  routeTo(https_->port(), raw.port());
  APIEnvironment::shared().setApiEnvironment(Environment::PROD);
  const auto [host, port] = authorityOf(Environment::PROD);
  EXPECT_EQ(port, 5050);

  awaitOne(*send(Repository::getCurrencies()));
  awaitOne(*send(Repository::logIn("a@b.c", "pw")));

  const auto requests = raw.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0],
            "GET /api/v1/currencies HTTP/1.1\r\n"
            "Host: " +
                host + ":5050\r\n" + kOffered +
                "Authentication-Type: default\r\n"
                "Content-Type: application/json\r\n"
                "Authorization: Bearer \r\n\r\n");
  const std::string body = R"({"email":"a@b.c","password":"pw"})";
  EXPECT_EQ(requests[1],
            "POST /api/v1/login HTTP/1.1\r\n"
            "Host: " +
                host + ":5050\r\n" + kOffered +
                "Authentication-Type: default\r\n"
                "Content-Type: application/json\r\n"
                "Authorization: Bearer \r\n"
                "Content-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body);
}

// Handles are reused from request to request: nothing of a POST may linger in the GET after
// it, and nothing of a GET in the POST after that.
TEST_F(NetworkServiceTest, AReusedHandleSendsOnlyItsOwnRequest) {
  RawServer raw([](const std::string&) {
    RawServer::Reply reply;
    reply.bytes = RawServer::response(200, "{}");
    return reply;
  });
  routeTo(https_->port(), raw.port());
  APIEnvironment::shared().setApiEnvironment(Environment::PROD);
  const auto host = authorityOf(Environment::PROD).host + ":5050";
  const std::string body = R"({"email":"a@b.c","password":"pw"})";
  const std::string post = "POST /api/v1/login HTTP/1.1\r\nHost: " + host + "\r\n" +
                           kOffered + "Authentication-Type: default\r\nContent-Type: "
                           "application/json\r\nAuthorization: Bearer \r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n\r\n" + body;
  const std::string get = "GET /api/v1/currencies HTTP/1.1\r\nHost: " + host + "\r\n" +
                          kOffered + "Authentication-Type: default\r\nContent-Type: "
                          "application/json\r\nAuthorization: Bearer \r\n\r\n";

  for (int round = 0; round < 3; ++round) {
    awaitOne(*send(Repository::logIn("a@b.c", "pw")));
    awaitOne(*send(Repository::getCurrencies()));
  }
  const auto requests = raw.requests();
  ASSERT_EQ(requests.size(), 6u);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    EXPECT_EQ(requests[i], i % 2 == 0 ? post : get) << "request " << i;
  }
}

// Each request is sent with the configuration in force when it was made, whatever the handle
// or the open connection it ends up on served before.
TEST_F(NetworkServiceTest, EveryRequestUsesTheConfigurationItStartedWith) {
  https_->respondWith(ScriptedResponse{200, std::string(2048, 'x')});
  SessionConfiguration capped;
  capped.maxResponseBytes = 1024;
  SessionConfiguration systemTrust;  // no CA file: the test authority is not trusted
  systemTrust.connectTo = {authorityOf(Environment::DEV).host +
                           ":443:127.0.0.1:" + std::to_string(https_->port())};
  struct Step {
    const char* what;
    std::function<void()> configure;
    bool succeeds;
  };
  const std::vector<Step> steps = {
      {"trusted, no cap", [&] { routeTo(https_->port(), http_->port()); }, true},
      {"capped below the body", [&] { routeTo(https_->port(), http_->port(), capped); }, false},
      {"cap lifted again", [&] { routeTo(https_->port(), http_->port()); }, true},
      {"test authority no longer trusted", [&] { configureSession(systemTrust); }, false},
      {"trusted again", [&] { routeTo(https_->port(), http_->port()); }, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.configure();
    auto delivery = send(Repository::getCurrencies());
    awaitOne(*delivery);
    EXPECT_EQ(delivery->status.has_value(), step.succeeds);
    EXPECT_EQ(delivery->bodyText().size(), step.succeeds ? 2048u : 0u);
  }
}

TEST_F(NetworkServiceTest, StatusAndBodyPassThroughUnchanged) {
  const std::string json = R"({"result":{"message":"as sent"},"success":false})";
  for (int status : {200, 201, 400, 401, 404, 500, 503}) {
    for (const std::string& body : {std::string(), json}) {
      SCOPED_TRACE(std::to_string(status) + " body:" + body);
      https_->respondWith(ScriptedResponse{status, body});
      for (const auto& repository : {Repository::getGamesList(1), Repository::getCurrencies(),
                                     Repository::signUp({{"email", "e"}})}) {
        auto delivery = send(repository);
        awaitOne(*delivery);
        EXPECT_EQ(delivery->status, status);
        EXPECT_EQ(delivery->bodyText(), body);
        if (std::holds_alternative<Repository::SignUp>(repository.value())) {
          ASSERT_TRUE(delivery->result.has_value());
          EXPECT_TRUE(delivery->result->isSuccess()) << "a status is never a sign-up failure";
        }
      }
    }
  }
}

// Every transport failure: absent status and body, a failed sign-up result, one callback.
void expectTransportFailure(const char* what) {
  SCOPED_TRACE(what);
  for (const auto& repository : {Repository::getBalance("p1"), Repository::signUp({{"a", 1}})}) {
    auto delivery = send(repository);
    awaitOne(*delivery);
    EXPECT_EQ(delivery->status, std::nullopt);
    EXPECT_EQ(delivery->body, std::nullopt);
    if (std::holds_alternative<Repository::SignUp>(repository.value())) {
      ASSERT_TRUE(delivery->result.has_value());
      EXPECT_FALSE(delivery->result->isSuccess());
      EXPECT_FALSE(delivery->result->error().message.empty());
    }
  }
}

TEST_F(NetworkServiceTest, ARefusedConnectionIsATransportFailure) {
  routeTo(testing::unusedPort(), testing::unusedPort());
  expectTransportFailure("DEV, refused");
  APIEnvironment::shared().setApiEnvironment(Environment::PROD);
  expectTransportFailure("PROD, refused");
}

TEST_F(NetworkServiceTest, AConnectionClosedMidBodyIsATransportFailure) {
  RawServer raw([](const std::string&) {
    return RawServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"result\":"};
  });
  routeTo(https_->port(), raw.port());
  APIEnvironment::shared().setApiEnvironment(Environment::PROD);
  expectTransportFailure("closed mid-body");
  EXPECT_EQ(raw.requests().size(), 2u);
}

// A certificate that does not prove the server is the environment's host is refused the same
// way, whatever is wrong with it, and before anything is sent.
TEST_F(NetworkServiceTest, ACertificateThatDoesNotProveTheHostIsATransportFailure) {
  const std::pair<const char*, const testing::TestCertificates*> impostors[] = {
      {"unknown authority", &untrusted_},
      {"trusted authority, another host", &anotherHost_},
      {"trusted authority, expired", &expired_},
      {"trusted authority, not yet valid", &notYetValid_},
  };
  for (const auto& [what, certificates] : impostors) {
    TestServer impostor(certificates->certFile, certificates->keyFile);
    routeTo(impostor.port(), http_->port());
    for (auto environment : {Environment::DEV, Environment::STG}) {
      APIEnvironment::shared().setApiEnvironment(environment);
      expectTransportFailure(what);
    }
    EXPECT_EQ(impostor.requestCount(), 0u)
        << what << ": nothing may be sent before the peer is verified";
  }
}

TEST_F(NetworkServiceTest, ABodyOverTheCapIsATransportFailure) {
  SessionConfiguration capped;
  capped.maxResponseBytes = 1024;
  routeTo(https_->port(), http_->port(), capped);

  https_->respondWith(ScriptedResponse{200, std::string(1024, 'x')});
  auto atCap = send(Repository::getCurrencies());
  awaitOne(*atCap);
  EXPECT_EQ(atCap->status, 200);
  EXPECT_EQ(atCap->bodyText().size(), 1024u);

  https_->respondWith(ScriptedResponse{200, std::string(1025, 'x')});
  expectTransportFailure("announced length over the cap");

  // No length announced: the cap is met while the body streams in.
  RawServer raw([](const std::string&) {
    return RawServer::Reply{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" +
                            std::string(4096, 'y')};
  });
  routeTo(https_->port(), raw.port(), capped);
  APIEnvironment::shared().setApiEnvironment(Environment::PROD);
  expectTransportFailure("streamed body over the cap");
}

TEST_F(NetworkServiceTest, AServerThatNeverAnswersTimesOut) {
  RawServer raw([](const std::string&) { return RawServer::Reply{"", true, true}; });
  SessionConfiguration quick;
  quick.timeoutOverride = std::chrono::milliseconds(300);
  routeTo(https_->port(), raw.port(), quick);
  APIEnvironment::shared().setApiEnvironment(Environment::PROD);
  expectTransportFailure("timeout");
}

TEST_F(NetworkServiceTest, SequentialRequestsShareOneConnection) {
  for (auto environment : {Environment::DEV, Environment::PROD}) {
    APIEnvironment::shared().setApiEnvironment(environment);
    TestServer& server = serverFor(environment);
    for (int i = 0; i < 100; ++i) {
      auto delivery = send(Repository::getGamesList(i));
      awaitOne(*delivery);
      ASSERT_EQ(delivery->status, 200);
    }
    EXPECT_EQ(server.requestCount(), 100u);
    EXPECT_EQ(server.connectionCount(), 1u) << rawValue(environment);
  }
}

TEST_F(NetworkServiceTest, ConcurrentRequestsEachGetTheirOwnAnswerOnce) {
  https_->setHandler([](const testing::RecordedRequest& request) {
    return ScriptedResponse{200, nlohmann::json{{"target", request.target}}.dump()};
  });
  constexpr int kCount = 32;
  std::vector<std::shared_ptr<testing::Delivery>> deliveries;
  for (int page = 0; page < kCount; ++page) {
    deliveries.push_back(send(Repository::getGamesList(page)));
  }
  ASSERT_TRUE(testing::runMainUntil([&] {
    return std::all_of(deliveries.begin(), deliveries.end(),
                       [](const auto& d) { return d->calls > 0; });
  }));
  ASSERT_TRUE(MainQueue::main().runUntilIdle(testing::kWait));
  for (int page = 0; page < kCount; ++page) {
    const auto& delivery = *deliveries[static_cast<std::size_t>(page)];
    EXPECT_EQ(delivery.calls, 1);
    EXPECT_TRUE(delivery.onMainThread);
    EXPECT_EQ(delivery.status, 200);
    const auto answer = json::parse(delivery.bodyText());
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ((*answer)["target"],
              "/api/v1/list_games?page=" + std::to_string(page) + "&per_page=50");
  }
  EXPECT_EQ(https_->requestCount(), static_cast<std::size_t>(kCount));
}

TEST(NetworkServiceInjectTest, IsOneProcessWideProvider) {
  const auto first = NetworkService::inject();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, NetworkService::inject());
  EXPECT_NE(dynamic_cast<NetworkService*>(first.get()), nullptr);
}

}  // namespace
}  // namespace velmar
