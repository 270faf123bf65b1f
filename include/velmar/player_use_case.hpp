#pragma once

#include <memory>
#include <optional>
#include <string>

#include "velmar/base_interactor.hpp"
#include "velmar/entities/player.hpp"
#include "velmar/entities/sign_up_entity.hpp"
#include "velmar/export.hpp"
#include "velmar/game_use_case.hpp"
#include "velmar/observable.hpp"
#include "velmar/result_callback.hpp"

namespace velmar {

class LogInServiceDataSource;
class SignUpServiceDataSource;
class DomainUseCaseMapper;
class PreferenceDataSource;

/// The player use case's collaborators; each of the first four is created on first use and
/// then kept. The game use case is never created here: without one, a log-in fetches no
/// games and a log-out resets none.
class VELMAR_EXPORT PlayerUseCaseDependencies {
 public:
  /// Every member absent.
  PlayerUseCaseDependencies();
  /// Members given here replace the defaults.
  PlayerUseCaseDependencies(std::shared_ptr<LogInServiceDataSource> logInService,
                            std::shared_ptr<SignUpServiceDataSource> signUpService,
                            std::shared_ptr<DomainUseCaseMapper> domainUseCaseMapper,
                            std::shared_ptr<PreferenceDataSource> preferenceData,
                            std::shared_ptr<GameUseCase> gameUseCase);
  ~PlayerUseCaseDependencies();
  PlayerUseCaseDependencies(const PlayerUseCaseDependencies&);
  PlayerUseCaseDependencies& operator=(const PlayerUseCaseDependencies&);

  /// The log-in service; the process-wide one when none was given.
  const std::shared_ptr<LogInServiceDataSource>& logInService();
  /// The sign-up service; a new one with default collaborators when none was given.
  const std::shared_ptr<SignUpServiceDataSource>& signUpService();
  /// The service-to-use-case error mapper.
  const std::shared_ptr<DomainUseCaseMapper>& domainUseCaseMapper();
  /// The credential store.
  const std::shared_ptr<PreferenceDataSource>& preferenceData();
  /// The shared game use case, or null.
  const std::shared_ptr<GameUseCase>& gameUseCase() const { return gameUseCase_; }

 private:
  std::shared_ptr<LogInServiceDataSource> logInService_;
  std::shared_ptr<SignUpServiceDataSource> signUpService_;
  std::shared_ptr<DomainUseCaseMapper> domainUseCaseMapper_;
  std::shared_ptr<PreferenceDataSource> preferenceData_;
  std::shared_ptr<GameUseCase> gameUseCase_;
};

/// What the player use case shows its host.
class VELMAR_EXPORT PlayerUseCaseInput {
 public:
  virtual ~PlayerUseCaseInput();
  /// The logged-in player's record; absent when logged out.
  virtual std::shared_ptr<Observable<std::optional<Player>>> userInformation() const = 0;
  /// Whether a player is logged in.
  virtual std::shared_ptr<Observable<bool>> islogin() = 0;
};

/// What the player use case offers.
class VELMAR_EXPORT PlayerUseCaseOutput {
 public:
  virtual ~PlayerUseCaseOutput();
  /// Logs in; calling the success thunk sets `islogin` to true. A failure thunk throws a
  /// `std::system_error` carrying a `PlayerUseCaseError`.
  virtual void logIn(const std::string& email, const std::string& password,
                     ResultCallback<void> result) = 0;
  /// Registers a player, then logs in with its e-mail and password; `result` gets the
  /// outcome of that log-in, or the registration's failure.
  virtual void signUp(const std::optional<SignUpEntity>& userEntity,
                      ResultCallback<void> result) = 0;
  /// The stored token, or "".
  virtual std::string getToken() = 0;
  /// The stored e-mail, or "".
  virtual std::string getEmail() = 0;
  /// The stored password, or "".
  virtual std::string getPassword() = 0;
  /// Forgets the player: fresh observables, `islogin` false, credentials erased. Sends nothing.
  virtual void logOut() = 0;
};

/// Logs players in and out, registers them and keeps their credentials.
class VELMAR_EXPORT PlayerUseCase : public BaseInteractor,
                                    public PlayerUseCaseInput,
                                    public PlayerUseCaseOutput,
                                    public std::enable_shared_from_this<PlayerUseCase> {
 public:
  /// A use case over `dependencies`.
  static std::shared_ptr<PlayerUseCase> make(PlayerUseCaseDependencies dependencies = {});
  /// Use `make()` or `std::make_shared`: operations in flight keep the use case alive.
  explicit PlayerUseCase(PlayerUseCaseDependencies dependencies);

  std::shared_ptr<Observable<std::optional<Player>>> userInformation() const override {
    return userInformation_;
  }
  /// Replaces the player observable.
  void setUserInformation(std::shared_ptr<Observable<std::optional<Player>>> value) {
    userInformation_ = std::move(value);
  }
  /// Created on first access, holding false.
  std::shared_ptr<Observable<bool>> islogin() override;
  /// Replaces the log-in flag observable.
  void setIslogin(std::shared_ptr<Observable<bool>> value) { islogin_ = std::move(value); }

  void logIn(const std::string& email, const std::string& password,
             ResultCallback<void> result) override;
  void signUp(const std::optional<SignUpEntity>& userEntity, ResultCallback<void> result) override;
  std::string getToken() override;
  std::string getEmail() override;
  std::string getPassword() override;
  void logOut() override;

 private:
  std::shared_ptr<Observable<std::optional<Player>>> userInformation_;
  std::shared_ptr<Observable<bool>> islogin_;
  PlayerUseCaseDependencies dependencies_;
};

}  // namespace velmar
