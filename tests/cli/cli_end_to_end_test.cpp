// The built `velmar` run as a user or a script would, against a sandbox over HTTPS, with its
// credentials in a file key store.
#include <sys/wait.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "sandbox_server.hpp"
#include "support/certificates.hpp"
#include "support/session.hpp"
#include "support/temp_dir.hpp"

namespace velmar::testing {
namespace {

using nlohmann::json;

struct Ran {
  int status = -1;  // -1: killed by a signal
  std::string out, err;
  json document() const { return json::parse(out, nullptr, false); }
};

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), {}};
}

// Through the shell, each argument quoted, the streams in files so no pipe can fill up.
Ran runProcess(const std::vector<std::string>& argv, const std::string& input = "") {
  TempDir io;
  std::ofstream(io.path() / "in") << input;
  std::string command;
  for (const auto& arg : argv) {
    command += '\'';
    for (char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "' ";
  }
  const std::string at = "'" + io.path().string() + "/";
  const int status =
      std::system((command + "<" + at + "in' >" + at + "out' 2>" + at + "err'").c_str());
  auto slurp = [&](const char* name) {
    std::stringstream text;
    text << std::ifstream(io.path() / name).rdbuf();
    return text.str();
  };
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp("out"), slurp("err")};
}

std::size_t lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

const sandbox::DemoPlayer& demo() { return sandbox::demoPlayers().front(); }

class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sandbox::SandboxOptions options;
    options.log = [](std::string_view) { ++requests_; };
    sandbox_.emplace(options).start();
  }
  static void TearDownTestSuite() { sandbox_.reset(); }

  // velmar routed to the sandbox, trusting `caFile`, with this test's key store.
  Ran velmar(std::vector<std::string> args, const std::string& input = "",
             std::optional<std::string> caFile = std::nullopt) const {
    const auto dev = authorityOf(Environment::DEV);
    std::vector<std::string> argv{VELMAR_CLI_PATH};
    if (args.empty() || (args[0] != "--env" && args[0] != "--keystore")) {
      argv.insert(argv.end(), {"--connect-to",
                               dev.host + ":" + std::to_string(dev.port) +
                                   ":127.0.0.1:" + std::to_string(sandbox_->port()),
                               "--cacert", caFile.value_or(sandbox_->caFile().string()),
                               "--keystore", "file:" + storePath()});
    }
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, input);
  }
  json velmarJson(std::vector<std::string> args) const {
    args.insert(args.begin(), "--json");
    const Ran run = velmar(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.document();
  }
  std::string storePath() const { return (store_.path() / "credentials.json").string(); }
  std::optional<std::string> stored(const std::string& key) const {
    return FileKeyStore(storePath()).string(key);
  }

  inline static std::optional<sandbox::Sandbox> sandbox_;
  inline static std::atomic<int> requests_{0};
  TempDir store_;
};

TEST_F(CliTest, ExitStatuses) {
  TempDir other;
  const auto stranger = generateCertificates(other.path(), {authorityOf(Environment::DEV).host});
  const std::vector<std::string> login{"--json", "login", demo().email, demo().password};
  const std::string failure = R"({"error":"internalError"})";
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string out = "";  // "*": anything but nothing
    std::optional<std::string> caFile = std::nullopt;
  };
  // Wrong usage: one run per ';', one argument per word. Nothing may reach the server.
  std::istringstream usage(R"(; frobnicate; --bogus whoami; whoami --bogus; login; login a@b.c;
    login a@b.c pw --password-stdin; login a@b.c --password-stdin;
    signup --email a@b.c; signup --password pw; signup --email a@b.c --password pw --offer-email x;
    launch --game-id g --provider-id 12x --provider-slug s; launch --game-id g --provider-slug s;
    launch --game-id g --provider-id -1 --provider-slug s; games --pages 0; games --pages=-3;
    games --pages two; --env qa whoami; --keystore vault whoami; --keystore file: whoami;
    --connect-to nonsense whoami; --mock --sandbox demo)");
  std::vector<Row> rows = {
      {{"--help"}, 0, "*"},
      // The platform's 401 carries no log-in record: the SDK cannot tell it from a fault.
      {{"--json", "login", demo().email, "wrong-pass"}, 4, failure},
      {login, 4, failure, (other.path() / "absent.pem").string()},
      {login, 4, failure, stranger.caFile.string()},
  };
  for (std::string run; std::getline(usage, run, ';');) rows.push_back({words(run), 2});
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    const int before = requests_;
    const Ran run = velmar(row.args, "", row.caFile);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_EQ(run.out.empty(), row.out.empty()) << run.out;
    EXPECT_TRUE(!row.out.starts_with("{") || run.document() == json::parse(row.out)) << run.out;
    // Without the authority the currency list loaded at start-up fails too.
    EXPECT_TRUE(row.status == 0 || row.caFile || lines(run.err) == 1) << run.err;
    EXPECT_TRUE(row.status != 2 || requests_ == before) << "nothing may reach the server";
    EXPECT_EQ(run.err.find("wrong-pass"), std::string::npos);
    EXPECT_FALSE(stored("token"));
  }
}

TEST_F(CliTest, ASessionAcrossProcessesFromSignUpToLogOutThenEveryCommand) {
  const std::string email = "ana" + std::to_string(::getpid()) + "@example.com";
  const std::string password = "s3cret-Pass";
  const Ran signup = velmar({"--json", "signup", "--email", email, "--password", password,
                             "--first-name", "Ana", "--currency-id", "978"});
  EXPECT_EQ(signup.document()["player"]["first_name"], "Ana") << signup.err;
  const Ran login = velmar({"--json", "login", email, "--password-stdin"}, password + "\n");
  EXPECT_EQ(login.document()["islogin"], true) << login.err;
  const auto token = stored("token");
  ASSERT_TRUE(token && !token->empty());
  EXPECT_EQ(stored("password"), password);
  EXPECT_EQ(stored("userId"), login.document()["player"]["id"].get<std::string>());

  // Starting up finds the stored token and logs in again: the platform hands out a new one.
  const Ran whoami = velmar({"--json", "whoami"});
  EXPECT_EQ(whoami.document(),
            json({{"email", email}, {"userId", *stored("userId")}, {"hasToken", true}}));
  EXPECT_NE(stored("token"), token);
  const auto shown = signup.out + signup.err + login.out + login.err + whoami.out + whoami.err;
  for (const auto& secret : {password, *token, *stored("token")})
    EXPECT_EQ(shown.find(secret), shown.npos);
  EXPECT_EQ(velmarJson({"logout"}), json({{"islogin", false}}));
  for (const char* key : {"email", "password", "token", "userId"}) EXPECT_FALSE(stored(key)) << key;
  EXPECT_EQ(velmarJson({"whoami"}), json({{"email", ""}, {"userId", ""}, {"hasToken", false}}));

  ASSERT_EQ(velmarJson({"login", demo().email, demo().password})["islogin"], true);
  const json one = velmarJson({"games"});
  const json three = velmarJson({"games", "--pages", "3"});
  ASSERT_EQ(three["games"].size(), 3 * one["games"].size());
  EXPECT_EQ(three["games"][0], one["games"][0]);
  std::set<std::int64_t> ids;
  for (const json& game : three["games"]) ids.insert(game["id"].get<std::int64_t>());
  EXPECT_EQ(ids.size(), three["games"].size()) << "a page was fetched twice";

  // For people: a header line, a line per game and a progress line per page.
  const Ran table = velmar({"games", "--pages", "3"});
  EXPECT_EQ(lines(table.out), three["games"].size() + 1);
  EXPECT_NE(table.err.find("loading page 3/3"), std::string::npos) << table.err;

  const json& first = one["games"][0];
  const json launch =
      velmarJson({"launch", "--game-id", first["game_id"].get<std::string>(), "--provider-id",
                  std::to_string(first["provider_id"].get<std::int64_t>()), "--provider-slug",
                  first["provider_slug"].get<std::string>()});
  EXPECT_FALSE(launch["playForFun"].get<std::string>().empty());
  EXPECT_EQ(velmarJson({"balance"})["balance"], demo().amount);
  EXPECT_EQ(velmarJson({"currencies"})["currencies"].size(),
            sandbox::Catalogue().currencies().size());
}

// The tour on the canned answers and over an in-process sandbox in each environment.
TEST(CliDemo, RunsOnCannedAnswersAndOverTheSandbox) {
  for (const char* setting : {"", "--sandbox", "--sandbox --env stg", "--sandbox --env prod"}) {
    SCOPED_TRACE(setting);
    const Ran run = runProcess(
        words(std::string(VELMAR_CLI_PATH) + " --keystore memory --json " + setting + " demo"));
    ASSERT_EQ(run.status, 0) << run.err;
    const json tour = run.document();
    EXPECT_TRUE(tour["login"]["islogin"] == true && tour["games"]["pages"] == 2 &&
                !tour["games"]["games"].empty() && tour["launch"].contains("playForFun") &&
                tour["balance"]["balance"].is_number() && !tour["currencies"]["currencies"].empty())
        << run.out;
    EXPECT_EQ(tour["logout"], json({{"islogin", false}}));
  }
  const Ran people = runProcess({VELMAR_CLI_PATH, "--sandbox", "demo"});
  ASSERT_EQ(people.status, 0) << people.err;
  EXPECT_NE(people.out.find("logged in as " + demo().email), std::string::npos) << people.out;
}

}  // namespace
}  // namespace velmar::testing
