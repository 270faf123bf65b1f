#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "data/service/base_service.hpp"
#include "data/service/service_dependencies.hpp"
#include "data/mapper/service_error.hpp"
#include "velmar/entities/game_entity.hpp"
#include "support/entities/launch_game_response_entity.hpp"
#include "velmar/entities/launch_game_entity.hpp"

namespace velmar {

using GameListResult = Result<std::vector<GameEntity>, GameServiceError>;
using LaunchGameResult = Result<LaunchGameResponseEntity, GameServiceError>;

class GameServiceDataSource {
 public:
  virtual ~GameServiceDataSource() = default;
  virtual void gameListRequest(std::int64_t pageNumber,
                               std::function<void(GameListResult)> result) = 0;
  virtual void launchGameRequest(const std::optional<LaunchGameEntity>& entity,
                                 std::function<void(LaunchGameResult)> result) = 0;
};

// Fetches game-list pages and launch data. Any status whose body carries a "result" list is
// a page; a launch succeeds only under 200.
class GameService : public BaseService,
                    public GameServiceDataSource,
                    public std::enable_shared_from_this<GameService> {
 public:
  explicit GameService(GameServiceDependencies dependencies = {},
                       std::vector<GameEntity> gameList = {});

  void gameListRequest(std::int64_t pageNumber,
                       std::function<void(GameListResult)> result) override;
  void launchGameRequest(const std::optional<LaunchGameEntity>& entity,
                         std::function<void(LaunchGameResult)> result) override;

  // The records of the last page decoded; replaced, never appended to.
  const std::vector<GameEntity>& gameList() const { return gameList_; }
  void setGameList(std::vector<GameEntity> gameList) { gameList_ = std::move(gameList); }
  GameServiceDependencies& dependencies() { return dependencies_; }
  void setDependencies(GameServiceDependencies dependencies) {
    dependencies_ = std::move(dependencies);
  }

 private:
  GameServiceDependencies dependencies_;
  std::vector<GameEntity> gameList_;
};

}  // namespace velmar
