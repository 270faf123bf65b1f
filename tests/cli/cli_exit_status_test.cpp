// Each use-case error's exit status and --json document, over stand-in use cases: no server
// answer ever becomes invalidCredentials.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <velmar/velmar.hpp>

#include "commands.hpp"

namespace velmar::cli {
namespace {

std::error_code failure;  // what the stand-ins fail with in the current row

template <typename T>
void failLater(const ResultCallback<T>& result) {
  MainQueue::main().post(
      [=, code = failure] { result([=]() -> T { throw std::system_error(code); }); });
}

struct FailingPlayer : PlayerUseCase {
  FailingPlayer() : PlayerUseCase({}) {}
  void logIn(const std::string&, const std::string&, ResultCallback<void> result) override {
    failLater(result);
  }
};

struct FailingArcade : GameUseCase {
  FailingArcade() : GameUseCase({}) {}
  void launchGame(std::optional<std::string>, std::optional<std::int64_t>,
                  std::optional<std::string>,
                  ResultCallback<std::optional<std::string>> result) override {
    failLater(result);
  }
};

TEST(CliExitStatus, UseCaseErrorsMapToStatusAndDocument) {
  using Args = std::vector<const char*>;
  const Args login = {"login", "a@example.com", "pw"},
             launch = {"launch", "--game-id=g", "--provider-id=1", "--provider-slug=s"};
  const std::tuple<Args, std::error_code, int, const char*> rows[] = {
      {login, PlayerUseCaseError::invalidCredentials, 3, "invalidCredentials"},
      {login, PlayerUseCaseError::internalError, 4, "internalError"},
      {launch, GameUseCaseError::invalidCredentials, 3, "invalidCredentials"}};
  for (const auto& [command, error, status, document] : rows) {
    SCOPED_TRACE(error.message());
    failure = error;
    Velmar::instance().useCannedAnswers();  // no network for what initialize sets off
    Velmar::instance().setPlayer(std::make_shared<FailingPlayer>());
    Velmar::instance().setArcade(std::make_shared<FailingArcade>());
    std::vector<const char*> argv = {"velmar", "--json", "--keystore", "memory"};
    argv.insert(argv.end(), command.begin(), command.end());
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(runTool(static_cast<int>(argv.size()), argv.data(), {in, out, err}), status);
    EXPECT_EQ(nlohmann::json::parse(out.str()), nlohmann::json({{"error", document}}));
  }
}

}  // namespace
}  // namespace velmar::cli
