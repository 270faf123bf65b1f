// The platform's answers as a client sees them over HTTP(S), and the server around them.
#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "catalogue.hpp"
#include "sandbox_server.hpp"
#include "support/temp_dir.hpp"
#include "velmar/entities/game_entity.hpp"
#include "velmar/entities/log_in_entity.hpp"

namespace velmar::sandbox {
namespace {

using Json = nlohmann::json;
using ::testing::HasSubstr;

struct Reply {
  CURLcode transport = CURLE_OK;
  long status = 0;
  std::string body;
  Json json() const { return Json::parse(body, nullptr, false); }
};

// One blocking request. Over HTTPS it asks for `host`, routed to the sandbox and verified
// against `caFile` alone (none: the system's authorities), as the SDK would be set up.
struct Client {
  const Sandbox& sandbox;
  std::string host = environmentHosts().front();
  std::optional<std::string> caFile = sandbox.caFile().string();

  // `headers` replace the platform's three; "Name:" removes one.
  Reply send(const std::string& method, const std::string& path, std::string token = "",
             const std::optional<std::string>& body = std::nullopt,
             std::vector<std::string> headers = {}) const {
    if (headers.empty()) {
      headers = {"Authentication-Type: default", "Content-Type: application/json",
                 "Authorization: Bearer " + token};
    }
    std::unique_ptr<CURL, void (*)(CURL*)> easy(curl_easy_init(), curl_easy_cleanup);
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> list(nullptr, curl_slist_free_all);
    for (const auto& header : headers)
      list.reset(curl_slist_append(list.release(), header.c_str()));
    const std::string port = std::to_string(sandbox.port());
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> route(
        curl_slist_append(nullptr, (host + ":443:127.0.0.1:" + port).c_str()), curl_slist_free_all);
    const std::string url = sandbox.tls() ? "https://" + host + path : sandbox.origin() + path;
    Reply reply;
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_CUSTOMREQUEST, method.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(easy.get(), CURLOPT_CONNECT_TO, route.get());
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(
        easy.get(), CURLOPT_WRITEFUNCTION, +[](char* data, size_t, size_t n, void* to) {
          static_cast<std::string*>(to)->append(data, n);
          return n;
        });
    if (body) curl_easy_setopt(easy.get(), CURLOPT_COPYPOSTFIELDS, body->c_str());
    if (caFile && curl_easy_setopt(easy.get(), CURLOPT_CAPATH, nullptr) == CURLE_OK)
      curl_easy_setopt(easy.get(), CURLOPT_CAINFO, caFile->c_str());
    reply.transport = curl_easy_perform(easy.get());
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
  }
  std::string logIn(const DemoPlayer& player) const {
    const Json form = {{"email", player.email}, {"password", player.password}};
    return send("POST", "/api/v1/login", "", form.dump()).json()["result"].value("token", "");
  }
};

const DemoPlayer& demo() { return demoPlayers().front(); }
const Catalogue kCatalogue;

// A launch of `game` for the session's player, with `key` replaced (or, given null, removed).
std::string launch(const Game& game, const char* key = "", Json value = nullptr) {
  const Provider& provider = kCatalogue.providers()[game.provider];
  Json body = Json::parse(R"({"is_demo": true, "user_language": "en", "user_currency": "EUR",
                              "lobby_url": "l", "is_mobile": 0})");
  body.update(
      {{"game_id", game.gameId}, {"provider_id", provider.id}, {"provider_slug", provider.slug}});
  value.is_null() ? void(body.erase(key)) : void(body[key] = value);
  return body.dump();
}

class SandboxTest : public ::testing::Test {
 protected:
  static SandboxOptions plain(std::vector<std::string>* log) {
    SandboxOptions options;
    options.tls = false;
    options.log = [log](std::string_view line) { log->emplace_back(line); };
    return options;
  }
  void SetUp() override { sandbox_.start(); }
  std::vector<std::string> log_;  // written by the server's threads, read once it stopped
  Sandbox sandbox_{plain(&log_)};
  Client client_{sandbox_, "127.0.0.1", std::nullopt};
};

// Every answer that is not a success carries a message and no payload.
TEST_F(SandboxTest, StatusOfEachRequest) {
  const std::string token = client_.logIn(demo()), balance = "/api/v1/balances/player/";
  const DemoPlayer& other = demoPlayers().back();
  const Game& game = kCatalogue.games().front();
  const auto logIn = [](std::string email, Json password) {
    return Json{{"email", email}, {"password", password}}.dump();
  };
  auto with = [](int index, const std::string& header) {
    std::vector<std::string> headers = {"Authentication-Type: default",
                                        "Content-Type: application/json", "Authorization: Bearer "};
    headers[index] = header;
    return headers;
  };
  const std::string games = "/api/v1/list_games", launchPath = "/api/v1/launch_game";
  const struct {
    std::string method, path, token;
    std::optional<std::string> body;
    long status;
    std::vector<std::string> headers = {};
  } rows[] = {
      {"POST", "/api/v1/login", "", logIn(demo().email, "wrong"), 401},
      {"POST", "/api/v1/login", "", logIn("nobody@velmar.example", demo().password), 401},
      {"POST", "/api/v1/login", "", logIn(demo().email, 1234), 400},
      {"POST", "/api/v1/login", "", logIn("DEMO@velmar.example", demo().password), 200},
      {"POST", "/api/v1/players", "", "{", 400},
      {"POST", "/api/v1/players", "", R"({"email": "kim@example.com", "password": ""})", 400},
      {"POST", "/api/v1/players", "", R"({"email": "k@x.y", "password": "p", "currency_id": "9"})",
       400},
      {"POST", "/api/v1/players", "", logIn("Demo@Velmar.example", "another-pw"), 409},
      {"GET", games, "", {}, 401},
      {"GET", games, token + "x", {}, 401},
      {"GET", games, token, {}, 401, with(2, "Authorization: Basic " + token)},
      {"GET", games + "?page=2&per_page=7", token, {}, 200},
      {"GET", games + "?page=0&per_page=50", token, {}, 400},
      {"GET", games + "?page=1&per_page=501", token, {}, 400},
      {"GET", games + "?page=99999999999999999999", token, {}, 400},
      {"GET", "/api/v1/currencies", "", {}, 200},
      {"GET", "/api/v1/currencies", "", {}, 400, with(0, "Authentication-Type: basic")},
      {"GET", "/api/v1/currencies", "", {}, 400, with(1, "Content-Type:")},
      {"GET", "/api/v1/currencies", "", {}, 200, with(0, "authentication-type: default")},
      {"GET", balance + demo().id, token, {}, 200},
      {"GET", balance + other.id, token, {}, 403},
      {"POST", launchPath, token, launch(game, "user_id", std::stoll(demo().id)), 200},
      {"POST", launchPath, "", launch(game), 401},
      {"POST", launchPath, token, launch(game, "game_id", "no-such-game"), 404},
      {"POST", launchPath, token, launch(game, "user_id", demo().id), 400},
      {"POST", launchPath, token, launch(game, "user_id", std::stoll(other.id)), 403},
      {"POST", launchPath, token, launch(game, "is_mobile", true), 400},
      {"GET", "/api/v1/login", "", {}, 405},
      {"DELETE", "/api/v1/players", "", "{}", 405},
  };
  for (const auto& row : rows) {
    const Reply reply = client_.send(row.method, row.path, row.token, row.body, row.headers);
    EXPECT_EQ(reply.status, row.status) << row.method << " " << row.path << " " << reply.body;
    const Json json = reply.json();
    EXPECT_TRUE(row.status < 400 || (json["error"].is_string() && !json.contains("result")));
  }
}

// Pages follow each other in rank order, each game once, then come empty.
TEST_F(SandboxTest, CatalogueAndCurrencies) {
  const std::string token = client_.logIn(demo());
  std::set<std::string> ids;
  for (int page = 1; page < 100; ++page) {
    const std::string query = "?page=" + std::to_string(page) + "&per_page=7";
    const Json list = client_.send("GET", "/api/v1/list_games" + query, token).json()["result"];
    if (list.empty()) break;
    for (const Json& game : list) {
      EXPECT_EQ(GameEntity::decode(game).rank(), static_cast<std::int64_t>(ids.size()) + 1);
      ids.insert(game.value("game_id", ""));
    }
  }
  EXPECT_EQ(ids.size(), kCatalogue.games().size());
  const Json all = client_.send("GET", "/api/v1/list_games?page=1&per_page=500", token).json();
  EXPECT_EQ(all["result"].size(), kCatalogue.games().size());
  EXPECT_EQ(client_.send("GET", "/api/v1/currencies").json()["result"].size(),
            kCatalogue.currencies().size());
}

// Each log-in opens a session of its own, in which a player sees their own balance; a player
// signed up is new, unverified and plays with the currency they chose.
TEST_F(SandboxTest, PlayersSessionsAndBalances) {
  const Json form = Json::parse(R"({"email": "mia.berg@example.com", "password": "fjord-2024",
      "first_name": "Mia", "offer_email": true, "email_verified": true})");
  Json withCurrency = form;
  withCurrency["currency_id"] = kCatalogue.currencyByAlphabeticCode("SEK")->numericCode;
  const Reply created = client_.send("POST", "/api/v1/players", "", withCurrency.dump());
  ASSERT_EQ(created.status, 201) << created.body;
  const Player mia = Player::decode(created.json()["result"]);
  EXPECT_TRUE(mia.firstName() == "Mia" && mia.offerEmail() == true && mia.emailVerified() == false);
  EXPECT_FALSE(created.json()["result"].contains("password"));

  auto players = demoPlayers();
  players.push_back({form["email"], form["password"], mia.identifier().value_or(""), "SEK", 0});
  for (const auto& player : players) {
    const Json logIn = {{"email", player.email}, {"password", player.password}};
    const auto session = LogInEntity::decode(
        client_.send("POST", "/api/v1/login", "", logIn.dump()).json()["result"]);
    EXPECT_EQ(session.player().value_or(Player()).identifier(), player.id);
    EXPECT_NE(session.token(), client_.logIn(player));
    const Json balance =
        client_.send("GET", "/api/v1/balances/player/" + player.id, session.token().value_or(""))
            .json()["result"];
    ASSERT_EQ(balance.size(), 1u) << player.email;
    EXPECT_EQ(balance[0]["alphabetic_code"], player.currency);
    EXPECT_EQ(balance[0]["amount"], player.amount);
  }
}

TEST_F(SandboxTest, LaunchAnswersTheAddressesOfTheGame) {
  const Game& game = kCatalogue.games().back();
  const Json result =
      client_.send("POST", "/api/v1/launch_game", client_.logIn(demo()), launch(game))
          .json()["result"];
  EXPECT_EQ(result["user_id"].dump(), demo().id) << "the session's player when none is named";
  EXPECT_EQ(result["game_id"], game.gameId);
  const std::string fun = result.value("play_for_fun", ""),
                    gameToken = result.value("game_token", "-");
  EXPECT_THAT(fun, ::testing::StartsWith("https://"));
  EXPECT_THAT(fun, HasSubstr(game.slug));
  EXPECT_THAT(fun, ::testing::Not(HasSubstr(gameToken)));
  EXPECT_THAT(result.value("play_for_real", ""), HasSubstr(gameToken));
}

TEST_F(SandboxTest, LogsOneLinePerRequestWithoutSecrets) {
  const std::string token = client_.logIn(demo());
  client_.send("POST", "/api/v1/players", "",
               R"({"email": "zoe@example.com", "password": "s3cret"})");
  client_.send("GET", "/api/v1/list_games?page=2&per_page=50", token);
  client_.send("GET", "/api/v1/balances/player/1", "wrong");
  sandbox_.stop();
  ASSERT_EQ(log_.size(), 4u);
  EXPECT_THAT(log_[0], HasSubstr("POST /api/v1/login 200"));
  EXPECT_THAT(log_[1], HasSubstr("POST /api/v1/players 201"));
  EXPECT_THAT(log_[2], HasSubstr("GET /api/v1/list_games?page=2&per_page=50 200"));
  EXPECT_THAT(log_[3], HasSubstr("GET /api/v1/balances/player/1 401"));
  for (const auto& line : log_) {
    for (const auto& secret : {token, demo().password, std::string("s3cret"), std::string("wrong")})
      EXPECT_THAT(line, ::testing::Not(HasSubstr(secret)));
  }
}

SandboxOptions quiet(bool tls) {
  SandboxOptions options;
  options.tls = tls;
  options.log = nullptr;
  return options;
}

TEST(SandboxServerTest, HttpsVerifiesForEveryEnvironmentHostWithItsOwnAuthorityOnly) {
  testing::TempDir kept;
  SandboxOptions options = quiet(true);
  options.certDirectory = kept.path();
  Sandbox sandbox(options), other(quiet(true));
  sandbox.start();
  other.start();
  Client client{sandbox};
  for (const auto& host : environmentHosts()) {
    client.host = host;
    EXPECT_EQ(client.send("GET", "/api/v1/currencies").status, 200) << host;
  }
  const std::filesystem::path otherCa = other.caFile();
  for (const auto& [host, caFile] : std::vector<std::pair<std::string, std::optional<std::string>>>{
           {"other.velmar.example", sandbox.caFile().string()},  // a name it does not hold
           {environmentHosts().front(), std::nullopt},           // the system's authorities
           {environmentHosts().front(), otherCa.string()}}) {    // another start's
    client.host = host;
    client.caFile = caFile;
    EXPECT_EQ(client.send("GET", "/api/v1/currencies").transport, CURLE_PEER_FAILED_VERIFICATION);
  }
  sandbox.stop();
  other.stop();
  EXPECT_TRUE(std::filesystem::exists(kept.path() / "ca.pem")) << "the user's directory stays";
  EXPECT_FALSE(std::filesystem::exists(otherCa.parent_path())) << "a private one goes";
}

TEST(SandboxServerTest, ConnectionsAreKeptAliveAndDoNotHoldUpStop) {
  Sandbox sandbox(quiet(false));
  sandbox.start();
  std::unique_ptr<CURL, void (*)(CURL*)> easy(curl_easy_init(), curl_easy_cleanup);
  const std::string url = sandbox.origin() + "/api/v1/currencies";
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(
      easy.get(), CURLOPT_WRITEFUNCTION, +[](char*, size_t, size_t n, void*) { return n; });
  long connections = 0;
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(curl_easy_perform(easy.get()), CURLE_OK);
    long opened = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_NUM_CONNECTS, &opened);
    connections += opened;
  }
  EXPECT_EQ(connections, 1);
  sandbox.stop();  // returns with that connection still open
  EXPECT_NE(curl_easy_perform(easy.get()), CURLE_OK) << "nothing answers after stop";
}

TEST(SandboxServerTest, TakesTheAskedPortRefusesOneInUseAndTheSeedFixesTokens) {
  SandboxOptions options = quiet(false);
  options.seed = 42;
  Sandbox first(options), second(options);
  first.start();
  second.start();
  EXPECT_EQ(Client{first}.logIn(demo()), Client{second}.logIn(demo()));
  SandboxOptions clash = quiet(false);
  clash.port = first.port();
  EXPECT_THROW(Sandbox(clash).start(), std::runtime_error);
  first.stop();
  Sandbox again(clash);
  again.start();
  EXPECT_EQ(again.port(), clash.port);
  EXPECT_EQ(Client{again}.send("GET", "/api/v1/currencies").status, 200);
}

}  // namespace
}  // namespace velmar::sandbox
