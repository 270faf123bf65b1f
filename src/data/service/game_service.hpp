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

  // The records of the last page decoded; replaced, never appended to. Read on the thread
  // that handles answers (the main queue).
  const std::vector<GameEntity>& gameList() const;
  void setGameList(std::vector<GameEntity> gameList);
  GameServiceDependencies& dependencies() { return dependencies_; }
  void setDependencies(GameServiceDependencies dependencies) {
    dependencies_ = std::move(dependencies);
  }

 private:
  void keepPage(std::optional<Bytes> body);

  GameServiceDependencies dependencies_;
  // The last page is kept as the body it was decoded from, which the answer hands over, and
  // decoded again only when read: the caller gets the one decoded copy, and nothing is copied
  // or allocated per record to keep it. `gameList_` holds the records once they exist.
  std::optional<Bytes> pageBody_;
  mutable std::optional<std::vector<GameEntity>> gameList_;
};

}  // namespace velmar
