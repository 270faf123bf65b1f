#include "data/service/game_service.hpp"

#include "data/service/result_records.hpp"
#include "data/service/round_trip.hpp"

namespace velmar {

GameService::GameService(GameServiceDependencies dependencies, std::vector<GameEntity> gameList)
    : dependencies_(std::move(dependencies)), gameList_(std::move(gameList)) {}

void GameService::gameListRequest(std::int64_t pageNumber,
                                  std::function<void(GameListResult)> result) {
  roundTrip(shared_from_this(), dependencies_, Repository::getGamesList(pageNumber),
            &NetworkProvider::gameListRequest, std::move(result),
            [self = shared_from_this()](APIStatusCode, std::optional<Bytes>& body) {
              auto page = decodableResultRecords<GameEntity>(body);
              if (page) self->keepPage(std::move(body));
              return page;
            });
}

const std::vector<GameEntity>& GameService::gameList() const {
  if (!gameList_) {
    // The kept body decoded before, so it decodes to the same records again.
    gameList_ = decodableResultRecords<GameEntity>(pageBody_).value_or(std::vector<GameEntity>{});
  }
  return *gameList_;
}

void GameService::setGameList(std::vector<GameEntity> gameList) {
  pageBody_.reset();
  gameList_ = std::move(gameList);
}

void GameService::keepPage(std::optional<Bytes> body) {
  pageBody_ = std::move(body);
  gameList_.reset();
}

void GameService::launchGameRequest(const std::optional<LaunchGameEntity>& entity,
                                    std::function<void(LaunchGameResult)> result) {
  roundTrip(shared_from_this(), dependencies_, routeWithBody(entity, &Repository::launchGame),
            &NetworkProvider::launchGameRequest, std::move(result),
            [](APIStatusCode code,
               const std::optional<Bytes>& body) -> std::optional<LaunchGameResponseEntity> {
              // A launch answer that decodes is still a failure under any status but 200.
              if (code != APIStatusCode::SUCCESS) return std::nullopt;
              return decodedResultObject<LaunchGameResponseEntity>(body);
            });
}

}  // namespace velmar
