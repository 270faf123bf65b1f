// Runs the built `velmar` as a subprocess against a `velmar-sandbox` subprocess over HTTPS,
// with credentials in a file key store, as a user or a script would.
#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "process.hpp"
#include "support/certificates.hpp"
#include "support/raw_server.hpp"
#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {
namespace {

using nlohmann::json;

constexpr const char* kDemoEmail = "demo@velmar.example";
constexpr const char* kDemoPassword = "demo1234";

std::size_t lineCount(const std::string& text) {
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  return lines;
}

// A unique address per call, so tests sharing one sandbox never meet.
std::string freshEmail() {
  static std::atomic<int> next{0};
  return "player" + std::to_string(getpid()) + "-" + std::to_string(next++) + "@example.com";
}

class CliEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    certDir_ = new TempDir();
    sandbox_ = new BackgroundProcess(
        {VELMAR_SANDBOX_PATH, "--port", "0", "--cert-dir", certDir_->path().string(), "--quiet"});
    const std::optional<std::string> line = sandbox_->readLine(std::chrono::seconds(30));
    ASSERT_TRUE(line) << "the sandbox never said it was listening";
    std::smatch match;
    const std::regex listening(R"(listening on https://127\.0\.0\.1:(\d+) \(CA: (.+)\))");
    ASSERT_TRUE(std::regex_search(*line, match, listening)) << *line;
    port_ = std::stoi(match[1]);
    caFile_ = match[2];
  }

  static void TearDownTestSuite() {
    delete sandbox_;
    delete certDir_;
    sandbox_ = nullptr;
    certDir_ = nullptr;
  }

  std::string storePath() const { return (store_.path() / "credentials.json").string(); }

  // velmar with the route to the sandbox, its CA and this test's key store.
  ProcessResult velmar(const std::vector<std::string>& args, const std::string& input = "",
                       const std::string& caFile = caFile_) const {
    std::vector<std::string> argv{
        VELMAR_CLI_PATH,
        "--connect-to",
        std::string(VELMAR_DEV_HOST) + ":443:127.0.0.1:" + std::to_string(port_),
        "--cacert",
        caFile,
        "--keystore",
        "file:" + storePath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, input);
  }

  // Runs with --json and returns the parsed document, checking the exit status.
  json velmarJson(std::vector<std::string> args, int expectedStatus = 0) const {
    args.insert(args.begin(), "--json");
    const ProcessResult result = velmar(args);
    EXPECT_EQ(result.exitStatus, expectedStatus) << result.err;
    json document = json::parse(result.out, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << "not JSON: " << result.out;
    return document;
  }

  std::optional<std::string> stored(const std::string& key) const {
    return FileKeyStore(storePath()).string(key);
  }

  void logInAsDemo() const {
    const json login = velmarJson({"login", kDemoEmail, kDemoPassword});
    ASSERT_EQ(login["islogin"], true);
  }

  inline static TempDir* certDir_ = nullptr;
  inline static BackgroundProcess* sandbox_ = nullptr;
  inline static int port_ = 0;
  inline static std::string caFile_;
  TempDir store_;
};

TEST_F(CliEndToEnd, SignUpThenLogInStoresTheSessionAndPrintsNoSecret) {
  const std::string email = freshEmail();
  const std::string password = "s3cret-Pass";
  const ProcessResult signup =
      velmar({"--json", "signup", "--email", email, "--password", password, "--first-name", "Ana",
              "--last-name", "Moreau", "--currency-id", "978", "--offer-email", "false"});
  ASSERT_EQ(signup.exitStatus, 0) << signup.err;
  const json registered = json::parse(signup.out);
  EXPECT_EQ(registered["islogin"], true);
  EXPECT_EQ(registered["player"]["email"], email);
  EXPECT_EQ(registered["player"]["first_name"], "Ana");

  const ProcessResult login = velmar({"--json", "login", email, password});
  ASSERT_EQ(login.exitStatus, 0) << login.err;
  const json loggedIn = json::parse(login.out);
  EXPECT_EQ(loggedIn["islogin"], true);
  EXPECT_EQ(loggedIn["player"]["email"], email);
  const std::string userId = loggedIn["player"]["id"];

  EXPECT_EQ(stored("email"), email);
  EXPECT_EQ(stored("userId"), userId);
  const std::optional<std::string> token = stored("token");
  ASSERT_TRUE(token && !token->empty());

  const ProcessResult whoami = velmar({"--json", "whoami"});
  ASSERT_EQ(whoami.exitStatus, 0) << whoami.err;
  const json who = json::parse(whoami.out);
  EXPECT_EQ(who["email"], email);
  EXPECT_EQ(who["hasToken"], true);
  EXPECT_EQ(who.size(), 3u);

  for (const ProcessResult* run : {&signup, &login, &whoami}) {
    for (const std::string& secret : {password, *stored("token"), *token}) {
      EXPECT_EQ(run->out.find(secret), std::string::npos);
      EXPECT_EQ(run->err.find(secret), std::string::npos);
    }
  }
}

TEST_F(CliEndToEnd, SecondProcessRestoresTheSessionFromTheStoredToken) {
  logInAsDemo();
  const std::optional<std::string> firstToken = stored("token");
  ASSERT_TRUE(firstToken);

  // Initialising finds the stored token and logs in again: the platform hands out a new one.
  const json who = velmarJson({"whoami"});
  EXPECT_EQ(who["email"], kDemoEmail);
  EXPECT_EQ(who["userId"], "1001");
  const std::optional<std::string> secondToken = stored("token");
  ASSERT_TRUE(secondToken && !secondToken->empty());
  EXPECT_NE(*secondToken, *firstToken);
}

TEST_F(CliEndToEnd, GamesOverThreePagesInOrder) {
  logInAsDemo();
  const json page = velmarJson({"games"});
  EXPECT_EQ(page["pages"], 1);
  ASSERT_EQ(page["games"].size(), 50u);

  const json three = velmarJson({"games", "--pages", "3"});
  EXPECT_EQ(three["pages"], 3);
  ASSERT_EQ(three["games"].size(), 150u);
  EXPECT_EQ(three["games"][0], page["games"][0]);
  std::set<std::int64_t> ids;
  for (const json& game : three["games"]) ids.insert(game["id"].get<std::int64_t>());
  EXPECT_EQ(ids.size(), 150u) << "a page was fetched twice";

  // For people: a table with one header line, aligned columns and a progress line per page.
  const ProcessResult table = velmar({"games", "--pages", "3"});
  ASSERT_EQ(table.exitStatus, 0) << table.err;
  EXPECT_EQ(lineCount(table.out), 151u);
  for (const char* progress : {"loading page 1/3", "loading page 2/3", "loading page 3/3"}) {
    EXPECT_NE(table.err.find(progress), std::string::npos) << table.err;
  }
  std::istringstream lines(table.out);
  std::string header;
  std::getline(lines, header);
  const std::size_t nameColumn = header.find("NAME");
  ASSERT_NE(nameColumn, std::string::npos);
  std::string line;
  while (std::getline(lines, line)) {
    ASSERT_GT(line.size(), nameColumn) << line;
    EXPECT_EQ(line[nameColumn - 1], ' ') << line;
    EXPECT_NE(line[nameColumn], ' ') << line;
  }
}

TEST_F(CliEndToEnd, LaunchBalanceAndCurrencies) {
  logInAsDemo();
  const json games = velmarJson({"games"});
  const json& first = games["games"][0];
  const json launch =
      velmarJson({"launch", "--game-id", first["game_id"].get<std::string>(), "--provider-id",
                  std::to_string(first["provider_id"].get<std::int64_t>()), "--provider-slug",
                  first["provider_slug"].get<std::string>()});
  ASSERT_TRUE(launch["playForFun"].is_string()) << launch;
  EXPECT_FALSE(launch["playForFun"].get<std::string>().empty());

  const json balance = velmarJson({"balance"});
  ASSERT_TRUE(balance["balance"].is_number()) << balance;
  EXPECT_DOUBLE_EQ(balance["balance"].get<double>(), 1000.0);

  const json currencies = velmarJson({"currencies"});
  ASSERT_TRUE(currencies["currencies"].is_array());
  ASSERT_FALSE(currencies["currencies"].empty());
  std::set<std::string> codes;
  for (const json& currency : currencies["currencies"]) {
    codes.insert(currency["alphabetic_code"].get<std::string>());
  }
  EXPECT_TRUE(codes.count("EUR")) << currencies;
}

TEST_F(CliEndToEnd, LogOutClearsTheStore) {
  logInAsDemo();
  ASSERT_TRUE(stored("token"));
  const json logout = velmarJson({"logout"});
  EXPECT_EQ(logout, json({{"islogin", false}}));
  for (const char* key : {"email", "password", "token", "userId"}) {
    EXPECT_FALSE(stored(key)) << key;
  }
  const json who = velmarJson({"whoami"});
  EXPECT_EQ(who, json({{"email", ""}, {"userId", ""}, {"hasToken", false}}));
}

TEST_F(CliEndToEnd, PasswordFromStandardInput) {
  const ProcessResult login = velmar({"--json", "login", kDemoEmail, "--password-stdin"},
                                     std::string(kDemoPassword) + "\n");
  ASSERT_EQ(login.exitStatus, 0) << login.err;
  EXPECT_EQ(json::parse(login.out)["islogin"], true);
  EXPECT_EQ(stored("password"), kDemoPassword);
  EXPECT_EQ(login.out.find(kDemoPassword), std::string::npos);
  EXPECT_EQ(login.err.find(kDemoPassword), std::string::npos);

  const ProcessResult empty = velmar({"login", kDemoEmail, "--password-stdin"});
  EXPECT_EQ(empty.exitStatus, 2) << empty.err;
}

TEST_F(CliEndToEnd, WrongPasswordIsAnInternalErrorAndStoresNothing) {
  // The platform's 401 carries no log-in record, so the SDK cannot tell it from a fault.
  const ProcessResult login = velmar({"--json", "login", kDemoEmail, "not-the-password"});
  EXPECT_EQ(login.exitStatus, 4);
  EXPECT_EQ(json::parse(login.out), json({{"error", "internalError"}}));
  EXPECT_EQ(lineCount(login.err), 1u) << login.err;
  EXPECT_EQ(login.err.find("not-the-password"), std::string::npos);
  EXPECT_FALSE(stored("token"));

  const ProcessResult human = velmar({"login", kDemoEmail, "not-the-password"});
  EXPECT_EQ(human.exitStatus, 4);
  EXPECT_TRUE(human.out.empty()) << human.out;
}

TEST_F(CliEndToEnd, MissingOrUntrustedAuthorityFails) {
  TempDir other;
  const TestCertificates stranger = generateCertificates(other.path(), {VELMAR_DEV_HOST});
  const std::string missing = (other.path() / "absent.pem").string();
  for (const std::string& caFile : {missing, stranger.caFile.string()}) {
    SCOPED_TRACE(caFile);
    const ProcessResult login = velmar({"--json", "login", kDemoEmail, kDemoPassword}, "", caFile);
    EXPECT_EQ(login.exitStatus, 4) << login.err;
    EXPECT_EQ(json::parse(login.out), json({{"error", "internalError"}}));
    EXPECT_FALSE(stored("token"));
  }
}

// Everything before a command runs: nothing may reach the server.
TEST(CliUsage, BadInputExitsTwoWithOneLineAndSendsNothing) {
  RawServer server(
      [](const std::string&) { return RawServer::Reply{RawServer::response(500, "{}")}; });
  const std::vector<std::string> route{
      "--env",
      "prod",
      "--connect-to",
      std::string(VELMAR_PROD_HOST) + ":5050:127.0.0.1:" + std::to_string(server.port()),
      "--keystore",
      "memory"};
  const std::vector<std::vector<std::string>> cases{
      {},
      {"frobnicate"},
      {"--bogus", "whoami"},
      {"whoami", "--bogus"},
      {"login"},
      {"login", "a@example.com"},
      {"login", "a@example.com", "pw", "--password-stdin"},
      {"signup", "--email", "a@example.com"},
      {"signup", "--password", "pw"},
      {"signup", "--email", "a@example.com", "--password", "pw", "--offer-email", "maybe"},
      {"launch", "--game-id", "g", "--provider-id", "abc", "--provider-slug", "s"},
      {"launch", "--game-id", "g", "--provider-id", "12x", "--provider-slug", "s"},
      {"launch", "--game-id", "g", "--provider-id", "-1", "--provider-slug", "s"},
      {"launch", "--game-id", "g", "--provider-slug", "s"},
      {"games", "--pages", "0"},
      {"games", "--pages", "-3"},
      {"games", "--pages=-3"},
      {"games", "--pages", "two"},
      {"--env", "qa", "whoami"},
      {"--keystore", "vault", "whoami"},
      {"--keystore", "file:", "whoami"},
      {"--connect-to", "nonsense", "whoami"},
      {"--mock", "--sandbox", "demo"},
  };
  for (const std::vector<std::string>& args : cases) {
    std::vector<std::string> argv{VELMAR_CLI_PATH};
    // The routed cases add their own --env/--keystore; the rest get the route to the server.
    if (args.empty() || (args[0] != "--env" && args[0] != "--keystore")) {
      argv.insert(argv.end(), route.begin(), route.end());
    }
    argv.insert(argv.end(), args.begin(), args.end());
    std::string shown;
    for (const std::string& arg : args) shown += arg + " ";
    SCOPED_TRACE(shown);
    const ProcessResult result = runProcess(argv);
    EXPECT_EQ(result.exitStatus, 2) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_EQ(lineCount(result.err), 1u) << result.err;
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST(CliUsage, HelpExitsZero) {
  const ProcessResult help = runProcess({VELMAR_CLI_PATH, "--help"});
  EXPECT_EQ(help.exitStatus, 0);
  for (const char* command : {"login", "signup", "games", "launch", "demo"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
}

// The tour on the canned answers and over the in-process sandbox, for people and for scripts.
TEST(CliDemo, RunsOnCannedAnswersAndOverTheSandbox) {
  const std::vector<std::vector<std::string>> settings{
      {}, {"--sandbox"}, {"--sandbox", "--env", "stg"}, {"--sandbox", "--env", "prod"}};
  for (const std::vector<std::string>& setting : settings) {
    std::vector<std::string> argv{VELMAR_CLI_PATH, "--keystore", "memory", "--json"};
    argv.insert(argv.end(), setting.begin(), setting.end());
    argv.push_back("demo");
    SCOPED_TRACE(argv.size() > 4 ? argv[4] + " " + argv.back() : "canned");
    const ProcessResult run = runProcess(argv);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const json tour = json::parse(run.out);
    EXPECT_EQ(tour["login"]["islogin"], true);
    EXPECT_EQ(tour["games"]["pages"], 2);
    EXPECT_FALSE(tour["games"]["games"].empty());
    EXPECT_TRUE(tour["launch"].contains("playForFun"));
    EXPECT_TRUE(tour["balance"]["balance"].is_number());
    EXPECT_FALSE(tour["currencies"]["currencies"].empty());
    EXPECT_EQ(tour["logout"], json({{"islogin", false}}));
  }

  const ProcessResult people = runProcess({VELMAR_CLI_PATH, "--sandbox", "demo"});
  ASSERT_EQ(people.exitStatus, 0) << people.err;
  EXPECT_NE(people.out.find("logged in as demo@velmar.example"), std::string::npos) << people.out;
  EXPECT_NE(people.out.find("logged out"), std::string::npos) << people.out;
}

}  // namespace
}  // namespace velmar::testing
