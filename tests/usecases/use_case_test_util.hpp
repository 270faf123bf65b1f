#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "data/mapper/data_domain_mapper.hpp"
#include "data/network/api_environment.hpp"
#include "velmar/testing/scripted_provider.hpp"
#include "data/service/game_service.hpp"
#include "data/service/log_in_service.hpp"
#include "data/service/sign_up_service.hpp"
#include "data/service/utils_service.hpp"
#include "support/queue.hpp"
#include "support/session.hpp"
#include "velmar/game_use_case.hpp"
#include "velmar/key_store.hpp"
#include "velmar/main_queue.hpp"
#include "velmar/player_use_case.hpp"
#include "velmar/utils_use_case.hpp"

namespace velmar::testing {

// A status mapper that turns every failing status into one chosen service error, so each
// of the five cases can reach a use case through its real service.
class FixedErrorMapper : public DataDomainMapperProvider {
 public:
  enum class Kind { createURLError, serverError, notFound, invalidCredencials, weakSelfError };

  explicit FixedErrorMapper(Kind kind, std::string message = "scripted")
      : kind_(kind), message_(std::move(message)) {}

  LogInServiceError apiStatusCodeToLogInServiceError(APIStatusCode) override {
    return make<LogInServiceError>();
  }
  SignUpServiceError apiStatusCodeToSignUpServiceError(APIStatusCode) override {
    return make<SignUpServiceError>();
  }
  GameServiceError apiStatusCodeToGameListServiceError(APIStatusCode) override {
    return make<GameServiceError>();
  }
  UtilsServiceError apiStatusCodeToUtilsServiceError(APIStatusCode) override {
    return make<UtilsServiceError>();
  }

 private:
  template <typename E>
  E make() const {
    switch (kind_) {
      case Kind::createURLError:
        return E::createURLError(message_);
      case Kind::serverError:
        return E::serverError(message_);
      case Kind::notFound:
        return E::notFound();
      case Kind::invalidCredencials:
        return E::invalidCredencials();
      case Kind::weakSelfError:
        return E::weakSelfError();
    }
    return E::notFound();
  }

  Kind kind_;
  std::string message_;
};

// Bodies as the platform sends them.
inline std::string envelope(const nlohmann::json& result) {
  return nlohmann::json{{"result", result}}.dump();
}
inline nlohmann::json playerJson(const std::string& email, const std::string& id) {
  return {{"id", id}, {"email", email}, {"first_name", "Ada"}};
}
inline std::string logInBody(const std::string& email, const std::string& id,
                             const std::string& token) {
  return envelope({{"token", token}, {"player", playerJson(email, id)}});
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

  // What the credential store holds under each of its four keys.
  std::map<std::string, std::optional<std::string>> stored() const {
    std::map<std::string, std::optional<std::string>> out;
    for (const char* key : {"email", "password", "token", "userId"}) out[key] = store_->string(key);
    return out;
  }

  std::shared_ptr<ScriptedProvider> network_;
};

}  // namespace velmar::testing
