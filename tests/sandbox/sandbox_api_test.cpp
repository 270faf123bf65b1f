// The platform's answers as a client sees them over HTTP: statuses, envelopes and records
// that the SDK's own decoders accept.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "support/entities/launch_game_response_entity.hpp"
#include "sandbox_client.hpp"
#include "velmar/entities/balance_entity.hpp"
#include "velmar/entities/currency_entity.hpp"
#include "velmar/entities/game_entity.hpp"
#include "velmar/entities/log_in_entity.hpp"
#include "velmar/entities/player.hpp"

namespace velmar::sandbox::testing {
namespace {

using Json = nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

struct LogCapture {
  std::mutex mutex;
  std::vector<std::string> lines;

  std::vector<std::string> snapshot() {
    std::lock_guard lock(mutex);
    return lines;
  }
};

SandboxOptions plainOptions(const std::shared_ptr<LogCapture>& capture) {
  SandboxOptions options;
  options.tls = false;
  options.log = [capture](std::string_view line) {
    std::lock_guard lock(capture->mutex);
    capture->lines.emplace_back(line);
  };
  return options;
}

// An error answer carries a message and no payload.
void expectError(const Reply& reply, long status, const std::string& context) {
  EXPECT_EQ(reply.status, status) << context << ": " << reply.body;
  Json json = reply.json();
  ASSERT_TRUE(json.is_object()) << context << ": " << reply.body;
  EXPECT_TRUE(json["error"].is_string()) << context;
  EXPECT_FALSE(json.contains("result")) << context;
}

const DemoPlayer& demo() { return demoPlayers().front(); }

Json launchBody(const Json& game, std::int64_t userId) {
  return {{"is_demo", true},
          {"user_id", userId},
          {"game_id", game["game_id"]},
          {"provider_id", game["provider_id"]},
          {"provider_slug", game["provider_slug"]},
          {"user_language", "en"},
          {"user_currency", "EUR"},
          {"lobby_url", "lobby.velmar.example"},
          {"is_mobile", 0}};
}

class SandboxApiTest : public ::testing::Test {
 protected:
  SandboxApiTest()
      : log_(std::make_shared<LogCapture>()), sandbox_(plainOptions(log_)), client_(sandbox_) {}
  void SetUp() override { sandbox_.start(); }

  std::string demoToken() { return client_.logIn(demo().email, demo().password); }

  Json firstGame(const std::string& token) {
    Json page = client_.get("/api/v1/list_games?page=1&per_page=1", token).json();
    return page["result"][0];
  }

  std::shared_ptr<LogCapture> log_;
  Sandbox sandbox_;
  SandboxClient client_;
};

TEST_F(SandboxApiTest, SignUpAnswers201AndTheNewPlayerCanPlay) {
  const Json form = {{"email", "mia.berg@example.com"},
                     {"password", "fjord-2024"},
                     {"first_name", "Mia"},
                     {"currency_id", "752"},
                     {"offer_email", true},
                     {"email_verified", true}};
  Reply created = client_.post("/api/v1/players", form.dump());
  ASSERT_EQ(created.status, 201) << created.body;
  Json player = created.json()["result"];
  Player decoded = Player::decode(player);
  ASSERT_TRUE(decoded.identifier().has_value());
  EXPECT_THAT(*decoded.identifier(), ::testing::MatchesRegex("[0-9]+"));
  for (const auto& seeded : demoPlayers()) EXPECT_NE(*decoded.identifier(), seeded.id);
  EXPECT_EQ(decoded.email(), "mia.berg@example.com");
  EXPECT_EQ(decoded.firstName(), "Mia");
  EXPECT_EQ(decoded.currencyID(), "752");
  EXPECT_EQ(decoded.offerEmail(), true);
  EXPECT_EQ(decoded.emailVerified(), false) << "a form cannot verify itself";
  EXPECT_FALSE(player.contains("password"));

  // The same address in another case is the same player.
  Json again = form;
  again["email"] = "Mia.Berg@Example.com";
  expectError(client_.post("/api/v1/players", again.dump()), 409, "second registration");

  const std::string token = client_.logIn("mia.berg@example.com", "fjord-2024");
  Reply balance = client_.get("/api/v1/balances/player/" + *decoded.identifier(), token);
  ASSERT_EQ(balance.status, 200) << balance.body;
  Json entries = balance.json()["result"];
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0]["alphabetic_code"], "SEK");
  EXPECT_EQ(entries[0]["amount"], 0.0);
}

TEST_F(SandboxApiTest, SignUpRefusesMalformedFormsWithoutRegisteringAnyone) {
  const std::vector<std::string> bodies = {
      "{",
      "[]",
      "{}",
      R"({"email": "kim@example.com"})",
      R"({"email": "kim@example.com", "password": ""})",
      R"({"email": 5, "password": "pw-123456"})",
      R"({"email": "not-an-address", "password": "pw-123456"})",
      R"({"email": "kim@example.com", "password": "pw-123456", "offer_email": 1})",
      R"({"email": "kim@example.com", "password": "pw-123456", "first_name": false})",
      R"({"email": "kim@example.com", "password": "pw-123456", "currency_id": "999"})",
  };
  for (const auto& body : bodies) {
    expectError(client_.post("/api/v1/players", body), 400, body);
  }
  Reply created =
      client_.post("/api/v1/players", R"({"email": "kim@example.com", "password": "pw-123456"})");
  EXPECT_EQ(created.status, 201) << created.body;
}

TEST_F(SandboxApiTest, LogInAnswersEveryDemoPlayerWithATokenAndTheirProfile) {
  for (const auto& player : demoPlayers()) {
    Reply reply = client_.post("/api/v1/login",
                               Json{{"email", player.email}, {"password", player.password}}.dump());
    ASSERT_EQ(reply.status, 200) << player.email << ": " << reply.body;
    LogInEntity session = LogInEntity::decode(reply.json()["result"]);
    ASSERT_TRUE(session.token().has_value());
    EXPECT_FALSE(session.token()->empty());
    ASSERT_TRUE(session.player().has_value());
    EXPECT_EQ(session.player()->identifier(), player.id);
    EXPECT_EQ(session.player()->email(), player.email);
  }
}

TEST_F(SandboxApiTest, LogInRefusesWrongCredentialsAndMalformedBodies) {
  struct Case {
    std::string body;
    long status;
  };
  const std::vector<Case> cases = {
      {Json{{"email", demo().email}, {"password", "wrong"}}.dump(), 401},
      {Json{{"email", demo().email}, {"password", demo().password + " "}}.dump(), 401},
      {Json{{"email", "nobody@velmar.example"}, {"password", demo().password}}.dump(), 401},
      {"not json", 400},
      {Json{{"email", demo().email}}.dump(), 400},
      {Json{{"email", demo().email}, {"password", 1234}}.dump(), 400},
  };
  for (const auto& [body, status] : cases) {
    expectError(client_.post("/api/v1/login", body), status, body);
  }
  Reply anyCase =
      client_.post("/api/v1/login",
                   Json{{"email", "DEMO@velmar.example"}, {"password", demo().password}}.dump());
  EXPECT_EQ(anyCase.status, 200) << "e-mail addresses match in any case";
}

TEST_F(SandboxApiTest, EachLogInOpensASessionOfItsOwn) {
  const std::string first = demoToken();
  const std::string second = demoToken();
  EXPECT_NE(first, second);
  EXPECT_EQ(client_.get("/api/v1/list_games", first).status, 200);
  EXPECT_EQ(client_.get("/api/v1/list_games", second).status, 200);
}

TEST_F(SandboxApiTest, CatalogueHasEveryGameOnceThenEmptyPages) {
  const std::string token = demoToken();
  std::vector<Json> games;
  std::size_t bytes = 0;
  int fullPages = 0;
  for (int page = 1; page <= 10; ++page) {
    Reply reply =
        client_.get("/api/v1/list_games?page=" + std::to_string(page) + "&per_page=50", token);
    ASSERT_EQ(reply.status, 200) << reply.body;
    Json list = reply.json()["result"];
    ASSERT_TRUE(list.is_array());
    if (list.empty()) break;
    fullPages += list.size() == 50 ? 1 : 0;
    bytes += reply.body.size();
    for (auto& game : list) games.push_back(game);
  }
  EXPECT_EQ(fullPages, 5);
  ASSERT_EQ(games.size(), 250u);
  EXPECT_NEAR(static_cast<double>(bytes) / games.size(), 400.0, 100.0) << "bytes per game";

  std::set<std::int64_t> ids;
  std::set<std::string> gameIds;
  std::map<std::int64_t, std::string> providers;
  for (std::size_t i = 0; i < games.size(); ++i) {
    GameEntity game = GameEntity::decode(games[i]);
    ASSERT_TRUE(game.identifier() && game.gameID() && game.providerID() && game.name());
    ids.insert(*game.identifier());
    gameIds.insert(*game.gameID());
    EXPECT_EQ(game.rank(), static_cast<std::int64_t>(i) + 1) << "pages follow each other";
    auto [known, added] = providers.emplace(*game.providerID(), *game.providerSlug());
    EXPECT_EQ(known->second, *game.providerSlug()) << "one slug per provider";
  }
  EXPECT_EQ(ids.size(), 250u);
  EXPECT_EQ(gameIds.size(), 250u);
  EXPECT_GE(providers.size(), 6u);

  for (const char* far : {"?page=7&per_page=50", "?page=9223372036854775807&per_page=500"}) {
    Reply past = client_.get(std::string("/api/v1/list_games") + far, token);
    EXPECT_EQ(past.status, 200) << far;
    EXPECT_EQ(past.json()["result"], Json::array()) << far;
  }
}

TEST_F(SandboxApiTest, PageQueryIsReadAndChecked) {
  const std::string token = demoToken();
  struct Case {
    std::string query;
    long status;
    std::size_t count;
  };
  const std::vector<Case> cases = {
      {"", 200, 50},
      {"?page=2", 200, 50},
      {"?page=1&per_page=7", 200, 7},
      {"?page=36&per_page=7", 200, 5},
      {"?page=37&per_page=7", 200, 0},
      {"?page=1&per_page=500", 200, 250},
      {"?page=0&per_page=50", 400, 0},
      {"?page=-1&per_page=50", 400, 0},
      {"?page=abc&per_page=50", 400, 0},
      {"?page=1x&per_page=50", 400, 0},
      {"?page=1&per_page=0", 400, 0},
      {"?page=1&per_page=501", 400, 0},
      {"?page=99999999999999999999&per_page=50", 400, 0},
  };
  for (const auto& [query, status, count] : cases) {
    Reply reply = client_.get("/api/v1/list_games" + query, token);
    if (status != 200) {
      expectError(reply, status, query);
      continue;
    }
    EXPECT_EQ(reply.status, 200) << query;
    EXPECT_EQ(reply.json()["result"].size(), count) << query;
  }
  Json second = client_.get("/api/v1/list_games?page=2&per_page=7", token).json()["result"];
  EXPECT_EQ(second[0]["rank"], 8);
}

TEST_F(SandboxApiTest, SessionEndpointsRefuseMissingAndUnknownTokens) {
  const std::string token = demoToken();
  const Json launch = launchBody(firstGame(token), 1001);
  struct Endpoint {
    std::string method;
    std::string path;
    std::optional<std::string> body;
  };
  const std::vector<Endpoint> endpoints = {
      {"GET", "/api/v1/list_games?page=1&per_page=50", std::nullopt},
      {"POST", "/api/v1/launch_game", launch.dump()},
      {"GET", "/api/v1/balances/player/" + demo().id, std::nullopt},
  };
  const std::vector<std::string> refused = {
      "Authorization:",  // removed
      "Authorization: Bearer ",
      "Authorization: Bearer unknown-token",
      "Authorization: Basic " + token,
      "Authorization: Bearer " + token + "x",
      "Authorization: " + token,
  };
  for (const auto& endpoint : endpoints) {
    for (const auto& authorization : refused) {
      std::vector<std::string> headers = platformHeaders();
      headers.back() = authorization;
      expectError(client_.send(endpoint.method, endpoint.path, headers, endpoint.body), 401,
                  endpoint.path + " with " + authorization);
    }
    Reply accepted =
        client_.send(endpoint.method, endpoint.path, platformHeaders(token), endpoint.body);
    EXPECT_EQ(accepted.status, 200) << endpoint.path << ": " << accepted.body;
  }
}

TEST_F(SandboxApiTest, CurrenciesNeedNoSession) {
  Reply reply = client_.get("/api/v1/currencies");
  ASSERT_EQ(reply.status, 200) << reply.body;
  Json list = reply.json()["result"];
  ASSERT_EQ(list.size(), 12u);
  std::set<std::string> codes;
  for (const auto& entry : list) {
    CurrencyEntity currency = CurrencyEntity::decode(entry);
    ASSERT_TRUE(currency.alphabeticCode() && currency.numericCode());
    EXPECT_THAT(*currency.numericCode(), ::testing::MatchesRegex("[0-9][0-9][0-9]"));
    codes.insert(*currency.alphabeticCode());
  }
  EXPECT_EQ(codes.size(), 12u);
  EXPECT_EQ(codes.count("EUR"), 1u);
}

TEST_F(SandboxApiTest, EveryRequestMustCarryThePlatformHeaders) {
  const std::string login = Json{{"email", demo().email}, {"password", demo().password}}.dump();
  struct Case {
    std::size_t replaced;  // index into platformHeaders()
    std::string header;
    long status;
  };
  const std::vector<Case> cases = {
      {0, "Authentication-Type:", 400},
      {0, "Authentication-Type: basic", 400},
      {1, "Content-Type:", 400},
      {1, "Content-Type: text/plain", 400},
      {2, "Authorization:", 400},
      {2, "Authorization: Basic abc", 400},
      {0, "authentication-type: default", 200},
      {1, "Content-Type: application/json; charset=utf-8", 200},
  };
  for (const auto& [replaced, header, status] : cases) {
    std::vector<std::string> headers = platformHeaders();
    headers[replaced] = header;
    Reply currencies = client_.send("GET", "/api/v1/currencies", headers);
    Reply logIn = client_.send("POST", "/api/v1/login", headers, login);
    if (status == 200) {
      EXPECT_EQ(currencies.status, 200) << header;
      EXPECT_EQ(logIn.status, 200) << header;
    } else {
      expectError(currencies, status, "currencies with " + header);
      expectError(logIn, status, "login with " + header);
    }
  }
}

TEST_F(SandboxApiTest, EachPlayerSeesOnlyTheirOwnBalance) {
  for (const auto& player : demoPlayers()) {
    const std::string token = client_.logIn(player.email, player.password);
    Reply reply = client_.get("/api/v1/balances/player/" + player.id, token);
    ASSERT_EQ(reply.status, 200) << reply.body;
    Json entries = reply.json()["result"];
    ASSERT_EQ(entries.size(), 1u);
    BalanceEntity::decode(entries[0]);  // throws on a field of the wrong kind
    EXPECT_EQ(entries[0]["player_id"], player.id);
    EXPECT_EQ(entries[0]["alphabetic_code"], player.currency);
    EXPECT_DOUBLE_EQ(entries[0]["amount"].get<double>(), player.amount);

    for (const auto& other : demoPlayers()) {
      if (other.id == player.id) continue;
      expectError(client_.get("/api/v1/balances/player/" + other.id, token), 403, other.id);
    }
    expectError(client_.get("/api/v1/balances/player/", token), 403, "empty id");
    expectError(client_.get("/api/v1/balances/player/9999", token), 403, "unknown id");
  }
}

TEST_F(SandboxApiTest, LaunchAnswersTheAddressesOfTheGame) {
  const std::string token = demoToken();
  const Json game = firstGame(token);
  Json body = launchBody(game, 1001);
  for (bool withUser : {true, false}) {
    if (!withUser) body.erase("user_id");
    Reply reply = client_.post("/api/v1/launch_game", body.dump(), token);
    ASSERT_EQ(reply.status, 200) << reply.body;
    LaunchGameResponseEntity launch = LaunchGameResponseEntity::decode(reply.json()["result"]);
    EXPECT_EQ(launch.userID(), 1001);
    EXPECT_EQ(launch.gameID(), game["game_id"].get<std::string>());
    ASSERT_TRUE(launch.playForFun() && launch.playForReal() && launch.gameToken());
    EXPECT_THAT(*launch.playForFun(), ::testing::StartsWith("https://"));
    EXPECT_THAT(*launch.playForFun(), HasSubstr(game["slug"].get<std::string>()));
    EXPECT_THAT(*launch.playForReal(), HasSubstr(*launch.gameToken()));
    EXPECT_THAT(*launch.playForFun(), Not(HasSubstr(*launch.gameToken())));
  }
}

TEST_F(SandboxApiTest, LaunchRefusesUnknownGamesAndForeignPlayers) {
  const std::string token = demoToken();
  const Json game = firstGame(token);
  auto with = [&](const char* key, Json value) {
    Json body = launchBody(game, 1001);
    if (value.is_null()) {
      body.erase(key);
    } else {
      body[key] = value;
    }
    return body.dump();
  };
  struct Case {
    std::string body;
    long status;
  };
  const std::vector<Case> cases = {
      {with("game_id", "no-such-game"), 404},
      {with("provider_id", game["provider_id"].get<int>() + 1), 404},
      {with("provider_slug", "someone-else"), 404},
      {with("user_id", 1002), 403},
      {with("game_id", nullptr), 400},
      {with("is_mobile", true), 400},
      {with("is_demo", 1), 400},
      {with("user_id", "1001"), 400},
      {with("user_currency", "XXX"), 400},
      {"{\"game_id\": ", 400},
  };
  for (const auto& [body, status] : cases) {
    expectError(client_.post("/api/v1/launch_game", body, token), status, body);
  }
}

TEST_F(SandboxApiTest, UnknownEndpointsAndMethodsAreRefused) {
  struct Case {
    std::string method;
    std::string path;
    long status;
  };
  const std::vector<Case> cases = {
      {"GET", "/api/v1/nothing", 404},    {"GET", "/", 404},
      {"GET", "/api/v2/currencies", 404}, {"GET", "/api/v1/currencies/", 404},
      {"GET", "/api/v1/login", 405},      {"POST", "/api/v1/currencies", 405},
      {"DELETE", "/api/v1/players", 405},
  };
  for (const auto& [method, path, status] : cases) {
    expectError(client_.send(method, path, platformHeaders(), std::string("{}")), status,
                method + " " + path);
  }
}

TEST_F(SandboxApiTest, LogsOneLinePerRequestWithoutSecrets) {
  const std::string token = demoToken();
  client_.post("/api/v1/players", R"({"email": "zoe@example.com", "password": "s3cret-pass"})");
  client_.get("/api/v1/list_games?page=2&per_page=50", token);
  client_.get("/api/v1/balances/player/1001", "wrong-token");

  std::vector<std::string> lines = log_->snapshot();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_THAT(lines[0], HasSubstr("POST /api/v1/login 200"));
  EXPECT_THAT(lines[1], HasSubstr("POST /api/v1/players 201"));
  EXPECT_THAT(lines[2], HasSubstr("GET /api/v1/list_games?page=2&per_page=50 200"));
  EXPECT_THAT(lines[3], HasSubstr("GET /api/v1/balances/player/1001 401"));
  for (const auto& line : lines) {
    EXPECT_THAT(line, HasSubstr(" ms")) << "each line says how long the answer took";
    for (const std::string& secret :
         {token, demo().password, std::string("s3cret-pass"), std::string("wrong-token")}) {
      EXPECT_THAT(line, Not(HasSubstr(secret)));
    }
  }
}

}  // namespace
}  // namespace velmar::sandbox::testing
