#include "velmar/game_use_case.hpp"

#include <charconv>

#include "support/lazy.hpp"
#include "data/service/game_service.hpp"
#include "support/entities/record_access.hpp"
#include "domain/mapper/domain_use_case_mapper.hpp"
#include "use_case/thunks.hpp"

namespace velmar {
namespace {

// Fixed settings of every launch: a demo session, in English, in euros.
constexpr const char* kUserLanguage = "en";
constexpr const char* kUserCurrency = "EUR";
constexpr const char* kLobbyHost = VELMAR_LOBBY_HOST;

std::shared_ptr<Observable<GameListState>> emptyGameList() {
  return Observable<GameListState>::make(GameListState::success(std::nullopt));
}

// A base-10 signed 64-bit integer and nothing else: an optional sign, then digits. Blanks,
// other characters and values out of range give no user id.
std::optional<std::int64_t> parseUserId(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  // from_chars takes a leading '-' itself but not '+'.
  if (text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

GameUseCaseInput::~GameUseCaseInput() = default;
GameUseCaseOutput::~GameUseCaseOutput() = default;

std::shared_ptr<GameUseCase> GameUseCase::make(GameUseCaseDependencies dependencies) {
  struct Made : GameUseCase {
    explicit Made(GameUseCaseDependencies d) : GameUseCase(std::move(d)) {}
  };
  return std::make_shared<Made>(std::move(dependencies));
}

GameUseCase::GameUseCase(GameUseCaseDependencies dependencies)
    : gameList_(emptyGameList()), dependencies_(std::move(dependencies)) {}

const std::shared_ptr<GameService>& GameUseCase::gameService() {
  return createOnFirstUse(gameService_, [this] {
    return std::make_shared<GameService>(
        GameServiceDependencies(dependencies_.dataDomainMapper(), dependencies_.network()));
  });
}

void GameUseCase::getGameList() {
  pageNumber_ = 1;
  requestPage();
}

void GameUseCase::getMoreGamesList() { requestPage(); }

void GameUseCase::requestPage() {
  auto self = weak_from_this().lock();
  if (!self) {  // not owned by a shared_ptr: nothing could keep it alive until the answer
    gameList_->setValue(GameListState::failure(GameUseCaseError::weakSelfError));
    return;
  }
  auto service = gameService();
  service->gameListRequest(
      pageNumber_, [self = std::move(self), service](GameListResult result) {
        if (result.isSuccess()) {
          ++self->pageNumber_;
          self->gameList_->setValue(GameListState::success(std::move(result).value()));
          return;
        }
        // No thunk here: the failure is mapped as it arrives.
        self->gameList_->setValue(GameListState::failure(useCaseError(result.error())));
      });
}

void GameUseCase::launchGame(std::optional<std::string> gameID,
                             std::optional<std::int64_t> providerID,
                             std::optional<std::string> providerSlug,
                             ResultCallback<std::optional<std::string>> result) {
  result = orDropOutcome(std::move(result));
  auto self = weak_from_this().lock();
  if (!self) return result(failureThunk<std::optional<std::string>>(GameUseCaseError::weakSelfError));
  auto entity = internal::RecordAccess::launchGame(
      /*isDemo=*/true, parseUserId(dependencies_.preferenceData()->getUserId()),
      std::move(gameID), providerID, std::move(providerSlug), kUserLanguage, kUserCurrency,
      kLobbyHost, /*isMobile=*/0);
  gameService()->launchGameRequest(
      entity, [self = std::move(self), result = std::move(result)](LaunchGameResult outcome) {
        if (outcome.isSuccess()) {
          result(successThunk(outcome.value().playForFun()));
          return;
        }
        result(failureThunk<std::optional<std::string>>(outcome.error()));
      });
}

}  // namespace velmar
