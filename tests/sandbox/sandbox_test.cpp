// The platform's answers as a client sees them over HTTP(S), and the server around them.
#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "catalogue.hpp"
#include "sandbox_server.hpp"
#include "support/temp_dir.hpp"
#include "velmar/entities/log_in_entity.hpp"

namespace velmar::sandbox {
namespace {

using Json = nlohmann::json;
using ::testing::HasSubstr;
using Easy = std::unique_ptr<CURL, void (*)(CURL*)>;
using List = std::unique_ptr<curl_slist, void (*)(curl_slist*)>;

struct Reply {
  CURLcode transport = CURLE_OK;
  long status = 0;
  std::string body;
  Json json() const { return Json::parse(body, nullptr, false); }
};

size_t keep(char* data, size_t, size_t n, void* to) {
  return static_cast<std::string*>(to)->append(data, n), n;
}

// One blocking request. Over HTTPS it asks for `host`, routed to the sandbox and verified
// against `caFile` alone (none: the system's authorities), as the SDK would be set up.
struct Client {
  const Sandbox& sandbox;
  std::string host = environmentHosts().front();
  std::optional<std::string> caFile = sandbox.caFile().string();

  // `replace[i]` stands for the platform's i-th header; "Name:" removes it.
  Reply send(const std::string& method, const std::string& path, const std::string& token = "",
             const std::optional<std::string>& body = {},
             std::map<int, std::string> replace = {}) const {
    const std::string headers[] = {"Authentication-Type: default", "Content-Type: application/json",
                                   "Authorization: Bearer " + token};
    List list(nullptr, curl_slist_free_all);
    for (int i = 0; i < 3; ++i)
      list.reset(
          curl_slist_append(list.release(), replace.emplace(i, headers[i]).first->second.c_str()));
    const std::string route = host + ":443:127.0.0.1:" + std::to_string(sandbox.port());
    List routes(curl_slist_append(nullptr, route.c_str()), curl_slist_free_all);
    const std::string url = (sandbox.tls() ? "https://" + host : sandbox.origin()) + path;
    Easy own(curl_easy_init(), curl_easy_cleanup);
    CURL* easy = own.get();
    Reply reply;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, routes.get());
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, keep);
    if (body) curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body->c_str());
    if (caFile && curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr) == CURLE_OK)
      curl_easy_setopt(easy, CURLOPT_CAINFO, caFile->c_str());
    reply.transport = curl_easy_perform(easy);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
  }
  std::string logIn(const DemoPlayer& player) const {
    const Json form = {{"email", player.email}, {"password", player.password}};
    return send("POST", "/api/v1/login", "", form.dump()).json()["result"].value("token", "");
  }
};

const DemoPlayer& demo() { return demoPlayers().front(); }
const Catalogue kCatalogue;

// A launch of `game` for the session's player, with `key` set to `value`.
std::string launch(const Game& game, const char* key = "is_demo", Json value = true) {
  const Provider& provider = kCatalogue.providers()[game.provider];
  Json body = Json::parse(R"({"is_demo": true, "user_language": "en", "user_currency": "EUR",
                              "lobby_url": "l", "is_mobile": 0})");
  body.update({{"game_id", game.gameId}, {"provider_id", provider.id}});
  body["provider_slug"] = provider.slug;
  body[key] = value;
  return body.dump();
}

SandboxOptions options(bool tls, LogSink log = nullptr) {
  SandboxOptions chosen;
  chosen.tls = tls;
  chosen.log = std::move(log);
  return chosen;
}

class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox_.start(); }
  std::vector<std::string> log_;  // written by the server's threads, read once it stopped
  Sandbox sandbox_{options(false, [this](std::string_view line) { log_.emplace_back(line); })};
  Client client_{sandbox_, "127.0.0.1", std::nullopt};
};

// Every answer that is not a success carries a message and no payload; each request is logged
// in one line, without its secrets.
TEST_F(SandboxTest, StatusOfEachRequestAndItsLogLine) {
  const std::string token = client_.logIn(demo()), balance = "/api/v1/balances/player/";
  const std::string games = "/api/v1/list_games", launchPath = "/api/v1/launch_game";
  const DemoPlayer& other = demoPlayers().back();
  const Game& game = kCatalogue.games().front();
  const auto logIn = [](std::string email, Json password) {
    return Json{{"email", email}, {"password", password}}.dump();
  };
  const struct {
    std::string method, path, token;
    std::optional<std::string> body;
    long status;
    std::map<int, std::string> headers = {};
  } rows[] = {
      {"POST", "/api/v1/login", "", logIn(demo().email, "wrong"), 401},
      {"POST", "/api/v1/login", "", logIn(demo().email, 1234), 400},
      {"POST", "/api/v1/login", "", logIn("DEMO@velmar.example", demo().password), 200},
      {"POST", "/api/v1/players", "", "{", 400},
      {"POST", "/api/v1/players", "", R"({"email": "k@x.y", "password": "p", "currency_id": "9"})",
       400},
      {"POST", "/api/v1/players", "", logIn("Demo@Velmar.example", "another-pw"), 409},
      {"GET", games, token + "x", {}, 401},
      {"GET", games, token, {}, 401, {{2, "Authorization: Basic " + token}}},
      {"GET", games + "?page=2&per_page=7", token, {}, 200},
      {"GET", games + "?page=0&per_page=50", token, {}, 400},
      {"GET", games + "?page=99999999999999999999", token, {}, 400},
      {"GET", "/api/v1/currencies", "", {}, 200},
      {"GET", "/api/v1/currencies", "", {}, 400, {{0, "Authentication-Type: basic"}}},
      {"GET", "/api/v1/currencies", "", {}, 400, {{1, "Content-Type:"}}},
      {"GET", "/api/v1/currencies", "", {}, 200, {{0, "authentication-type: default"}}},
      {"GET", balance + demo().id, token, {}, 200},
      {"GET", balance + other.id, token, {}, 403},
      {"POST", launchPath, token, launch(game, "user_id", std::stoll(demo().id)), 200},
      {"POST", launchPath, "", launch(game), 401},
      {"POST", launchPath, token, launch(game, "game_id", "no-such-game"), 404},
      {"POST", launchPath, token, launch(game, "user_id", demo().id), 400},
      {"POST", launchPath, token, launch(game, "user_id", std::stoll(other.id)), 403},
      {"GET", "/api/v1/login", "", {}, 405},
  };
  for (const auto& row : rows) {
    const Reply reply = client_.send(row.method, row.path, row.token, row.body, row.headers);
    EXPECT_EQ(reply.status, row.status) << row.method << " " << row.path << " " << reply.body;
    const Json json = reply.json();
    EXPECT_TRUE(row.status < 400 || (json["error"].is_string() && !json.contains("result")));
  }
  sandbox_.stop();
  ASSERT_EQ(log_.size(), std::size(rows) + 1);
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const auto& row = rows[i];
    EXPECT_THAT(log_[i + 1],
                HasSubstr(row.method + " " + row.path + " " + std::to_string(row.status)));
    for (const auto& secret : {token, demo().password, std::string("another-pw")})
      EXPECT_THAT(log_[i + 1], ::testing::Not(HasSubstr(secret)));
  }
}

// Each log-in opens a session of its own, in which a player sees their own balance; a player
// signed up is new, unverified and plays with the currency they chose.
TEST_F(SandboxTest, PlayersSessionsAndBalances) {
  Json form = Json::parse(R"({"email": "mia.berg@example.com", "password": "fjord-2024",
      "first_name": "Mia", "offer_email": true, "email_verified": true})");
  form["currency_id"] = kCatalogue.currencyByAlphabeticCode("SEK")->numericCode;
  const Reply created = client_.send("POST", "/api/v1/players", "", form.dump());
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
    EXPECT_TRUE(balance[0]["alphabetic_code"] == player.currency &&
                balance[0]["amount"] == player.amount)
        << balance;
  }
}

TEST_F(SandboxTest, LaunchAnswersTheAddressesOfTheGame) {
  const Game& game = kCatalogue.games().back();
  const Json result =
      client_.send("POST", "/api/v1/launch_game", client_.logIn(demo()), launch(game))
          .json()["result"];
  EXPECT_EQ(result["user_id"].dump(), demo().id) << "the session's player when none is named";
  const std::string fun = result.value("play_for_fun", ""),
                    ticket = result.value("game_token", "-");
  EXPECT_TRUE(result["game_id"] == game.gameId && fun.starts_with("https://") &&
              fun.find(game.slug) != fun.npos && fun.find(ticket) == fun.npos)
      << result;
  EXPECT_THAT(result.value("play_for_real", ""), HasSubstr(ticket));
}

TEST(SandboxServerTest, HttpsVerifiesForEveryEnvironmentHostWithItsOwnAuthorityOnly) {
  testing::TempDir kept;
  SandboxOptions withDirectory = options(true);
  withDirectory.certDirectory = kept.path();
  Sandbox sandbox(withDirectory), other(options(true));
  sandbox.start();
  other.start();
  const std::string otherCa = other.caFile().string();
  for (const auto& host : environmentHosts())
    EXPECT_EQ((Client{sandbox, host}.send("GET", "/api/v1/currencies").status), 200) << host;
  for (const auto& [host, caFile] : std::vector<std::pair<std::string, std::optional<std::string>>>{
           {"other.velmar.example", sandbox.caFile().string()},  // a name it does not hold
           {environmentHosts().front(), std::nullopt},           // the system's authorities
           {environmentHosts().front(), otherCa}}) {             // another start's
    EXPECT_EQ((Client{sandbox, host, caFile}.send("GET", "/api/v1/currencies").transport),
              CURLE_PEER_FAILED_VERIFICATION);
  }
  sandbox.stop();
  other.stop();
  EXPECT_TRUE(std::filesystem::exists(kept.path() / "ca.pem")) << "the user's directory stays";
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(otherCa).parent_path()));
}

TEST(SandboxServerTest, TakesTheAskedPortRefusesOneInUseAndTheSeedFixesTokens) {
  SandboxOptions seeded = options(false), clash = options(false);
  seeded.seed = 42;
  Sandbox first(seeded), second(seeded);
  first.start();
  second.start();
  EXPECT_EQ(Client{first}.logIn(demo()), Client{second}.logIn(demo()));
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
