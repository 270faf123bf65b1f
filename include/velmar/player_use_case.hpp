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
#include "velmar/use_case_dependencies.hpp"

namespace velmar {

class LogInServiceDataSource;
class SignUpServiceDataSource;

/// The player use case's collaborators: those of every use case, and the game use case it
/// shares with the facade. Without a game use case, a log-in fetches no games and a log-out
/// resets none; none is ever created here.
class VELMAR_EXPORT PlayerUseCaseDependencies : public UseCaseDependencies {
 public:
  /// Every member absent.
  PlayerUseCaseDependencies();
  /// `services` for the log-in and sign-up services and the credentials; `gameUseCase` may be null.
  PlayerUseCaseDependencies(UseCaseDependencies services, std::shared_ptr<GameUseCase> gameUseCase);

  /// The shared game use case, or null.
  const std::shared_ptr<GameUseCase>& gameUseCase() const { return gameUseCase_; }

 private:
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
  /// The only way to create one: operations in flight keep the use case alive.
  static std::shared_ptr<PlayerUseCase> make(PlayerUseCaseDependencies dependencies = {});

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

 protected:
  /// For subclasses, which must be owned by a `std::shared_ptr` too.
  explicit PlayerUseCase(PlayerUseCaseDependencies dependencies);

 private:
  const std::shared_ptr<LogInServiceDataSource>& logInService();
  const std::shared_ptr<SignUpServiceDataSource>& signUpService();

  std::shared_ptr<Observable<std::optional<Player>>> userInformation_;
  std::shared_ptr<Observable<bool>> islogin_;
  PlayerUseCaseDependencies dependencies_;
  std::shared_ptr<LogInServiceDataSource> logInService_;
  std::shared_ptr<SignUpServiceDataSource> signUpService_;
};

}  // namespace velmar
