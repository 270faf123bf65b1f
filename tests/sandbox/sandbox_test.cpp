// The platform's answers as a client sees them over HTTP(S), and the server around them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>

#include "catalogue.hpp"
#include "sandbox_server.hpp"
#include "support/temp_dir.hpp"

namespace velmar::sandbox {
namespace {

using Json = nlohmann::json;
using ::testing::HasSubstr;
namespace gm = ::testing;

using Header = std::pair<std::string, std::string>;

struct Reply {
  int status = 0;
  std::string body;
  Json json() const { return Json::parse(body, nullptr, false); }
};

std::string logInBody(const std::string& email, const Json& password) {
  return Json{{"email", email}, {"password", password}}.dump();
}

// One blocking request. Over HTTPS it asks for `host`, connected to the sandbox and verified
// against the sandbox's authority alone, as the SDK would be set up.
struct Client {
  const Sandbox& sandbox;
  std::string host = environmentHosts().front();

  // `replace[i]` stands for the platform's i-th header; an empty name removes it.
  Reply send(const std::string& method, const std::string& path, const std::string& token = "",
             const std::string& body = "", std::map<int, Header> replace = {}) const {
    replace.try_emplace(0, "Authentication-Type", "default");
    replace.try_emplace(1, "Content-Type", "application/json");
    replace.try_emplace(2, "Authorization", "Bearer " + token);
    httplib::Request request;
    std::tie(request.method, request.path, request.body) = std::tie(method, path, body);
    for (const auto& [i, header] : replace)
      if (!header.first.empty()) request.headers.insert(header);
    httplib::Client client((sandbox.tls() ? "https://" + host + ":" : "http://127.0.0.1:") +
                           std::to_string(sandbox.port()));
    client.set_hostname_addr_map({{host, "127.0.0.1"}});
    client.set_ca_cert_path(sandbox.caFile().c_str());
    const auto result = client.send(request);
    return {result ? result->status : 0, result ? result->body : ""};
  }
  Json logIn(const DemoPlayer& p) const {
    return send("POST", "/api/v1/login", "", logInBody(p.email, p.password)).json()["result"];
  }
};

const DemoPlayer& demo() { return demoPlayers().front(); }
const Catalogue kCatalogue;

// A launch of the first game for the session's player, with `key` set to `value`.
std::string launch(const char* key = "is_demo", Json value = true) {
  const Game& game = kCatalogue.games().front();
  const Provider& provider = kCatalogue.providers()[game.provider];
  Json body = Json::parse(R"({"is_demo": true, "user_language": "en", "user_currency": "EUR",
                              "lobby_url": "l", "is_mobile": 0})");
  body.update(
      {{"game_id", game.gameId}, {"provider_id", provider.id}, {"provider_slug", provider.slug}});
  body[key] = value;
  return body.dump();
}

class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox_.start(); }
  std::vector<std::string> log_;  // written by the server's threads, read once it stopped
  Sandbox sandbox_{[this] {
    SandboxOptions plain;
    plain.tls = false;
    plain.log = [this](std::string_view line) { log_.emplace_back(line); };
    return plain;
  }()};
  Client client_{sandbox_};
};

// Every answer that is not a success carries a message and no payload; each request is logged
// in one line, without its secrets.
TEST_F(SandboxTest, StatusOfEachRequestAndItsLogLine) {
  const std::string token = client_.logIn(demo()).value("token", "");
  const std::string games = "/api/v1/list_games", launchPath = "/api/v1/launch_game";
  const DemoPlayer& other = demoPlayers().back();
  const struct {
    std::string method, path, token, body;
    int status;
    std::map<int, Header> headers = {};
  } rows[] = {
      {"POST", "/api/v1/login", "", logInBody(demo().email, "wrong"), 401},
      {"POST", "/api/v1/login", "", logInBody(demo().email, 1234), 400},
      {"POST", "/api/v1/login", "", logInBody("DEMO@velmar.example", demo().password), 200},
      {"POST", "/api/v1/players", "", "{", 400},
      {"POST", "/api/v1/players", "", R"({"email":"k@x.y","password":"p","currency_id":"9"})", 400},
      {"POST", "/api/v1/players", "", logInBody("Demo@Velmar.example", "another-pw"), 409},
      {"GET", games, token + "x", "", 401},
      {"GET", games, token, "", 401, {{2, {"Authorization", "Basic " + token}}}},
      {"GET", games + "?page=2&per_page=7", token, "", 200},
      {"GET", games + "?page=0&per_page=50", token, "", 400},
      {"GET", games + "?page=99999999999999999999", token, "", 400},
      {"GET", "/api/v1/currencies", "", "", 400, {{0, {"Authentication-Type", "basic"}}}},
      {"GET", "/api/v1/currencies", "", "", 400, {{1, {}}}},
      {"GET", "/api/v1/balances/player/" + demo().id, token, "", 200},
      {"GET", "/api/v1/balances/player/" + other.id, token, "", 403},
      {"POST", launchPath, token, launch("user_id", std::stoll(demo().id)), 200},
      {"POST", launchPath, "", launch(), 401},
      {"POST", launchPath, token, launch("game_id", "no-such-game"), 404},
      {"POST", launchPath, token, launch("user_id", demo().id), 400},
      {"POST", launchPath, token, launch("user_id", std::stoll(other.id)), 403},
      {"GET", "/api/v1/login", "", "", 405},
  };
  for (const auto& row : rows) {
    const Reply reply = client_.send(row.method, row.path, row.token, row.body, row.headers);
    EXPECT_EQ(reply.status, row.status) << row.method << " " << row.path << " " << reply.body;
    const Json json = reply.json();
    EXPECT_TRUE(row.status < 400 || (json["error"].is_string() && !json.contains("result")));
  }
  sandbox_.stop();
  ASSERT_EQ(log_.size(), std::size(rows) + 1);
  EXPECT_THAT(log_, gm::Each(gm::Not(gm::AnyOf(HasSubstr(token), HasSubstr(demo().password),
                                               HasSubstr("another-pw")))));
  for (std::size_t i = 0; i < std::size(rows); ++i)
    EXPECT_THAT(log_[i + 1], HasSubstr(rows[i].method + " " + rows[i].path + " " +
                                       std::to_string(rows[i].status)));
}

// A player signed up is unverified and plays with the currency they chose; each player's session
// sees their own balance and launches as them, the ticket only in the address for real money.
TEST_F(SandboxTest, PlayersSessionsBalancesAndLaunches) {
  Json mia = Json::parse(R"({"email": "mia.berg@example.com", "password": "fjord-2024",
      "first_name": "Mia", "offer_email": true, "email_verified": true})");
  mia["currency_id"] = kCatalogue.currencyByAlphabeticCode("SEK")->numericCode;
  const Reply created = client_.send("POST", "/api/v1/players", "", mia.dump());
  const Json record = created.json()["result"];
  EXPECT_TRUE(created.status == 201 && record["first_name"] == "Mia" &&
              record["offer_email"] == true && record["email_verified"] == false &&
              !record.contains("password"))
      << created.body;
  auto players = demoPlayers();
  players.push_back({mia["email"], mia["password"], record.value("id", ""), "SEK", 0});
  const Game& game = kCatalogue.games().front();
  for (const auto& player : players) {
    const Json session = client_.logIn(player);
    const std::string token = session.value("token", "");
    const Json balance =
        client_.send("GET", "/api/v1/balances/player/" + player.id, token).json()["result"];
    EXPECT_TRUE(session["player"]["id"] == player.id && balance.size() == 1 &&
                balance[0]["alphabetic_code"] == player.currency &&
                balance[0]["amount"] == player.amount)
        << session << balance;
    const Json result =
        client_.send("POST", "/api/v1/launch_game", token, launch()).json()["result"];
    const std::string fun = result.value("play_for_fun", ""),
                      ticket = result.value("game_token", "-");
    EXPECT_TRUE(result["user_id"].dump() == player.id && result["game_id"] == game.gameId &&
                fun.starts_with("https://") && fun.find(game.slug) != fun.npos &&
                fun.find(ticket) == fun.npos)
        << result;
    EXPECT_THAT(result.value("play_for_real", ""), HasSubstr(ticket));
  }
}

// Certificates for every environment host, kept only in a directory the user named; a port asked
// for is taken, or refused while in use; a seed fixes the tokens handed out.
TEST(SandboxServerTest, CertificatesPortsAndSeeds) {
  testing::TempDir kept;
  SandboxOptions named, seeded;
  named.certDirectory = kept.path();
  named.seed = seeded.seed = 42;
  Sandbox sandbox(named), other(seeded);
  sandbox.start();
  other.start();
  const Json first = Client{sandbox}.logIn(demo())["token"];
  EXPECT_TRUE(first.is_string() && first == Client{other}.logIn(demo())["token"]);
  const std::string otherCa = other.caFile().string();
  for (const auto& host : environmentHosts())
    EXPECT_EQ((Client{sandbox, host}.send("GET", "/api/v1/currencies").status), 200) << host;
  SandboxOptions clash;
  clash.port = sandbox.port();
  EXPECT_THROW(Sandbox(clash).start(), std::runtime_error);
  sandbox.stop();
  other.stop();
  EXPECT_TRUE(std::filesystem::exists(kept.path() / "ca.pem")) << "the user's directory stays";
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(otherCa).parent_path()));
  Sandbox again(clash);
  again.start();
  EXPECT_TRUE(again.port() == clash.port &&
              Client{again}.send("GET", "/api/v1/currencies").status == 200);
}

}  // namespace
}  // namespace velmar::sandbox
