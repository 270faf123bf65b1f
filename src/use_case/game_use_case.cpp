#include "velmar/game_use_case.hpp"

#include <charconv>

#include "support/lazy.hpp"
#include "data/persistence/preference_data.hpp"
#include "data/service/game_service.hpp"
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

GameUseCaseDependencies::GameUseCaseDependencies() = default;
GameUseCaseDependencies::GameUseCaseDependencies(
    std::shared_ptr<GameService> gameService,
    std::shared_ptr<DomainUseCaseMapper> domainUseCaseMapper,
    std::shared_ptr<PreferenceDataSource> preferenceData)
    : gameService_(std::move(gameService)),
      domainUseCaseMapper_(std::move(domainUseCaseMapper)),
      preferenceData_(std::move(preferenceData)) {}
GameUseCaseDependencies::~GameUseCaseDependencies() = default;
GameUseCaseDependencies::GameUseCaseDependencies(const GameUseCaseDependencies&) = default;
GameUseCaseDependencies& GameUseCaseDependencies::operator=(const GameUseCaseDependencies&) =
    default;

const std::shared_ptr<GameService>& GameUseCaseDependencies::gameService() {
  return createOnFirstUse(gameService_, [] { return std::make_shared<GameService>(); });
}

const std::shared_ptr<DomainUseCaseMapper>& GameUseCaseDependencies::domainUseCaseMapper() {
  return createOnFirstUse(domainUseCaseMapper_,
                          [] { return std::make_shared<DomainUseCaseMapper>(); });
}

const std::shared_ptr<PreferenceDataSource>& GameUseCaseDependencies::preferenceData() {
  return createOnFirstUse(preferenceData_, [] { return std::make_shared<PreferenceData>(); });
}

GameUseCaseInput::~GameUseCaseInput() = default;
GameUseCaseOutput::~GameUseCaseOutput() = default;

std::shared_ptr<GameUseCase> GameUseCase::make() {
  return std::make_shared<GameUseCase>(GameUseCaseDependencies());
}

GameUseCase::GameUseCase(GameUseCaseDependencies dependencies)
    : gameList_(emptyGameList()), dependencies_(std::move(dependencies)) {}

void GameUseCase::getGameList() {
  pageNumber_ = 1;
  requestPage();
}

void GameUseCase::getMoreGamesList() { requestPage(); }

void GameUseCase::requestPage() {
  auto service = dependencies_.gameService();
  service->gameListRequest(
      pageNumber_, [self = shared_from_this(), service](GameListResult result) {
        if (result.isSuccess()) {
          ++self->pageNumber_;
          self->gameList_->setValue(GameListState::success(std::move(result).value()));
          return;
        }
        // No thunk here: the failure is mapped as it arrives.
        const auto error =
            self->dependencies_.domainUseCaseMapper()->gameListServiceErrorToPlayerUseCaseError(
                result.error());
        self->gameList_->setValue(GameListState::failure(error));
      });
}

void GameUseCase::launchGame(std::optional<std::string> gameID,
                             std::optional<std::int64_t> providerID,
                             std::optional<std::string> providerSlug,
                             ResultCallback<std::optional<std::string>> result) {
  LaunchGameEntity entity(/*isDemo=*/true, parseUserId(dependencies_.preferenceData()->getUserId()),
                          std::move(gameID), providerID, std::move(providerSlug), kUserLanguage,
                          kUserCurrency, kLobbyHost, /*isMobile=*/0);
  dependencies_.gameService()->launchGameRequest(
      entity, [self = shared_from_this(), result = std::move(result)](LaunchGameResult outcome) {
        if (outcome.isSuccess()) {
          result(successThunk(outcome.value().playForFun()));
          return;
        }
        result(failureThunk<std::optional<std::string>>([self, error = outcome.error()] {
          return self->dependencies_.domainUseCaseMapper()
              ->gameListServiceErrorToPlayerUseCaseError(error);
        }));
      });
}

}  // namespace velmar
