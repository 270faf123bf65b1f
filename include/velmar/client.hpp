#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "velmar/api_environment.hpp"
#include "velmar/export.hpp"
#include "velmar/game_use_case.hpp"
#include "velmar/network_provider.hpp"
#include "velmar/player_use_case.hpp"
#include "velmar/utils_use_case.hpp"

namespace velmar {

/// What the facade offers beyond its use cases.
class VELMAR_EXPORT VelmarOutput {
 public:
  virtual ~VelmarOutput();
  /// Selects the environment, restores a stored session, and requests the currency list.
  virtual void initialize(ApiEnvironment api) = 0;
};

/// The SDK's entry point: one per process, never destroyed. Use it from the main thread.
class VELMAR_EXPORT Velmar : public VelmarOutput {
 public:
  /// Receives one line per failure of the work the facade starts by itself.
  using LogSink = std::function<void(std::string_view line)>;

  /// The process-wide facade, created on first use.
  static Velmar& instance();

  Velmar(const Velmar&) = delete;
  Velmar& operator=(const Velmar&) = delete;

  /// The player use case, created on first read and sharing `arcade()`.
  std::shared_ptr<PlayerUseCase> player();
  /// Replaces the player use case.
  void setPlayer(std::shared_ptr<PlayerUseCase> player);
  /// The game use case, created on first read.
  std::shared_ptr<GameUseCase> arcade();
  /// Replaces the game use case (an existing `player()` keeps the old one).
  void setArcade(std::shared_ptr<GameUseCase> arcade);
  /// The utilities use case, created on first read.
  std::shared_ptr<UtilsUseCase> utils();
  /// Replaces the utilities use case.
  void setUtils(std::shared_ptr<UtilsUseCase> utils);

  /// Stores `api` as the environment of every later request; when a token was stored by an
  /// earlier run, logs in again with the stored e-mail and password; always requests the
  /// currency list. Returns without waiting for any answer.
  void initialize(ApiEnvironment api) override;
  /// Fetches game-list page 1 into `arcade()->gameList()`.
  void downloadGameList();
  /// Fetches the next game-list page.
  void downloadMoreGameList();

  /// Puts in place new use cases whose every request goes through `provider` (a host's own
  /// HTTP stack, or a fake in its tests). Call it first, before `initialize`.
  void useNetworkProvider(std::shared_ptr<NetworkProvider> provider);
  /// `useNetworkProvider` with the canned answers shipped with the library instead of the
  /// network (demos, work without a server).
  void useCannedAnswers();

  /// Replaces where failure lines go (standard output by default).
  void setLogSink(LogSink sink);

 private:
  Velmar();
  ~Velmar() override;
  template <typename>
  friend union NoDestructor;

  const std::string& token();
  ResultCallback<void> loggingCallback();

  std::shared_ptr<PlayerUseCase> player_;
  std::shared_ptr<GameUseCase> arcade_;
  std::shared_ptr<UtilsUseCase> utils_;
  std::optional<std::string> token_;
  LogSink logSink_;
};

}  // namespace velmar
