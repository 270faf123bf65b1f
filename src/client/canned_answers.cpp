#include "data/network/network_mock.hpp"
#include "data/service/game_service.hpp"
#include "data/service/log_in_service.hpp"
#include "data/service/sign_up_service.hpp"
#include "data/service/utils_service.hpp"
#include "velmar/client.hpp"

namespace velmar {

// The same wiring as the defaults, with the canned provider in every service.
void Velmar::useCannedAnswers() {
  auto mock = std::make_shared<NetworkMock>();
  auto games = std::make_shared<GameUseCase>(GameUseCaseDependencies(
      std::make_shared<GameService>(GameServiceDependencies(nullptr, mock)), nullptr, nullptr));
  setArcade(games);
  setUtils(std::make_shared<UtilsUseCase>(UtilsUseCaseDependencies(
      std::make_shared<UtilsService>(UtilsServiceDependencies(nullptr, nullptr, mock)), nullptr,
      nullptr)));
  setPlayer(PlayerUseCase::make(PlayerUseCaseDependencies(
      std::make_shared<LogInService>(LogInServiceDependencies(nullptr, mock)),
      std::make_shared<SignUpService>(SignUpServiceDependencies(nullptr, nullptr, mock)), nullptr,
      nullptr, games)));
}

}  // namespace velmar
