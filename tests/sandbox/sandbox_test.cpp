// The platform's answers as a client sees them over HTTP(S), and the server around them.
#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
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
  std::optional<std::string> caFile = sandbox.tls() ? sandbox.caFile().string() : "";

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
    if (caFile && !caFile->empty()) curl_easy_setopt(easy.get(), CURLOPT_CAINFO, caFile->c_str());
    if (caFile) curl_easy_setopt(easy.get(), CURLOPT_CAPATH, nullptr);
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
const Catalogue& catalogue() {
  static const Catalogue instance;
  return instance;
}

class SandboxTest : public ::testing::Test {
 protected:
  static SandboxOptions plain(std::vector<std::string>* log) {
    SandboxOptions options;
    options.tls = false;
    options.log = [log](std::string_view line) { log->emplace_back(line); };
    return options;
  }
  std::vector<std::string> log_;  // written by the server's threads, read once they are idle
  Sandbox sandbox_{plain(&log_)};
  Client client_{sandbox_};
  void SetUp() override { sandbox_.start(); }
};

// Every answer that is not a success carries a message and no payload.
TEST_F(SandboxTest, StatusOfEachRequest) {
  const std::string token = client_.logIn(demo());
  const Game& game = catalogue().games().front();
  auto launch = [&](const char* key, Json value) {
    Json body = {{"is_demo", true},
                 {"user_id", std::stoll(demo().id)},
                 {"game_id", game.gameId},
                 {"provider_id", catalogue().providers()[game.provider].id},
                 {"provider_slug", catalogue().providers()[game.provider].slug},
                 {"user_language", "en"},
                 {"user_currency", "EUR"},
                 {"lobby_url", "l"},
                 {"is_mobile", 0}};
    value.is_null() ? void(body.erase(key)) : void(body[key] = value);
    return body.dump();
  };
  const std::string balance = "/api/v1/balances/player/";
  const DemoPlayer& other = demoPlayers().back();
  const auto logIn = [](std::string email, Json password) {
    return Json{{"email", email}, {"password", password}}.dump();
  };
  const std::vector<std::string> platform = {
      "Authentication-Type: default", "Content-Type: application/json", "Authorization: Bearer "};
  auto with = [&](int index, const std::string& header) {
    auto headers = platform;
    headers[index] = header;
    return headers;
  };
  const struct {
    std::string method, path, token;
    std::optional<std::string> body;
    long status;
    std::vector<std::string> headers = {};
  } rows[] = {
      {"POST", "/api/v1/login", "", logIn(demo().email, "wrong"), 401},
      {"POST", "/api/v1/login", "", logIn(demo().email, demo().password + " "), 401},
      {"POST", "/api/v1/login", "", logIn("nobody@velmar.example", demo().password), 401},
      {"POST", "/api/v1/login", "", logIn(demo().email, 1234), 400},
      {"POST", "/api/v1/login", "", "not json", 400},
      {"POST", "/api/v1/login", "", logIn("DEMO@velmar.example", demo().password), 200},
      {"POST", "/api/v1/players", "", "{", 400},
      {"POST", "/api/v1/players", "", R"({"email": "kim@example.com", "password": ""})", 400},
      {"POST", "/api/v1/players", "", R"({"email": "not-an-address", "password": "pw-1"})", 400},
      {"POST", "/api/v1/players", "", R"({"email": "k@x.y", "password": "p", "offer_email": 1})",
       400},
      {"POST", "/api/v1/players", "", R"({"email": "k@x.y", "password": "p", "currency_id": "9"})",
       400},
      {"POST", "/api/v1/players", "", logIn(demo().email, "another-pw"), 409},
      {"GET", "/api/v1/list_games?page=1&per_page=50", "", {}, 401},
      {"GET", "/api/v1/list_games?page=1&per_page=50", "unknown-token", {}, 401},
      {"GET", "/api/v1/list_games?page=1&per_page=50", token + "x", {}, 401},
      {"GET", "/api/v1/list_games", token, {}, 200},
      {"GET", "/api/v1/list_games", token, {}, 401, with(2, "Authorization: Basic " + token)},
      {"GET", "/api/v1/list_games?page=0&per_page=50", token, {}, 400},
      {"GET", "/api/v1/list_games?page=1x&per_page=50", token, {}, 400},
      {"GET", "/api/v1/list_games?page=1&per_page=501", token, {}, 400},
      {"GET", "/api/v1/list_games?page=99999999999999999999", token, {}, 400},
      {"GET", "/api/v1/currencies", "", {}, 200},
      {"GET", "/api/v1/currencies", "", {}, 400, with(0, "Authentication-Type: basic")},
      {"GET", "/api/v1/currencies", "", {}, 400, with(1, "Content-Type:")},
      {"GET", "/api/v1/currencies", "", {}, 400, with(2, "Authorization:")},
      {"GET", "/api/v1/currencies", "", {}, 200, with(0, "authentication-type: default")},
      {"POST", "/api/v1/login", "", logIn(demo().email, demo().password), 400,
       with(1, "Content-Type: text/plain")},
      {"GET", balance + demo().id, token, {}, 200},
      {"GET", balance + other.id, token, {}, 403},
      {"GET", balance + "9999", token, {}, 403},
      {"GET", balance + demo().id, "", {}, 401},
      {"POST", "/api/v1/launch_game", token, launch("user_id", nullptr), 200},
      {"POST", "/api/v1/launch_game", "", launch("user_id", nullptr), 401},
      {"POST", "/api/v1/launch_game", token, launch("game_id", "no-such-game"), 404},
      {"POST", "/api/v1/launch_game", token, launch("provider_slug", "someone-else"), 404},
      {"POST", "/api/v1/launch_game", token, launch("user_id", demo().id), 400},
      {"POST", "/api/v1/launch_game", token, launch("user_id", std::stoll(other.id)), 403},
      {"POST", "/api/v1/launch_game", token, launch("is_mobile", true), 400},
      {"POST", "/api/v1/launch_game", token, launch("user_currency", "XXX"), 400},
      {"GET", "/api/v1/nothing", "", {}, 404},
      {"GET", "/api/v1/currencies/", "", {}, 404},
      {"GET", "/api/v1/login", "", {}, 405},
      {"DELETE", "/api/v1/players", "", "{}", 405},
  };
  for (const auto& row : rows) {
    const Reply reply = client_.send(row.method, row.path, row.token, row.body, row.headers);
    const Json json = reply.json();
    EXPECT_EQ(reply.status, row.status) << row.method << " " << row.path << " " << reply.body;
    if (row.status >= 400) {
      EXPECT_TRUE(json["error"].is_string() && !json.contains("result")) << reply.body;
    }
  }
}

TEST_F(SandboxTest, CatalogueHasEveryGameOnceInRankOrderThenEmptyPages) {
  const std::string token = client_.logIn(demo());
  std::set<std::string> ids;
  std::map<std::int64_t, std::string> slugs;
  for (int page = 1;; ++page) {
    const Json list =
        client_
            .send("GET", "/api/v1/list_games?page=" + std::to_string(page) + "&per_page=7", token)
            .json()["result"];
    ASSERT_TRUE(list.is_array());
    if (list.empty()) break;
    for (const Json& entry : list) {
      const GameEntity game = GameEntity::decode(entry);
      EXPECT_EQ(game.rank(), static_cast<std::int64_t>(ids.size()) + 1);
      ids.insert(game.gameID().value_or(""));
      EXPECT_EQ(slugs.emplace(*game.providerID(), *game.providerSlug()).first->second,
                *game.providerSlug())
          << "one slug per provider";
    }
  }
  EXPECT_EQ(ids.size(), catalogue().games().size());
  EXPECT_EQ(slugs.size(), catalogue().providers().size());
  const Json all = client_.send("GET", "/api/v1/list_games?page=1&per_page=500", token).json();
  EXPECT_EQ(all["result"].size(), catalogue().games().size());
  EXPECT_EQ(client_.send("GET", "/api/v1/currencies").json()["result"].size(),
            catalogue().currencies().size());
}

TEST_F(SandboxTest, EachDemoPlayerLogsInToTheirOwnSessionAndBalance) {
  for (const auto& player : demoPlayers()) {
    const Json form = {{"email", player.email}, {"password", player.password}};
    const auto session = LogInEntity::decode(
        client_.send("POST", "/api/v1/login", "", form.dump()).json()["result"]);
    EXPECT_EQ(session.player().value_or(Player()).identifier(), player.id);
    const std::string token = session.token().value_or("");
    EXPECT_NE(token, client_.logIn(player)) << "each log-in opens a session of its own";
    const Json balance = client_.send("GET", "/api/v1/balances/player/" + player.id, token).json();
    EXPECT_EQ(balance["result"].size(), 1u);
    EXPECT_EQ(balance["result"][0]["alphabetic_code"], player.currency);
    EXPECT_EQ(balance["result"][0]["amount"], player.amount);
  }
}

TEST_F(SandboxTest, SignedUpPlayerIsNewAndCanPlay) {
  const Currency& sek = *catalogue().currencyByAlphabeticCode("SEK");
  const Json form = {
      {"email", "mia.berg@example.com"}, {"password", "fjord-2024"}, {"first_name", "Mia"},
      {"currency_id", sek.numericCode},  {"offer_email", true},      {"email_verified", true}};
  const Reply created = client_.send("POST", "/api/v1/players", "", form.dump());
  ASSERT_EQ(created.status, 201) << created.body;
  const Player player = Player::decode(created.json()["result"]);
  for (const auto& seeded : demoPlayers()) EXPECT_NE(player.identifier(), seeded.id);
  EXPECT_TRUE(player.firstName() == "Mia" && player.offerEmail() == true);
  EXPECT_EQ(player.emailVerified(), false) << "a form cannot verify itself";
  EXPECT_FALSE(created.json()["result"].contains("password"));
  Json again = form;
  again["email"] = "Mia.Berg@Example.com";
  EXPECT_EQ(client_.send("POST", "/api/v1/players", "", again.dump()).status, 409);

  const std::string token = client_.logIn({"mia.berg@example.com", "fjord-2024", "", "", 0});
  const Json balance =
      client_.send("GET", "/api/v1/balances/player/" + *player.identifier(), token).json();
  ASSERT_EQ(balance["result"].size(), 1u) << balance;
  EXPECT_EQ(balance["result"][0]["alphabetic_code"], "SEK");
  EXPECT_EQ(balance["result"][0]["amount"], 0.0);
}

TEST_F(SandboxTest, LaunchAnswersTheAddressesOfTheGame) {
  const std::string token = client_.logIn(demo());
  const Game& game = catalogue().games().back();
  const Json body = {{"is_demo", true},
                     {"game_id", game.gameId},
                     {"provider_id", catalogue().providers()[game.provider].id},
                     {"provider_slug", catalogue().providers()[game.provider].slug},
                     {"user_language", "en"},
                     {"user_currency", "EUR"},
                     {"lobby_url", "l"},
                     {"is_mobile", 0}};
  const Json result =
      client_.send("POST", "/api/v1/launch_game", token, body.dump()).json()["result"];
  EXPECT_EQ(result["user_id"].dump(), demo().id) << "the session's player when none is named";
  EXPECT_EQ(result["game_id"], game.gameId);
  const std::string fun = result.value("play_for_fun", ""),
                    real = result.value("play_for_real", "");
  const std::string gameToken = result.value("game_token", "-");
  EXPECT_THAT(fun, ::testing::StartsWith("https://"));
  EXPECT_THAT(fun, HasSubstr(game.slug));
  EXPECT_THAT(real, HasSubstr(gameToken));
  EXPECT_THAT(fun, ::testing::Not(HasSubstr(gameToken)));
}

TEST_F(SandboxTest, LogsOneLinePerRequestWithoutSecrets) {
  const std::string token = client_.logIn(demo());
  client_.send("POST", "/api/v1/players", "",
               R"({"email": "zoe@example.com", "password": "s3cret"})");
  client_.send("GET", "/api/v1/list_games?page=2&per_page=50", token);
  client_.send("GET", "/api/v1/balances/player/1", "wrong-token");
  sandbox_.stop();
  ASSERT_EQ(log_.size(), 4u);
  EXPECT_THAT(log_[0], HasSubstr("POST /api/v1/login 200"));
  EXPECT_THAT(log_[1], HasSubstr("POST /api/v1/players 201"));
  EXPECT_THAT(log_[2], HasSubstr("GET /api/v1/list_games?page=2&per_page=50 200"));
  EXPECT_THAT(log_[3], HasSubstr("GET /api/v1/balances/player/1 401"));
  for (const auto& line : log_) {
    EXPECT_THAT(line, HasSubstr(" ms")) << "how long the answer took";
    for (const std::string& secret :
         {token, demo().password, std::string("s3cret"), std::string("wrong-token")}) {
      EXPECT_THAT(line, ::testing::Not(HasSubstr(secret)));
    }
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

TEST(SandboxServerTest, ServesSixtyFourClientsAtOnceEachAfterTheLatency) {
  SandboxOptions options = quiet(false);
  options.latency = std::chrono::milliseconds(200);
  Sandbox sandbox(options);
  sandbox.start();
  std::atomic<int> answered{0};
  const auto started = std::chrono::steady_clock::now();
  {
    std::vector<std::jthread> clients;
    for (int i = 0; i < 64; ++i) {
      clients.emplace_back(
          [&] { answered += Client{sandbox}.send("GET", "/api/v1/currencies").status == 200; });
    }
  }
  EXPECT_EQ(answered, 64);
  EXPECT_GE(std::chrono::steady_clock::now() - started, options.latency);
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
