#include "velmar/player_use_case.hpp"

#include "support/lazy.hpp"
#include "data/persistence/preference_data.hpp"
#include "data/service/log_in_service.hpp"
#include "data/service/sign_up_service.hpp"
#include "domain/mapper/domain_use_case_mapper.hpp"
#include "use_case/thunks.hpp"
#include "velmar/main_queue.hpp"

namespace velmar {

PlayerUseCaseDependencies::PlayerUseCaseDependencies() = default;
PlayerUseCaseDependencies::PlayerUseCaseDependencies(
    std::shared_ptr<LogInServiceDataSource> logInService,
    std::shared_ptr<SignUpServiceDataSource> signUpService,
    std::shared_ptr<DomainUseCaseMapper> domainUseCaseMapper,
    std::shared_ptr<PreferenceDataSource> preferenceData, std::shared_ptr<GameUseCase> gameUseCase)
    : logInService_(std::move(logInService)),
      signUpService_(std::move(signUpService)),
      domainUseCaseMapper_(std::move(domainUseCaseMapper)),
      preferenceData_(std::move(preferenceData)),
      gameUseCase_(std::move(gameUseCase)) {}
PlayerUseCaseDependencies::~PlayerUseCaseDependencies() = default;
PlayerUseCaseDependencies::PlayerUseCaseDependencies(const PlayerUseCaseDependencies&) = default;
PlayerUseCaseDependencies& PlayerUseCaseDependencies::operator=(const PlayerUseCaseDependencies&) =
    default;

const std::shared_ptr<LogInServiceDataSource>& PlayerUseCaseDependencies::logInService() {
  return createOnFirstUse(logInService_, &LogInService::inject);
}

const std::shared_ptr<SignUpServiceDataSource>& PlayerUseCaseDependencies::signUpService() {
  return createOnFirstUse(signUpService_, [] { return std::make_shared<SignUpService>(); });
}

const std::shared_ptr<DomainUseCaseMapper>& PlayerUseCaseDependencies::domainUseCaseMapper() {
  return createOnFirstUse(domainUseCaseMapper_,
                          [] { return std::make_shared<DomainUseCaseMapper>(); });
}

const std::shared_ptr<PreferenceDataSource>& PlayerUseCaseDependencies::preferenceData() {
  return createOnFirstUse(preferenceData_, [] { return std::make_shared<PreferenceData>(); });
}

PlayerUseCaseInput::~PlayerUseCaseInput() = default;
PlayerUseCaseOutput::~PlayerUseCaseOutput() = default;

std::shared_ptr<PlayerUseCase> PlayerUseCase::make(PlayerUseCaseDependencies dependencies) {
  return std::make_shared<PlayerUseCase>(std::move(dependencies));
}

PlayerUseCase::PlayerUseCase(PlayerUseCaseDependencies dependencies)
    : userInformation_(Observable<std::optional<Player>>::make(std::nullopt)),
      dependencies_(std::move(dependencies)) {}

std::shared_ptr<Observable<bool>> PlayerUseCase::islogin() {
  return createOnFirstUse(islogin_, [] { return Observable<bool>::make(false); });
}

void PlayerUseCase::logIn(const std::string& email, const std::string& password,
                          ResultCallback<void> result) {
  dependencies_.logInService()->logInRequest(
      email, password,
      [self = shared_from_this(), password, result = std::move(result)](LogInResult outcome) {
        if (!outcome.isSuccess()) {
          result(failureThunk<void>([self, error = outcome.error()] {
            return self->dependencies_.domainUseCaseMapper()->logInServiceErrorToPlayerUseCaseError(
                error);
          }));
          return;
        }
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
  dependencies_.signUpService()->signUpRequest(userEntity, [self = shared_from_this(), userEntity,
                                                            result = std::move(result)](
                                                               SignUpResult outcome) mutable {
    if (!outcome.isSuccess()) {
      result(failureThunk<void>([self, error = outcome.error()] {
        return self->dependencies_.domainUseCaseMapper()->signUpServiceErrorToPlayerUseCaseError(
            error);
      }));
      return;
    }
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
