#include "data/network/network_service.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "data/network/repository.hpp"
#include "platform/http_url.hpp"
#include "support/raw_server.hpp"
#include "support/session.hpp"
#include "support/temp_dir.hpp"
#include "velmar/preference_data.hpp"

namespace velmar {
namespace {

using testing::authorityOf;
using testing::RawServer;
using Reply = RawServer::Reply;

// Everything the provider handed one callback.
struct Delivery {
  int calls = 0;
  bool onMainThread = true;
  std::optional<std::int64_t> status;
  std::optional<Bytes> body;
  std::optional<Result<std::optional<Bytes>, http::Error>> signUp;  // sign-up's own outcome
  std::string text() const { return body ? std::string(body->begin(), body->end()) : ""; }
};

// Builds `repository` and starts it through the NetworkService operation serving its case.
std::shared_ptr<Delivery> start(const Repository& repository) {
  auto delivery = std::make_shared<Delivery>();
  DataCallback onData = [delivery, main = std::this_thread::get_id()](auto status, auto body) {
    ++delivery->calls;
    delivery->onMainThread = delivery->onMainThread && std::this_thread::get_id() == main;
    delivery->status = status;
    delivery->body = std::move(body);
  };
  using Operation = void (NetworkProvider::*)(const http::Request&, DataCallback);
  const Operation operations[] = {
      &NetworkProvider::logInRequest,    nullptr,
      &NetworkProvider::gameListRequest, &NetworkProvider::launchGameRequest,
      &NetworkProvider::getBalance,      &NetworkProvider::getCurrencyList};
  const auto request = repository.asURLRequest().value();
  if (const auto index = repository.value().index(); index != 1) {
    (NetworkService::inject().get()->*operations[index])(request, onData);
  } else {
    NetworkService::inject()->signUpRequest(request, [delivery, onData](auto status, auto result) {
      delivery->signUp = result;
      onData(status, result.isSuccess() ? result.value() : std::nullopt);
    });
  }
  EXPECT_EQ(delivery->calls, 0) << "a callback must never run inline";
  return delivery;
}

// Once nothing is pending, each delivery must have come once, on the main thread.
void expectSettled(const std::vector<std::shared_ptr<Delivery>>& deliveries) {
  ASSERT_TRUE(testing::runMainUntil([&] {
    return std::all_of(deliveries.begin(), deliveries.end(), [](auto& d) { return d->calls > 0; });
  }));
  ASSERT_TRUE(MainQueue::main().runUntilIdle(testing::kWait));
  for (const auto& delivery : deliveries) {
    EXPECT_EQ(delivery->calls, 1);
    EXPECT_TRUE(delivery->onMainThread);
  }
}

Delivery send(const Repository& repository) {
  const auto delivery = start(repository);
  return expectSettled({delivery}), *delivery;
}

RawServer::Script answering(std::string body) {
  return [body](auto&) { return Reply{RawServer::response(200, body), false}; };
}

// DEV and STG are served over TLS with a certificate a test authority signed for their hosts,
// PROD over plain HTTP; routes keep every URL exactly the environment's.
class NetworkTest : public testing::SessionTest {
 protected:
  static void SetUpTestSuite() {
    std::filesystem::create_directory(directory_.path() / "other");
    const std::vector<std::string> names = {authorityOf(Environment::DEV).host,
                                            authorityOf(Environment::STG).host};
    testing::TestAuthority authority(directory_.path());
    trusted_ = authority.issue(names);
    using std::chrono::hours;
    impostors_ = {
        {"unknown authority", testing::TestAuthority(directory_.path() / "other").issue(names)},
        {"another host", authority.issue({"other.velmar.example"})},
        {"expired", authority.issue(names, {hours(-48), hours(-24)})},
        {"not yet valid", authority.issue(names, {hours(24), hours(48)})}};
  }
  void SetUp() override { SessionTest::SetUp(), route(tls_.port(), plain_.port()); }

  // Sends DEV and STG to `tlsPort` and PROD to `plainPort` on 127.0.0.1.
  static void route(int tlsPort, int plainPort, std::size_t cap = kNoCap, bool trusted = true) {
    SessionConfiguration config;
    config.maxResponseBytes = cap;
    if (trusted) config.caBundleFile = trusted_.caFile.string();
    for (auto environment : {Environment::DEV, Environment::STG, Environment::PROD}) {
      const auto [host, port] = authorityOf(environment);
      const int to = environment == Environment::PROD ? plainPort : tlsPort;
      config.connectTo.push_back(host + ":" + std::to_string(port) +
                                 ":127.0.0.1:" + std::to_string(to));
    }
    configureSession(std::move(config));
  }

  // A failure is a transport failure: no status, no body, a failed sign-up with a reason.
  static void expectOutcome(bool succeeds, std::size_t bodySize = 0) {
    for (const auto& repository : {Repository::getCurrencies(), Repository::signUp({{"a", 1}})}) {
      const auto delivery = send(repository);
      EXPECT_EQ(delivery.status.has_value(), succeeds);
      EXPECT_EQ(delivery.body.has_value(), succeeds);
      EXPECT_EQ(delivery.text().size(), bodySize);
      if (!delivery.signUp) continue;
      EXPECT_EQ(delivery.signUp->isSuccess(), succeeds);
      EXPECT_TRUE(succeeds || !delivery.signUp->error().message.empty());
    }
  }

  static inline const std::size_t kNoCap = SessionConfiguration{}.maxResponseBytes;
  static inline testing::TempDir directory_;
  static inline testing::TestCertificates trusted_;
  static inline std::vector<std::pair<const char*, testing::TestCertificates>> impostors_;
  std::atomic<int> status_{200};
  // Both answer status_ with the request line as the body.
  RawServer::Script echo_ = [this](const std::string& request) {
    return Reply{RawServer::response(status_, request.substr(0, request.find("\r\n"))), false};
  };
  RawServer tls_{echo_, &trusted_};
  RawServer plain_{echo_};
};

// The encodings Debian's libcurl decodes, offered by every request.
const std::string kOffered = "Accept-Encoding: deflate, gzip, br, zstd\r\n";

// Byte for byte, header order included, in every environment, one connection each. The token
// and the environment are those when the request is built; a bad token goes as none, so the
// player can still log in; a body that cannot be written is left out. Status and body come
// back as the server sent them.

TEST_F(NetworkTest, EveryRequestGoesOnTheWireExactlyAsBuilt) {
  const nlohmann::json signUp = {{"email", "n@b.c"}, {"password", "pw"}, {"currency", "EUR"}};
  const nlohmann::json launch = {{"game_id", "g-1"}, {"provider_id", 7}, {"demo", true}};
  const std::string good = "tok-9f", bearer = "Bearer tok-9f", verbatim = "abc_DEF.9~@:;=+()!*'$&,";
  // The stored token, the request, its method and target after /api/v1, its body, the
  // Authorization header it must carry and the status it is answered with.
  struct Row {
    std::string token;
    Repository repository;
    std::string line, body, authorization;
    int status = 200;
  };
  const Row rows[] = {
      {"", Repository::logIn("a@b.c", "s3\"t"), "POST /login",
       R"({"email":"a@b.c","password":"s3\"t"})", "Bearer "},
      {good, Repository::signUp(signUp), "POST /players", signUp.dump(), bearer},
      {good, Repository::getGamesList(1), "GET /list_games?page=1&per_page=50", "", bearer},
      {good, Repository::signUp(nlohmann::json::object()), "POST /players", "{}", bearer, 400},
      {good, Repository::getGamesList(0), "GET /list_games?page=0&per_page=50", "", bearer, 401},
      {good, Repository::getGamesList(-1), "GET /list_games?page=-1&per_page=50", "", bearer, 500},
      {good, Repository::getGamesList(std::numeric_limits<std::int64_t>::min()),
       "GET /list_games?page=-9223372036854775808&per_page=50", "", bearer},
      {good, Repository::launchGame(launch), "POST /launch_game", launch.dump(), bearer, 201},
      {good, Repository::signUp({{"name", "\xff\xfe"}}), "POST /players", "", bearer, 503},
      {good, Repository::getBalance(verbatim), "GET /balances/player/" + verbatim, "", bearer},
      {good, Repository::getBalance("..."), "GET /balances/player/...", "", bearer},
      {"tok\r\nX-Evil: 1", Repository::getBalance("p-42"), "GET /balances/player/p-42", "",
       "Bearer ", 404},
      {"tok\n", Repository::logIn("a", "b"), "POST /login", R"({"email":"a","password":"b"})",
       "Bearer "},
      {"\rtok", Repository::getBalance(""), "GET /balances/player/", "", "Bearer "},
      {std::string("tok\0x", 5), Repository::getCurrencies(), "GET /currencies", "", "Bearer "},
  };
  for (auto environment : {Environment::DEV, Environment::STG, Environment::PROD}) {
    APIEnvironment::shared().setApiEnvironment(environment);
    RawServer& server = environment == Environment::PROD ? plain_ : tls_;
    const std::size_t connections = server.connections();
    const auto [host, port] = authorityOf(environment);
    const std::string hostField = port == 443 ? host : host + ":" + std::to_string(port);
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(rawValue(environment)) + " " + row.line);
      PreferenceData().saveUserData("a@b.c", "pw", row.token, "u1");
      status_ = row.status;
      const auto delivery = send(row.repository);
      const auto space = row.line.find(' ');
      const auto line =
          row.line.substr(0, space) + " /api/v1" + row.line.substr(space + 1) + " HTTP/1.1";
      EXPECT_EQ(delivery.status, row.status);
      EXPECT_EQ(delivery.text(), line);
      EXPECT_TRUE(!delivery.signUp || delivery.signUp->isSuccess()) << "a status is no failure";
      const bool post = row.line.starts_with("POST");
      EXPECT_EQ(server.requests().back(),
                line + "\r\nHost: " + hostField + "\r\n" + kOffered +
                    "Authentication-Type: default\r\nContent-Type: application/json\r\n"
                    "Authorization: " +
                    row.authorization + "\r\n" +
                    (post ? "Content-Length: " + std::to_string(row.body.size()) + "\r\n" : "") +
                    "\r\n" + row.body);
    }
    EXPECT_EQ(server.connections(), connections + 1) << "sequential requests share a connection";
  }
}

TEST_F(NetworkTest, ACertificateThatDoesNotProveTheHostFailsBeforeAnythingIsSent) {
  for (const auto& [what, certificates] : impostors_) {
    RawServer impostor(answering("{}"), &certificates);
    route(impostor.port(), plain_.port());
    for (auto environment : {Environment::DEV, Environment::STG}) {
      SCOPED_TRACE(std::string(what) + " " + std::string(rawValue(environment)));
      APIEnvironment::shared().setApiEnvironment(environment);
      expectOutcome(false);
    }
    EXPECT_TRUE(impostor.requests().empty()) << what;
  }
}

// Whatever the handle or the open connection it ends up on served before.
TEST_F(NetworkTest, EachRequestUsesTheConfigurationInForceWhenItWasMade) {
  RawServer big(answering(std::string(2048, 'x')), &trusted_);
  const int nobody = RawServer(answering("")).port();
  using Step = std::tuple<int, std::size_t, bool, bool>;  // port, cap, trusted, succeeds
  const Step steps[] = {{big.port(), kNoCap, true, true},   {big.port(), 2048, true, true},
                        {big.port(), 2047, true, false},    {big.port(), kNoCap, true, true},
                        {big.port(), kNoCap, false, false}, {nobody, kNoCap, true, false},
                        {big.port(), kNoCap, true, true}};
  for (const auto& [port, cap, trusted, succeeds] : steps) {
    SCOPED_TRACE(std::to_string(port) + " " + std::to_string(cap) + " " + std::to_string(trusted));
    route(port, port, cap, trusted);
    expectOutcome(succeeds, succeeds ? 2048 : 0);
  }
}

// Answers arrive decoded, and the cap holds for the decoded size: 8 MiB that crosses the
// network as 8 KB cannot grow past a 1 MiB cap.
TEST_F(NetworkTest, TheCapHoldsForTheDecodedBodyOfACompressedAnswer) {
  const std::string plain(8 << 20, '0');
  std::string packed(compressBound(plain.size()), '\0');
  uLongf packedSize = packed.size();
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                      reinterpret_cast<const Bytef*>(plain.data()), plain.size(), 9),
            Z_OK);
  packed.resize(packedSize);
  RawServer bomb([&](auto&) {
    return Reply{"HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nContent-Length: " +
                     std::to_string(packed.size()) + "\r\n\r\n" + packed,
                 false};
  });
  route(tls_.port(), bomb.port(), 1 << 20);
  APIEnvironment::shared().setApiEnvironment(Environment::PROD);
  expectOutcome(false);
  route(tls_.port(), bomb.port());
  expectOutcome(true, plain.size());
}

// A server may close a kept-alive connection just as the next request leaves on it. That
// request was never answered, so it goes again on a fresh connection (libcurl does this).
TEST_F(NetworkTest, ARequestAReusedConnectionNeverAnsweredGoesAgainOnce) {
  std::atomic<int> seen{0};
  RawServer server([&](auto&) {  // the second request finds its connection closed without a word
    return ++seen == 2 ? Reply{"", true} : Reply{RawServer::response(200, "{}"), false};
  });
  route(tls_.port(), server.port());
  APIEnvironment::shared().setApiEnvironment(Environment::PROD);
  EXPECT_EQ(send(Repository::getCurrencies()).status, 200);
  EXPECT_EQ(send(Repository::getCurrencies()).status, 200);
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(server.connections(), 2u);
}

TEST_F(NetworkTest, ConcurrentRequestsEachGetTheirOwnAnswerOnce) {
  std::vector<std::shared_ptr<Delivery>> deliveries;
  for (int page = 0; page < 32; ++page) deliveries.push_back(start(Repository::getGamesList(page)));
  expectSettled(deliveries);
  for (std::size_t page = 0; page < deliveries.size(); ++page) {
    EXPECT_EQ(deliveries[page]->text(),
              "GET /api/v1/list_games?page=" + std::to_string(page) + "&per_page=50 HTTP/1.1");
  }
}

// Refused before anything is sent: URLs libcurl would not send as written, and player ids
// that would reshape the URL or that a URL path may not hold at all.
TEST_F(NetworkTest, UnsafeInputBuildsNothing) {
  for (const std::string url :
       {"https://h/p/a b", "https://h/p/a\tb", "https://h/a\r\nX-Evil: 1", "/api/v1/login",
        "ftp://h/api/v1/login", "file:///etc/passwd", ""}) {
    EXPECT_FALSE(http::isValidURL(url)) << url;
  }
  EXPECT_FALSE(http::isValidURL(std::string("https://h/a\0b", 13)));
  for (const std::string id :
       {"a/b",       "../players", "a?x=1",       "a#frag", "%2e%2e", "a\\b",  "a b", "a\tb",
        "a\r\nX: 1", "\x7f",       "caf\xc3\xa9", ".",      "..",     "a\"b",  "<p>", "{id}",
        "a|b",       "a^b",        "a`b",         "\x01",   "\x1f",   "[::1]", "a[0]"}) {
    EXPECT_FALSE(Repository::getBalance(id).asURLRequest().isSuccess()) << id;
  }
  EXPECT_FALSE(Repository::getBalance(std::string("a\0b", 3)).asURLRequest().isSuccess());
}

}  // namespace
}  // namespace velmar
