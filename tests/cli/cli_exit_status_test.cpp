// Each use-case error's exit status and --json document, over stand-in use cases: no server
// answer ever becomes invalidCredentials.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <velmar/velmar.hpp>

#include "commands.hpp"

namespace velmar::cli {
namespace {

template <typename T>
void failLater(const ResultCallback<T>& result, std::error_code code) {
  MainQueue::main().post([=] { result([=]() -> T { throw std::system_error(code); }); });
}

std::error_code failure;  // what the stand-ins fail with in the current row

struct FailingPlayer : PlayerUseCase {
  FailingPlayer() : PlayerUseCase({}) {}
  void logIn(const std::string&, const std::string&, ResultCallback<void> result) override {
    failLater(result, failure);
  }
};

struct FailingArcade : GameUseCase {
  FailingArcade() : GameUseCase({}) {}
  void launchGame(std::optional<std::string>, std::optional<std::int64_t>,
                  std::optional<std::string>,
                  ResultCallback<std::optional<std::string>> result) override {
    failLater(result, failure);
  }
};

TEST(CliExitStatus, UseCaseErrorsMapToStatusAndDocument) {
  const std::vector<const char*> login = {"login", "a@example.com", "pw"},
                                 launch = {"launch", "--game-id",       "g", "--provider-id",
                                           "1",      "--provider-slug", "s"};
  const struct {
    std::vector<const char*> command;
    std::error_code error;
    int status;
    const char* document;
  } rows[] = {
      {login, PlayerUseCaseError::invalidCredentials, 3, "invalidCredentials"},
      {login, PlayerUseCaseError::internalError, 4, "internalError"},
      {launch, GameUseCaseError::invalidCredentials, 3, "invalidCredentials"},
      {launch, GameUseCaseError::weakSelfError, 4, "internalError"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.error.message());
    failure = row.error;
    Velmar& sdk = Velmar::instance();
    sdk.useCannedAnswers();  // no network for what initialize sets off
    sdk.setPlayer(std::make_shared<FailingPlayer>());
    sdk.setArcade(std::make_shared<FailingArcade>());
    std::vector<const char*> argv = {"velmar", "--json", "--keystore", "memory"};
    argv.insert(argv.end(), row.command.begin(), row.command.end());
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(runTool(static_cast<int>(argv.size()), argv.data(), {in, out, err}), row.status);
    EXPECT_EQ(nlohmann::json::parse(out.str()), nlohmann::json({{"error", row.document}}));
  }
}

}  // namespace
}  // namespace velmar::cli
