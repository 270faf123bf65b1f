#include "velmar/client.hpp"

#include <cstdio>
#include <exception>

#include "support/no_destructor.hpp"
#include "data/network/api_environment.hpp"
#include "platform/credential_home.hpp"

namespace velmar {
namespace {

// Converted by name: the two enumerations list their cases in different orders.
Environment toEnvironment(ApiEnvironment api) {
  switch (api) {
    case ApiEnvironment::DEV:
      return Environment::DEV;
    case ApiEnvironment::PROD:
      return Environment::PROD;
    case ApiEnvironment::STG:
      return Environment::STG;
  }
  return Environment::DEV;
}

void writeToStandardOutput(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

VelmarOutput::~VelmarOutput() = default;

Velmar::Velmar() : logSink_(&writeToStandardOutput) {}
Velmar::~Velmar() = default;

Velmar& Velmar::instance() {
  static NoDestructor<Velmar> facade;
  return facade.value;
}

std::shared_ptr<PlayerUseCase> Velmar::player() {
  if (!player_) {
    player_ = PlayerUseCase::make(PlayerUseCaseDependencies({}, arcade()));
  }
  return player_;
}

void Velmar::setPlayer(std::shared_ptr<PlayerUseCase> player) { player_ = std::move(player); }

std::shared_ptr<GameUseCase> Velmar::arcade() {
  if (!arcade_) arcade_ = GameUseCase::make();
  return arcade_;
}

void Velmar::setArcade(std::shared_ptr<GameUseCase> arcade) { arcade_ = std::move(arcade); }

std::shared_ptr<UtilsUseCase> Velmar::utils() {
  if (!utils_) utils_ = UtilsUseCase::make();
  return utils_;
}

void Velmar::setUtils(std::shared_ptr<UtilsUseCase> utils) { utils_ = std::move(utils); }

// Read once: later log-ins and log-outs do not change whether initialize restores a session.
const std::string& Velmar::token() {
  if (!token_) token_ = player()->getToken();
  return *token_;
}

void Velmar::initialize(ApiEnvironment api) {
  APIEnvironment::shared().setApiEnvironment(toEnvironment(api));
  const bool restore = !token().empty();
  // The first read chose the key store; say so here if the credentials are out of reach.
  if (auto notice = internal::takeKeyStoreNotice(); notice && logSink_) logSink_(*notice);
  if (restore) {
    auto player = this->player();
    const std::string email = player->getEmail();
    const std::string password = player->getPassword();
    player->logIn(email, password, loggingCallback());
  }
  utils()->getCurrencyList(loggingCallback());
}

void Velmar::useNetworkProvider(std::shared_ptr<NetworkProvider> provider) {
  const UseCaseDependencies dependencies(std::move(provider));
  auto games = GameUseCase::make(dependencies);
  setArcade(games);
  setUtils(UtilsUseCase::make(dependencies));
  setPlayer(PlayerUseCase::make(PlayerUseCaseDependencies(dependencies, games)));
}

void Velmar::downloadGameList() { arcade()->getGameList(); }

void Velmar::downloadMoreGameList() { arcade()->getMoreGamesList(); }

void Velmar::setLogSink(LogSink sink) { logSink_ = std::move(sink); }

// Calling the thunk matters: for a restored session it is what sets `islogin`.
ResultCallback<void> Velmar::loggingCallback() {
  return [this](Thunk<void> thunk) {
    try {
      thunk();
    } catch (const std::exception& error) {
      if (logSink_) logSink_(error.what());
    }
  };
}

}  // namespace velmar
