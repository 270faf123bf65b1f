// What a command waits for after start-up with a stored session, in-process over a sandbox.
// One run per process: the facade reads the stored token once.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>
#include <velmar/velmar.hpp>

#include "commands.hpp"
#include "sandbox_server.hpp"
#include "session.hpp"

namespace velmar::cli {
namespace {

using Clock = std::chrono::steady_clock;

// The first page's answer stays out, the queue kept busy as by a request in flight, until the
// command's own answer is in or a deadline passes; then it arrives, noting which came first.
struct HeldFirstPage : GameUseCase {
  HeldFirstPage() : GameUseCase({}) {}

  void getGameList() override {
    ++asked;
    hold(Clock::now() + std::chrono::seconds(5));
  }

  void launchGame(std::optional<std::string> gameID, std::optional<std::int64_t> providerID,
                  std::optional<std::string> providerSlug,
                  ResultCallback<std::optional<std::string>> result) override {
    GameUseCase::launchGame(std::move(gameID), providerID, std::move(providerSlug),
                            [this, result](Thunk<std::optional<std::string>> thunk) {
                              launchAnswered = true;
                              result(std::move(thunk));
                            });
  }

  void hold(Clock::time_point deadline) {
    const bool answered =
        launchAnswered || Velmar::instance().utils()->balance()->value().has_value();
    if (!answered && Clock::now() < deadline) {
      auto self = std::static_pointer_cast<HeldFirstPage>(shared_from_this());
      MainQueue::main().post([self, deadline] { self->hold(deadline); });
      return;
    }
    commandBeforePage = answered;
    gameList()->setValue(GameListState::success(std::nullopt));
    delivered = true;
  }

  int asked = 0;
  bool launchAnswered = false;
  bool commandBeforePage = false;
  bool delivered = false;
};

struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmar-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

// The tool run once, in this process, with the demo player's session stored from an earlier
// run and the first page held.
struct StoredSessionRun {
  sandbox::Sandbox server{quiet()};
  TempFolder folder;
  std::string store = (folder.path / "credentials.json").string();
  std::shared_ptr<HeldFirstPage> arcade = std::make_shared<HeldFirstPage>();
  int status = -1;
  std::string out, err;

  static sandbox::SandboxOptions quiet() {
    sandbox::SandboxOptions settings;
    settings.log = nullptr;
    return settings;
  }

  explicit StoredSessionRun(std::vector<std::string> command) {
    server.start();
    const sandbox::DemoPlayer& player = sandbox::demoPlayers().front();
    FileKeyStore(store).setAll({{"email", player.email},
                                {"password", player.password},
                                {"token", "from-an-earlier-run"},
                                {"userId", player.id}});
    Velmar::instance().setArcade(arcade);
    std::vector<std::string> args = {
        "velmar",   "--json", "--connect-to",
        authorityOf(baseURL(ApiEnvironment::DEV)) + ":127.0.0.1:" + std::to_string(server.port()),
        "--cacert", server.caFile().string(), "--keystore", "file:" + store};
    args.insert(args.end(), command.begin(), command.end());
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::istringstream in;
    std::ostringstream outStream, errStream;
    status = runTool(static_cast<int>(argv.size()), argv.data(), {in, outStream, errStream});
    out = outStream.str();
    err = errStream.str();
  }

  bool tokenRenewed() const { return FileKeyStore(store).string("token") != "from-an-earlier-run"; }
};

// The facade reads the stored token once per process: ctest runs each test on its own.
bool firstRunInThisProcess() {
  static bool ran = false;
  return !std::exchange(ran, true);
}

TEST(CliStartUp, BalanceDoesNotWaitForTheFirstPageTheRestoreSetsOff) {
  if (!firstRunInThisProcess()) GTEST_SKIP() << "needs a process of its own";
  const StoredSessionRun run({"balance"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out),
            nlohmann::json({{"balance", sandbox::demoPlayers().front().amount}}));
  EXPECT_EQ(run.arcade->asked, 1) << "the restoring log-in asks for the first page";
  EXPECT_TRUE(run.arcade->commandBeforePage);
  EXPECT_TRUE(run.tokenRenewed());
}

// A failed command still lets what start-up set off beside it finish before the tool exits.
TEST(CliStartUp, AFailedCommandLeavesNothingInFlight) {
  if (!firstRunInThisProcess()) GTEST_SKIP() << "needs a process of its own";
  const StoredSessionRun run(
      {"launch", "--game-id", "no-such-game", "--provider-id", "1", "--provider-slug", "none"});
  EXPECT_EQ(run.status, 4) << run.err;
  EXPECT_TRUE(run.arcade->commandBeforePage);
  EXPECT_TRUE(run.arcade->delivered) << "the first page was cut off";
}

}  // namespace
}  // namespace velmar::cli
