#include "velmar/player_use_case.hpp"

#include "support/lazy.hpp"
#include "data/service/log_in_service.hpp"
#include "data/service/sign_up_service.hpp"
#include "domain/mapper/domain_use_case_mapper.hpp"
#include "use_case/thunks.hpp"
#include "velmar/main_queue.hpp"

namespace velmar {

PlayerUseCaseInput::~PlayerUseCaseInput() = default;
PlayerUseCaseOutput::~PlayerUseCaseOutput() = default;

std::shared_ptr<PlayerUseCase> PlayerUseCase::make(PlayerUseCaseDependencies dependencies) {
  struct Made : PlayerUseCase {
    explicit Made(PlayerUseCaseDependencies d) : PlayerUseCase(std::move(d)) {}
  };
  return std::make_shared<Made>(std::move(dependencies));
}

PlayerUseCase::PlayerUseCase(PlayerUseCaseDependencies dependencies)
    : userInformation_(Observable<std::optional<Player>>::make(std::nullopt)),
      dependencies_(std::move(dependencies)) {}

// Every player use case with default collaborators shares the process-wide log-in service.
const std::shared_ptr<LogInServiceDataSource>& PlayerUseCase::logInService() {
  return createOnFirstUse(logInService_, [this]() -> std::shared_ptr<LogInServiceDataSource> {
    if (!dependencies_.network() && !dependencies_.dataDomainMapper()) {
      return LogInService::inject();
    }
    return std::make_shared<LogInService>(
        LogInServiceDependencies(dependencies_.dataDomainMapper(), dependencies_.network()));
  });
}

const std::shared_ptr<SignUpServiceDataSource>& PlayerUseCase::signUpService() {
  return createOnFirstUse(signUpService_, [this] {
    return std::make_shared<SignUpService>(SignUpServiceDependencies(
        dependencies_.preferenceData(), dependencies_.dataDomainMapper(), dependencies_.network()));
  });
}

std::shared_ptr<Observable<bool>> PlayerUseCase::islogin() {
  return createOnFirstUse(islogin_, [] { return Observable<bool>::make(false); });
}

void PlayerUseCase::logIn(const std::string& email, const std::string& password,
                          ResultCallback<void> result) {
  result = orDropOutcome(std::move(result));
  auto self = weak_from_this().lock();
  if (!self) return result(failureThunk<void>(PlayerUseCaseError::weakSelfError));
  logInService()->logInRequest(
      email, password,
      [self = std::move(self), password, result = std::move(result)](LogInResult outcome) {
        if (!outcome.isSuccess()) return result(failureThunk<void>(outcome.error()));
        const LogInEntity& entity = outcome.value();
        const auto& player = entity.player();
        // The e-mail kept is the server's, the password the one typed. Without a player the
        // store writes nothing, since the e-mail and user id are then absent.
        self->dependencies_.preferenceData()->saveUserData(
            player ? player->email() : std::optional<std::string>(), password, entity.token(),
            player ? player->identifier() : std::optional<std::string>());
        self->userInformation_->setValue(player);
        result([self] { self->islogin()->setValue(true); });
        MainQueue::main().post([self] {
          if (const auto& games = self->dependencies_.gameUseCase()) games->getGameList();
        });
      });
}

void PlayerUseCase::signUp(const std::optional<SignUpEntity>& userEntity,
                           ResultCallback<void> result) {
  result = orDropOutcome(std::move(result));
  auto self = weak_from_this().lock();
  if (!self) return result(failureThunk<void>(PlayerUseCaseError::weakSelfError));
  signUpService()->signUpRequest(userEntity, [self = std::move(self), userEntity,
                                              result = std::move(result)](
                                                 SignUpResult outcome) mutable {
    if (!outcome.isSuccess()) return result(failureThunk<void>(outcome.error()));
    // The registration's answer is not read: the follow-up log-in is the outcome.
    const std::string email = userEntity ? userEntity->email().value_or("") : "";
    const std::string password = userEntity ? userEntity->password().value_or("") : "";
    self->logIn(email, password, std::move(result));
  });
}

std::string PlayerUseCase::getToken() { return dependencies_.preferenceData()->getToken(); }
std::string PlayerUseCase::getEmail() { return dependencies_.preferenceData()->getEmail(); }
std::string PlayerUseCase::getPassword() { return dependencies_.preferenceData()->getPassword(); }

void PlayerUseCase::logOut() {
  userInformation_ = Observable<std::optional<Player>>::make(std::nullopt);
  islogin()->setValue(false);
  if (const auto& games = dependencies_.gameUseCase()) {
    games->setGameList(Observable<GameListState>::make(GameListState::success(std::nullopt)));
  }
  dependencies_.preferenceData()->removeUserData();
}

}  // namespace velmar
