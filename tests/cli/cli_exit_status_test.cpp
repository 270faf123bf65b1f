// The exit status and --json failure document for each use-case error, with the commands run
// in-process over stand-in use cases (the sandbox never answers with invalid credentials).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <velmar/velmar.hpp>

#include "commands.hpp"

namespace velmar::cli {
namespace {

// A player use case whose log-in always fails with `error`.
class FailingPlayer : public PlayerUseCase {
 public:
  explicit FailingPlayer(PlayerUseCaseError error)
      : PlayerUseCase(PlayerUseCaseDependencies()), error_(error) {}
  void logIn(const std::string&, const std::string&, ResultCallback<void> result) override {
    MainQueue::main().post([result, error = error_] {
      result([error]() -> void { throw std::system_error(make_error_code(error)); });
    });
  }

 private:
  PlayerUseCaseError error_;
};

// A game use case whose launches always fail with `error`.
class FailingArcade : public GameUseCase {
 public:
  explicit FailingArcade(GameUseCaseError error)
      : GameUseCase(GameUseCaseDependencies()), error_(error) {}
  void launchGame(std::optional<std::string>, std::optional<std::int64_t>,
                  std::optional<std::string>,
                  ResultCallback<std::optional<std::string>> result) override {
    MainQueue::main().post([result, error = error_] {
      result([error]() -> std::optional<std::string> {
        throw std::system_error(make_error_code(error));
      });
    });
  }

 private:
  GameUseCaseError error_;
};

struct Case {
  const char* name;
  Command command;
  std::optional<PlayerUseCaseError> playerError;
  std::optional<GameUseCaseError> gameError;
  int status;
  const char* document;
};

TEST(CliExitStatus, UseCaseErrorsMapToStatusAndDocument) {
  const Case cases[] = {
      {"login invalid",
       Command::login,
       PlayerUseCaseError::invalidCredentials,
       {},
       3,
       "invalidCredentials"},
      {"login internal", Command::login, PlayerUseCaseError::internalError, {}, 4, "internalError"},
      {"launch invalid",
       Command::launch,
       {},
       GameUseCaseError::invalidCredentials,
       3,
       "invalidCredentials"},
      {"launch weak self",
       Command::launch,
       {},
       GameUseCaseError::weakSelfError,
       4,
       "internalError"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    Velmar& sdk = Velmar::instance();
    sdk.useCannedAnswers();  // no network for what initialize sets off
    if (test.playerError) sdk.setPlayer(std::make_shared<FailingPlayer>(*test.playerError));
    if (test.gameError) sdk.setArcade(std::make_shared<FailingArcade>(*test.gameError));

    Options options;
    options.command = test.command;
    options.json = true;
    options.keyStore = KeyStoreChoice{KeyStoreChoice::Kind::memory, {}};
    options.email = "a@example.com";
    options.password = "pw";
    options.gameId = "g";
    options.providerSlug = "s";
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runCommand(options, Streams{in, out, err}), test.status);
    EXPECT_EQ(nlohmann::json::parse(out.str()), nlohmann::json({{"error", test.document}}));
    EXPECT_NE(err.str().find("failed"), std::string::npos) << err.str();
  }
}

}  // namespace
}  // namespace velmar::cli
