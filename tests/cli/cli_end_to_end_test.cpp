// The built `velmar` run as a user or a script would, against a sandbox over HTTPS.
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "sandbox_server.hpp"
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
  std::string command = "cd '" + io.path().string() + "' && ";
  for (const auto& arg : argv) command += "'" + arg + "' ";  // no argument holds a quote
  const int status = std::system((command + "<in >out 2>err").c_str());
  auto slurp = [&](const char* name) {
    std::ifstream file(io.path() / name);
    return std::string(std::istreambuf_iterator<char>(file), {});
  };
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp("out"), slurp("err")};
}

const sandbox::DemoPlayer& demo() { return sandbox::demoPlayers().front(); }

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox_.start(); }

  // velmar routed to the sandbox, trusting its authority, with this test's key store.
  Ran velmar(std::vector<std::string> args, const std::string& input = "") const {
    const auto dev = authorityOf(Environment::DEV);
    const std::string route =
        dev.host + ":" + std::to_string(dev.port) + ":127.0.0.1:" + std::to_string(sandbox_.port());
    args.insert(args.begin(), {VELMAR_CLI_PATH, "--connect-to", route, "--cacert",
                               sandbox_.caFile().string(), "--keystore", "file:" + storePath()});
    return runProcess(args, input);
  }
  std::string storePath() const { return (store_.path() / "credentials.json").string(); }
  std::optional<std::string> stored(const std::string& key) const {
    return FileKeyStore(storePath()).string(key);
  }

  sandbox::Sandbox sandbox_;
  TempDir store_;
};

TEST_F(CliTest, ExitStatuses) {
  // Wrong usage: one run per ';', one argument per word.
  std::istringstream usage(R"(; frobnicate; --bogus whoami; whoami --bogus; login; login a@b.c;
    login a@b.c pw --password-stdin; signup --email a@b.c; games --pages 0; games --pages two;
    signup --email a@b.c --password pw --offer-email x; --env qa whoami; --keystore vault whoami;
    launch --game-id g --provider-id 12x --provider-slug s; launch --game-id g --provider-slug s;
    --connect-to nonsense whoami; --mock --sandbox demo)");
  // {arguments, exit status, output: "*" anything but nothing, "{...}" that document}
  std::vector<std::tuple<std::vector<std::string>, int, std::string>> rows = {
      {{"--help"}, 0, "*"},
      // The platform's 401 carries no log-in record: the SDK cannot tell it from a fault.
      {{"--json", "login", demo().email, "wrong-pass"}, 4, R"({"error":"internalError"})"}};
  for (std::string run; std::getline(usage, run, ';');) rows.emplace_back(words(run), 2, "");
  for (const auto& [args, status, out] : rows) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const Ran run = velmar(args);
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(run.out.empty(), out.empty()) << run.out;
    EXPECT_TRUE(!out.starts_with("{") || run.document() == json::parse(out)) << run.out;
    EXPECT_EQ(run.err.find("wrong-pass"), std::string::npos);
    EXPECT_FALSE(stored("token"));
  }
}

// Each step a process of its own; the stored token brings the player back at the next start.
TEST_F(CliTest, ASessionAcrossProcessesFromLogInToLogOut) {
  const Ran login =
      velmar({"--json", "login", demo().email, "--password-stdin"}, demo().password + "\n");
  EXPECT_TRUE(login.status == 0 && login.document()["islogin"] == true) << login.err;
  const auto token = stored("token");
  ASSERT_TRUE(token && !token->empty());
  EXPECT_TRUE(stored("password") == demo().password && stored("userId") == demo().id);
  // Starting up finds the stored token and logs in again: the platform hands out a new one.
  const Ran whoami = velmar({"--json", "whoami"});
  EXPECT_EQ(whoami.document(),
            json({{"email", demo().email}, {"userId", demo().id}, {"hasToken", true}}));
  EXPECT_NE(stored("token"), token);
  const json one = velmar({"--json", "games"}).document(),
             three = velmar({"--json", "games", "--pages", "3"}).document();
  ASSERT_TRUE(!one["games"].empty() && three["games"].size() == 3 * one["games"].size()) << three;
  const std::set<json> distinct(three["games"].begin(), three["games"].end());
  EXPECT_EQ(distinct.size(), three["games"].size()) << "a page was fetched twice";
  for (const auto& secret : {demo().password, *token, stored("token").value_or(*token)})
    EXPECT_EQ((login.out + login.err + whoami.out + whoami.err).find(secret), std::string::npos);
  EXPECT_EQ(velmar({"--json", "logout"}).document(), json({{"islogin", false}}));
  for (const char* key : {"email", "password", "token", "userId"}) EXPECT_FALSE(stored(key)) << key;
}

// A restored session's log-in asks for page 1 itself; `games` takes that answer instead of
// asking again. After a failed restore nothing is under way, and `games` asks for it.
TEST_F(CliTest, WithAStoredSessionEachPageIsAskedForOnce) {
  ASSERT_EQ(velmar({"login", demo().email, demo().password}).status, 0);
  std::vector<json> lists;
  // --pages, and the pages asked for in order; the last run's restore is refused.
  for (const auto& [pages, asked] : {std::pair{"1", "1"}, {"2", "12"}, {"1", "1"}}) {
    if (lists.size() == 2) FileKeyStore(storePath()).set("not-the-password", "password");
    const Ran run = velmar({"-v", "--json", "games", "--pages", pages});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string seen;
    const std::regex page(R"(GET \S*/list_games\?page=(\d+))");
    for (std::sregex_iterator it(run.err.begin(), run.err.end(), page), end; it != end; ++it)
      seen += (*it)[1];
    EXPECT_EQ(seen, asked) << run.err;
    lists.push_back(run.document()["games"]);
  }
  // The same first page either way.
  ASSERT_FALSE(lists[0].empty());
  EXPECT_EQ(lists[2], lists[0]);
  EXPECT_TRUE(std::equal(lists[0].begin(), lists[0].end(), lists[1].begin()));
  EXPECT_EQ(lists[1].size(), 2 * lists[0].size());
}

// The tour on the canned answers and over an in-process sandbox in each environment.
TEST(CliDemo, RunsOnCannedAnswersAndOverTheSandbox) {
  for (const char* setting : {"", "--sandbox", "--sandbox --env stg", "--sandbox --env prod"}) {
    SCOPED_TRACE(setting);
    const Ran run = runProcess(
        words(std::string(VELMAR_CLI_PATH) + " --keystore memory --json " + setting + " demo"));
    const json tour = run.document();
    EXPECT_TRUE(run.status == 0 && tour["login"]["islogin"] == true &&
                tour["games"]["pages"] == 2 && !tour["games"]["games"].empty() &&
                tour["launch"].contains("playForFun") && tour["balance"]["balance"].is_number() &&
                !tour["currencies"]["currencies"].empty() &&
                tour["logout"] == json({{"islogin", false}}))
        << run.err << run.out;
  }
}

}  // namespace
}  // namespace velmar::testing
