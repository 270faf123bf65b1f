#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "velmar/entities/json_coding.hpp"
#include "velmar/export.hpp"
#include "velmar/types.hpp"

namespace velmar {

/// The launch answer of one game; internal to the SDK.
class LaunchGameResponseEntity {
 public:
  /// A record with every field absent, as decoding `{}` gives.
  LaunchGameResponseEntity() = default;

  /// "user_id": the player's numeric identifier.
  const std::optional<std::int64_t>& userID() const noexcept { return userID_; }
  /// "game_id": the game's identifier.
  const std::optional<std::string>& gameID() const noexcept { return gameID_; }
  /// "game_token": the game session token.
  const std::optional<std::string>& gameToken() const noexcept { return gameToken_; }
  /// "play_for_real": launch address for real money.
  const std::optional<std::string>& playForReal() const noexcept { return playForReal_; }
  /// "play_for_fun": launch address for fun.
  const std::optional<std::string>& playForFun() const noexcept { return playForFun_; }
  /// "session_id_token": the session token.
  const std::optional<std::string>& sessionIDToken() const noexcept { return sessionIDToken_; }

  /// Reads the record from a JSON value; throws DecodingError naming the key that failed.
  static LaunchGameResponseEntity decode(const nlohmann::json& value);
  /// The JSON object of the present fields; absent fields are omitted, never null.
  nlohmann::json encode() const;

  friend bool operator==(const LaunchGameResponseEntity&,
                         const LaunchGameResponseEntity&) = default;

 private:
  template <typename>
  friend struct internal::RecordSchema;

  std::optional<std::int64_t> userID_;
  std::optional<std::string> gameID_;
  std::optional<std::string> gameToken_;
  std::optional<std::string> playForReal_;
  std::optional<std::string> playForFun_;
  std::optional<std::string> sessionIDToken_;
};

}  // namespace velmar
