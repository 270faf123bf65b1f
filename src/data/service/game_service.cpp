#include "data/service/game_service.hpp"

#include "support/entities/json_document.hpp"
#include "data/network/repository.hpp"
#include "data/service/async_completion.hpp"
#include "data/service/result_records.hpp"
#include "support/entities/record_access.hpp"

namespace velmar {

GameService::GameService(GameServiceDependencies dependencies, std::vector<GameEntity> gameList)
    : dependencies_(std::move(dependencies)), gameList_(std::move(gameList)) {}

void GameService::gameListRequest(std::int64_t pageNumber,
                                  std::function<void(GameListResult)> result) {
  auto request = Repository::getGamesList(pageNumber).asURLRequest();
  if (!request.isSuccess()) {
    result(GameListResult::failure(GameServiceError::createURLError(kErrorCreatingURL)));
    return;
  }
  dependencies_.network()->gameListRequest(
      request.value(), [self = shared_from_this(), result = std::move(result)](
                           std::optional<std::int64_t> status, std::optional<Bytes> body) mutable {
        self->handleGameList(status, body, std::move(result));
      });
}

void GameService::handleGameList(std::optional<std::int64_t> status,
                                 const std::optional<Bytes>& body,
                                 std::function<void(GameListResult)> result) {
  if (!status) {
    return asyncCompletition(
        std::move(result),
        GameListResult::failure(GameServiceError::createURLError(kTransportError)));
  }
  const auto code = APIStatusCode::get(*status);
  auto page = decodableResultRecords<GameEntity>(body);
  if (!page) {
    return asyncCompletition(std::move(result), GameListResult::failure(mappedError(code)));
  }
  gameList_ = std::move(*page);
  asyncCompletition(std::move(result), resultHandler(code, GameListResult::success(gameList_)));
}

void GameService::launchGameRequest(const std::optional<LaunchGameEntity>& entity,
                                    std::function<void(LaunchGameResult)> result) {
  auto fail = [&] {
    result(LaunchGameResult::failure(GameServiceError::createURLError(kErrorCreatingURL)));
  };
  if (!entity) return fail();
  auto gameInformation = internal::RecordAccess::jsonDictonary(*entity);
  if (!gameInformation) return fail();
  auto request = Repository::launchGame(std::move(*gameInformation)).asURLRequest();
  if (!request.isSuccess()) return fail();
  dependencies_.network()->launchGameRequest(
      request.value(), [self = shared_from_this(), result = std::move(result)](
                           std::optional<std::int64_t> status, std::optional<Bytes> body) mutable {
        self->handleLaunch(status, body, std::move(result));
      });
}

void GameService::handleLaunch(std::optional<std::int64_t> status, const std::optional<Bytes>& body,
                               std::function<void(LaunchGameResult)> result) {
  if (!status) {
    return asyncCompletition(
        std::move(result),
        LaunchGameResult::failure(GameServiceError::createURLError(kTransportError)));
  }
  const auto code = APIStatusCode::get(*status);
  auto decoded = body ? json::decodeResultObject<LaunchGameResponseEntity>(*body) : std::nullopt;
  if (!decoded || !decoded->isSuccess()) {
    return asyncCompletition(std::move(result), LaunchGameResult::failure(mappedError(code)));
  }
  // A launch answer that decodes is still a failure under any status but 200.
  if (code != APIStatusCode::SUCCESS) {
    return asyncCompletition(std::move(result), LaunchGameResult::failure(mappedError(code)));
  }
  asyncCompletition(
      std::move(result),
      resultLaunchHandler(code, LaunchGameResult::success(std::move(*decoded).value())));
}

GameListResult GameService::resultHandler(APIStatusCode code, GameListResult result) {
  if (result.isSuccess()) return result;
  return GameListResult::failure(mappedError(code));
}

LaunchGameResult GameService::resultLaunchHandler(APIStatusCode code, LaunchGameResult response) {
  if (response.isSuccess()) return response;
  return LaunchGameResult::failure(mappedError(code));
}

GameServiceError GameService::mappedError(APIStatusCode code) {
  return dependencies_.dataDomainMapper()->apiStatusCodeToGameListServiceError(code);
}

}  // namespace velmar
