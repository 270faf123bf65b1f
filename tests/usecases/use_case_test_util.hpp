#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "data/mapper/data_domain_mapper.hpp"
#include "support/session.hpp"
#include "velmar/game_use_case.hpp"
#include "velmar/player_use_case.hpp"
#include "velmar/testing/scripted_provider.hpp"
#include "velmar/utils_use_case.hpp"

namespace velmar::testing {

// A status mapper that refuses the credentials for every failing status: the only service
// error the default mapper never gives, and the only one a host tells apart.
class RefusingMapper : public DataDomainMapperProvider {
 public:
  LogInServiceError apiStatusCodeToLogInServiceError(APIStatusCode) override {
    return LogInServiceError::invalidCredencials();
  }
  SignUpServiceError apiStatusCodeToSignUpServiceError(APIStatusCode) override {
    return SignUpServiceError::invalidCredencials();
  }
  GameServiceError apiStatusCodeToGameListServiceError(APIStatusCode) override {
    return GameServiceError::invalidCredencials();
  }
  UtilsServiceError apiStatusCodeToUtilsServiceError(APIStatusCode) override {
    return UtilsServiceError::invalidCredencials();
  }
};

// Bodies as the platform sends them.
inline std::string envelope(const nlohmann::json& result) {
  return nlohmann::json{{"result", result}}.dump();
}
inline std::string logInBody(const std::string& email, const std::string& id,
                             const std::string& token) {
  return envelope({{"token", token}, {"player", {{"id", id}, {"email", email}}}});
}
inline std::string gamePage(const std::vector<std::string>& names) {
  nlohmann::json games = nlohmann::json::array();
  int id = 1;
  for (const auto& name : names) games.push_back({{"id", id++}, {"name", name}});
  return envelope(games);
}

// Every suite starts from an empty in-memory credential store, the DEV environment and an
// empty main queue, and fails when a request went out that no answer was scripted for.
class UseCaseTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    network_ = std::make_shared<ScriptedProvider>();
  }
  void TearDown() override {
    SessionTest::TearDown();
    for (const auto& request : network_->unscripted()) {
      ADD_FAILURE() << "no answer scripted for " << name(request.operation);
    }
  }

  std::shared_ptr<GameUseCase> makeGames(std::shared_ptr<DataDomainMapperProvider> mapper = {}) {
    return GameUseCase::make(GameUseCaseDependencies(network_, std::move(mapper)));
  }
  std::shared_ptr<PlayerUseCase> makePlayer(std::shared_ptr<GameUseCase> games,
                                            std::shared_ptr<DataDomainMapperProvider> mapper = {}) {
    return PlayerUseCase::make(
        PlayerUseCaseDependencies(UseCaseDependencies(network_, std::move(mapper)), std::move(games)));
  }
  std::shared_ptr<UtilsUseCase> makeUtils(std::shared_ptr<DataDomainMapperProvider> mapper = {}) {
    return UtilsUseCase::make(UtilsUseCaseDependencies(network_, std::move(mapper)));
  }

  // What the credential store holds under e-mail, password, token and user id.
  using Stored = std::vector<std::optional<std::string>>;
  Stored stored() const {
    Stored out;
    for (const auto key : {kEmailKey, kPasswordKey, kTokenKey, kUserIdKey}) {
      out.push_back(store_->string(std::string(key)));
    }
    return out;
  }

  std::shared_ptr<ScriptedProvider> network_;
  std::shared_ptr<int> screen_ = std::make_shared<int>(0);  // the observer's lifetime
};

}  // namespace velmar::testing
