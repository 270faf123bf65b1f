#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "velmar/base_interactor.hpp"
#include "velmar/entities/game_entity.hpp"
#include "velmar/export.hpp"
#include "velmar/observable.hpp"
#include "velmar/result_callback.hpp"
#include "velmar/types.hpp"
#include "velmar/use_case_dependencies.hpp"
#include "velmar/use_case_errors.hpp"

namespace velmar {

class GameService;

/// One game-list page as `gameList` publishes it: success with the page's games (absent
/// before the first answer), or failure with the use case's error.
using GameListState = Result<std::optional<std::vector<GameEntity>>, GameUseCaseError>;

/// What the game use case takes from its host (nothing for now).
class VELMAR_EXPORT GameUseCaseInput {
 public:
  virtual ~GameUseCaseInput();
};

/// What the game use case offers.
class VELMAR_EXPORT GameUseCaseOutput {
 public:
  virtual ~GameUseCaseOutput();
  /// Fetches page 1 into `gameList`.
  virtual void getGameList() = 0;
  /// Fetches the next page into `gameList`.
  virtual void getMoreGamesList() = 0;
  /// Launches a game; the thunk returns the launch's play-for-fun address (absent when the
  /// server sent none) or throws a `GameUseCaseError`.
  virtual void launchGame(std::optional<std::string> gameID, std::optional<std::int64_t> providerID,
                          std::optional<std::string> providerSlug,
                          ResultCallback<std::optional<std::string>> result) = 0;
};

/// Pages through the game catalogue and launches games. Each answered page replaces the
/// value of `gameList`; pages are never concatenated.
class VELMAR_EXPORT GameUseCase : public BaseInteractor,
                                  public GameUseCaseInput,
                                  public GameUseCaseOutput,
                                  public std::enable_shared_from_this<GameUseCase> {
 public:
  /// The only way to create one: operations in flight keep the use case alive.
  static std::shared_ptr<GameUseCase> make(GameUseCaseDependencies dependencies = {});

  /// The latest page outcome; starts as success with no list.
  std::shared_ptr<Observable<GameListState>> gameList() const { return gameList_; }
  /// Replaces the observable (observers of the old one hear nothing more).
  void setGameList(std::shared_ptr<Observable<GameListState>> gameList) {
    gameList_ = std::move(gameList);
  }
  /// The page the next `getMoreGamesList()` asks for.
  std::int64_t pageNumber() const { return pageNumber_; }

  void getGameList() override;
  void getMoreGamesList() override;
  void launchGame(std::optional<std::string> gameID, std::optional<std::int64_t> providerID,
                  std::optional<std::string> providerSlug,
                  ResultCallback<std::optional<std::string>> result) override;

 protected:
  /// For subclasses, which must be owned by a `std::shared_ptr` too.
  explicit GameUseCase(GameUseCaseDependencies dependencies);

 private:
  void requestPage();
  const std::shared_ptr<GameService>& gameService();

  std::shared_ptr<Observable<GameListState>> gameList_;
  GameUseCaseDependencies dependencies_;
  std::shared_ptr<GameService> gameService_;
  std::int64_t pageNumber_ = 1;
};

}  // namespace velmar
