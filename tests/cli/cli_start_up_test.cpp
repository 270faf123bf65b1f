// What a command waits for at start-up with a stored session, in-process over a sandbox.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <velmar/velmar.hpp>

#include "commands.hpp"
#include "sandbox_server.hpp"
#include "session.hpp"
#include "support/temp_dir.hpp"

namespace velmar::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Holds the first page's answer, the queue kept busy as by a request in flight, until the
// command's own answer is in (or a deadline passed); then delivers it.
struct HeldFirstPage : GameUseCase {
  HeldFirstPage() : GameUseCase({}) {}
  void getGameList() override { hold(Clock::now() + std::chrono::seconds(5)); }
  void launchGame(std::optional<std::string> id, std::optional<std::int64_t> provider,
                  std::optional<std::string> slug,
                  ResultCallback<std::optional<std::string>> result) override {
    GameUseCase::launchGame(std::move(id), provider, std::move(slug), [this, result](auto thunk) {
      launchAnswered = true;
      result(std::move(thunk));
    });
  }
  void hold(Clock::time_point deadline) {
    if (!launchAnswered && Clock::now() < deadline) {
      auto self = std::static_pointer_cast<HeldFirstPage>(shared_from_this());
      MainQueue::main().post([self, deadline] { self->hold(deadline); });
      return;
    }
    launchBeforePage = launchAnswered;
    gameList()->setValue(GameListState::success(std::nullopt));
    delivered = true;
  }
  bool launchAnswered = false, launchBeforePage = false, delivered = false;
};

// The restoring log-in sets off the first page; the launch must not wait for it, and although
// the launch fails, the tool lets the page arrive before it exits.
TEST(CliStartUp, ACommandWaitsForTheRestoreOnlyAndLeavesNothingInFlight) {
  sandbox::SandboxOptions quiet;
  quiet.log = nullptr;
  sandbox::Sandbox server(quiet);
  server.start();
  testing::TempDir folder;
  const std::string store = (folder.path() / "credentials.json").string();
  const sandbox::DemoPlayer& player = sandbox::demoPlayers().front();
  FileKeyStore(store).setAll({{"email", player.email}, {"password", player.password},
                              {"token", "from-an-earlier-run"}, {"userId", player.id}});
  const auto arcade = std::make_shared<HeldFirstPage>();
  Velmar::instance().setArcade(arcade);
  const std::string route =
      authorityOf(baseURL(ApiEnvironment::DEV)) + ":127.0.0.1:" + std::to_string(server.port());
  const std::string ca = server.caFile().string(), keyStore = "file:" + store;
  const char* argv[] = {"velmar",          "--connect-to", route.c_str(), "--cacert",
                        ca.c_str(),        "--keystore",   keyStore.c_str(), "launch",
                        "--game-id",       "no-such-game", "--provider-id",  "1",
                        "--provider-slug", "none"};
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(runTool(static_cast<int>(std::size(argv)), argv, {in, out, err}), 4) << err.str();
  EXPECT_TRUE(arcade->launchBeforePage) << "the launch waited for the first page";
  EXPECT_TRUE(arcade->delivered) << "the first page was cut off";
  EXPECT_NE(FileKeyStore(store).string("token"), "from-an-earlier-run") << "no restore";
}

}  // namespace
}  // namespace velmar::cli
