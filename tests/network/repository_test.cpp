#include "data/network/repository.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "support/json.hpp"
#include "velmar/preference_data.hpp"
#include "platform/http_url.hpp"
#include "velmar/key_store.hpp"

namespace velmar {
namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

class RepositoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
    APIEnvironment::shared().setApiEnvironment(Environment::DEV);
  }

  static http::Request build(const Repository& repository) {
    auto outcome = repository.asURLRequest();
    EXPECT_TRUE(outcome.isSuccess());
    return outcome.isSuccess() ? outcome.value() : http::Request{};
  }

  static std::string base() { return std::string(rawValue(Environment::DEV)); }
};

TEST(EnvironmentTest, RawValuesHaveTheFixedSchemePortAndPath) {
  const std::string prod(rawValue(Environment::PROD));
  const std::string dev(rawValue(Environment::DEV));
  const std::string stg(rawValue(Environment::STG));
  EXPECT_TRUE(prod.starts_with("http://"));
  EXPECT_TRUE(prod.ends_with(":5050/api/v1"));
  for (const auto& text : {dev, stg}) {
    EXPECT_TRUE(text.starts_with("https://")) << text;
    EXPECT_TRUE(text.ends_with("/api/v1")) << text;
    // The scheme's default port is not written.
    const auto authority = text.substr(8, text.size() - 8 - 7);
    EXPECT_EQ(authority.find(':'), std::string::npos) << text;
  }
  EXPECT_NE(dev, stg);
}

TEST(EnvironmentTest, FromRawValueAcceptsOnlyAnExactMatch) {
  for (auto environment : {Environment::PROD, Environment::DEV, Environment::STG}) {
    const std::string text(rawValue(environment));
    EXPECT_EQ(environmentFromRawValue(text), environment);
    EXPECT_EQ(environmentFromRawValue(text + "/"), std::nullopt);
    EXPECT_EQ(environmentFromRawValue(text.substr(0, text.size() - 1)), std::nullopt);
    EXPECT_EQ(environmentFromRawValue(" " + text), std::nullopt);
  }
  EXPECT_EQ(environmentFromRawValue(""), std::nullopt);
}

TEST(HttpUrlTest, AcceptsOnlyWhatLibcurlSendsAsWritten) {
  struct Row {
    std::string url;
    bool valid;
  };
  const Row rows[] = {
      {"https://dev.api.velmar.example/api/v1/currencies", true},
      {"http://203.0.113.10:5050/api/v1/list_games?page=-1&per_page=50", true},
      {"https://h/api/v1/balances/player/", true},
      {"https://h/api/v1/balances/player/a b", false},
      {"https://h/api/v1/balances/player/a\tb", false},
      {"https://h/a\r\nX-Evil: 1", false},
      {std::string("https://h/a\0b", 13), false},
      {"/api/v1/login", false},
      {"ftp://h/api/v1/login", false},
      {"file:///etc/passwd", false},
      {"", false},
  };
  for (const auto& row : rows) EXPECT_EQ(http::isValidURL(row.url), row.valid) << row.url;
}

TEST_F(RepositoryTest, EveryRequestCarriesTheThreeHeadersInOrder) {
  const Headers noToken = {{"Authentication-Type", "default"},
                           {"Content-Type", "application/json"},
                           {"Authorization", "Bearer "}};
  for (const auto& repository : {Repository::logIn("a@b.c", "pw"), Repository::getCurrencies(),
                                 Repository::getGamesList(1), Repository::getBalance("p1")}) {
    EXPECT_EQ(build(repository).headers, noToken);
  }
}

TEST_F(RepositoryTest, TokenIsReadWhenTheRequestIsBuilt) {
  const auto repository = Repository::getCurrencies();  // built before the token exists
  PreferenceData().saveUserData("a@b.c", "pw", "tok-123", "u1");
  EXPECT_EQ(build(repository).headers.back(),
            (std::pair<std::string, std::string>{"Authorization", "Bearer tok-123"}));
  PreferenceData().removeUserData();
  EXPECT_EQ(build(repository).headers.back().second, "Bearer ");
}

// A stored token that would break the header line is sent as no token at all: every request
// still goes, a log-in among them, so the player is not locked out until logging out.
TEST_F(RepositoryTest, ATokenThatCannotBeAHeaderValueIsSentAsNone) {
  struct Row {
    std::string token;
    std::string authorization;
  };
  const Row rows[] = {
      {"tok-123", "Bearer tok-123"},
      {"tok\r\nX-Evil: 1", "Bearer "},
      {"tok\n", "Bearer "},
      {"\rtok", "Bearer "},
      {std::string("tok\0x", 5), "Bearer "},
  };
  for (const auto& row : rows) {
    PreferenceData().saveUserData("a@b.c", "pw", row.token, "u1");
    for (const auto& repository : {Repository::logIn("a@b.c", "pw"), Repository::getBalance("u1")}) {
      const auto outcome = repository.asURLRequest();
      ASSERT_TRUE(outcome.isSuccess()) << row.authorization;
      EXPECT_EQ(outcome.value().headers.back(),
                (std::pair<std::string, std::string>{"Authorization", row.authorization}));
    }
  }
}

TEST_F(RepositoryTest, RequestsHaveTheRouteMethodAndNoBodyForReads) {
  struct Row {
    Repository repository;
    std::string method;
    std::string pathAndQuery;
  };
  const Row rows[] = {
      {Repository::getGamesList(1), "GET", "/list_games?page=1&per_page=50"},
      {Repository::getGamesList(0), "GET", "/list_games?page=0&per_page=50"},
      {Repository::getGamesList(-1), "GET", "/list_games?page=-1&per_page=50"},
      {Repository::getGamesList(std::numeric_limits<std::int64_t>::min()), "GET",
       "/list_games?page=-9223372036854775808&per_page=50"},
      {Repository::getBalance("p-42"), "GET", "/balances/player/p-42"},
      {Repository::getBalance(""), "GET", "/balances/player/"},
      {Repository::getCurrencies(), "GET", "/currencies"},
  };
  for (const auto& row : rows) {
    const auto request = build(row.repository);
    EXPECT_EQ(request.method, row.method);
    EXPECT_EQ(request.url, base() + row.pathAndQuery);
    EXPECT_EQ(request.body, std::nullopt) << row.pathAndQuery;
    EXPECT_EQ(request.timeout, std::chrono::seconds(60));
    EXPECT_EQ(request.cachePolicy, http::CachePolicy::useProtocolCachePolicy);
  }
}

TEST_F(RepositoryTest, PostBodiesAreTheParametersAsCompactJson) {
  const nlohmann::json signUp = {
      {"email", "a@b.c"}, {"password", "pw"}, {"currency", "EUR"}, {"terms", true}};
  const nlohmann::json launch = {{"game_id", "g-1"}, {"provider_id", 7}, {"demo", false}};
  struct Row {
    Repository repository;
    std::string path;
    nlohmann::json body;
  };
  const Row rows[] = {
      {Repository::logIn("a@b.c", "s3cr\"t"),
       "/login",
       {{"email", "a@b.c"}, {"password", "s3cr\"t"}}},
      {Repository::signUp(signUp), "/players", signUp},
      {Repository::signUp(nlohmann::json::object()), "/players", nlohmann::json::object()},
      {Repository::launchGame(launch), "/launch_game", launch},
  };
  for (const auto& row : rows) {
    const auto request = build(row.repository);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, base() + row.path);
    ASSERT_TRUE(request.body.has_value()) << row.path;
    const std::string text(request.body->begin(), request.body->end());
    EXPECT_EQ(text, row.body.dump()) << "compact, with nothing added";
    EXPECT_EQ(json::parse(text), row.body);
  }
}

TEST_F(RepositoryTest, ABodyThatCannotBeWrittenIsDroppedAndTheRequestStillBuilt) {
  const auto request = build(Repository::signUp({{"name", std::string("\xff\xfe")}}));
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.body, std::nullopt);
  EXPECT_EQ(request.headers.size(), 3u);
}

TEST_F(RepositoryTest, BuildingTwiceGivesEqualRequestsAndBuiltRequestsKeepTheirUrl) {
  const auto repository = Repository::launchGame({{"game_id", "g"}});
  const auto first = build(repository);
  EXPECT_EQ(build(repository), first);

  APIEnvironment::shared().setApiEnvironment(Environment::PROD);
  const auto later = build(repository);
  EXPECT_EQ(later.url, std::string(rawValue(Environment::PROD)) + "/launch_game");
  EXPECT_TRUE(later.url.starts_with("http://"));
  EXPECT_NE(later.url.find(":5050/api/v1/"), std::string::npos);
  EXPECT_EQ(first.url, base() + "/launch_game");
}

// Refused before anything is sent: characters that reshape the URL, and those a URL path may
// not hold at all, which a lenient parser would otherwise put on the wire raw.
TEST_F(RepositoryTest, PlayerIdsThatWouldReshapeTheUrlBuildNothing) {
  const std::string unsafe[] = {
      "a/b",       "../players",           "a?x=1", "a#frag",      "%2e%2e", "a\\b", "a b", "a\tb",
      "a\r\nX: 1", std::string("a\0b", 3), "\x7f",  "caf\xc3\xa9", ".",      "..",
      "a\"b",      "<p>",                  "{id}",  "a|b",         "a^b",    "a`b",  "\x01", "\x1f",
      "[::1]",     "a[0]",
  };
  for (const auto& id : unsafe) {
    EXPECT_FALSE(Repository::getBalance(id).asURLRequest().isSuccess()) << id;
  }
}

TEST_F(RepositoryTest, OtherPlayerIdsAreInsertedVerbatim) {
  const std::string safe[] = {"",          "p-42", "abc_DEF.9~", "...", ".a",       "a.",
                              "user@host", "a:b",  "a;b=c",      "a+b", "(x)!*'$&,"};
  for (const auto& id : safe) {
    const auto outcome = Repository::getBalance(id).asURLRequest();
    ASSERT_TRUE(outcome.isSuccess()) << id;
    EXPECT_EQ(outcome.value().url, base() + "/balances/player/" + id);
  }
}

}  // namespace
}  // namespace velmar
