// Each use-case error's exit status and --json document, over stand-in use cases: no server
// answer ever becomes invalidCredentials.
#include <gtest/gtest.h>

#include <iterator>
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

struct FailingPlayer : PlayerUseCase {
  explicit FailingPlayer(std::error_code code) : PlayerUseCase({}), code(code) {}
  void logIn(const std::string&, const std::string&, ResultCallback<void> result) override {
    failLater(result, code);
  }
  std::error_code code;
};

struct FailingArcade : GameUseCase {
  explicit FailingArcade(std::error_code code) : GameUseCase({}), code(code) {}
  void launchGame(std::optional<std::string>, std::optional<std::int64_t>,
                  std::optional<std::string>,
                  ResultCallback<std::optional<std::string>> result) override {
    failLater(result, code);
  }
  std::error_code code;
};

TEST(CliExitStatus, UseCaseErrorsMapToStatusAndDocument) {
  const char* login = "login a@example.com pw";
  const char* launch = "launch --game-id g --provider-id 1 --provider-slug s";
  const struct {
    const char* command;
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
    Velmar& sdk = Velmar::instance();
    sdk.useCannedAnswers();  // no network for what initialize sets off
    sdk.setPlayer(std::make_shared<FailingPlayer>(row.error));
    sdk.setArcade(std::make_shared<FailingArcade>(row.error));
    std::istringstream in(std::string("velmar --json --keystore memory ") + row.command);
    std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    std::vector<const char*> argv;
    for (const auto& word : words) argv.push_back(word.c_str());
    std::ostringstream out, err;
    EXPECT_EQ(runTool(static_cast<int>(argv.size()), argv.data(), {in, out, err}), row.status);
    EXPECT_EQ(nlohmann::json::parse(out.str()), nlohmann::json({{"error", row.document}}));
    EXPECT_NE(err.str().find("failed"), std::string::npos) << err.str();
  }
}

}  // namespace
}  // namespace velmar::cli
