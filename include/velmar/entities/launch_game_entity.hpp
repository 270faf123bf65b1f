#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "velmar/entities/json_coding.hpp"
#include "velmar/export.hpp"
#include "velmar/types.hpp"

namespace velmar {

/// The launch request of one game; built by the SDK, readable by the host.
class VELMAR_EXPORT LaunchGameEntity {
 public:
  /// A record with every field absent, as decoding `{}` gives.
  LaunchGameEntity() = default;
  /// "is_demo": play for fun rather than real money.
  const std::optional<bool>& isDemo() const noexcept { return isDemo_; }
  /// "user_id": the player's numeric identifier.
  const std::optional<std::int64_t>& userID() const noexcept { return userID_; }
  /// "game_id": the game's identifier.
  const std::optional<std::string>& gameID() const noexcept { return gameID_; }
  /// "provider_id": the provider's identifier.
  const std::optional<std::int64_t>& providerID() const noexcept { return providerID_; }
  /// "provider_slug": the provider's slug.
  const std::optional<std::string>& providerSlug() const noexcept { return providerSlug_; }
  /// "user_language": the player's language.
  const std::optional<std::string>& userLanguage() const noexcept { return userLanguage_; }
  /// "user_currency": the player's currency.
  const std::optional<std::string>& userCurrency() const noexcept { return userCurrency_; }
  /// "lobby_url": where the game returns to.
  const std::optional<std::string>& lobbyURL() const noexcept { return lobbyURL_; }
  /// "is_mobile": launched on mobile, as a number (0 or 1).
  const std::optional<std::int64_t>& isMobile() const noexcept { return isMobile_; }

  /// Reads the record from a JSON value; throws DecodingError naming the key that failed.
  static LaunchGameEntity decode(const nlohmann::json& value);
  /// The JSON object of the present fields; absent fields are omitted, never null.
  nlohmann::json encode() const;
  /// The compact JSON text as UTF-8 bytes; throws EncodingError for text that is not UTF-8.
  Bytes jsonData() const;
  /// The JSON text read in `encoding`; absent when the bytes are not valid in it. Throws
  /// EncodingError as `jsonData` does.
  std::optional<std::string> jsonString(StringEncoding encoding = StringEncoding::utf8) const;

  friend bool operator==(const LaunchGameEntity&, const LaunchGameEntity&) = default;

 private:
  template <typename>
  friend struct internal::RecordSchema;
  friend struct internal::RecordAccess;

  // Built by the SDK only: every field, in field order, stored unchanged.
  LaunchGameEntity(std::optional<bool> isDemo, std::optional<std::int64_t> userID,
                   std::optional<std::string> gameID,
                   std::optional<std::int64_t> providerID,
                   std::optional<std::string> providerSlug,
                   std::optional<std::string> userLanguage,
                   std::optional<std::string> userCurrency,
                   std::optional<std::string> lobbyURL,
                   std::optional<std::int64_t> isMobile);

  // The launch request body: the present fields by their JSON keys; absent when encoding
  // fails. Never throws.
  std::optional<nlohmann::json> jsonDictonary() const;

  std::optional<bool> isDemo_;
  std::optional<std::int64_t> userID_;
  std::optional<std::string> gameID_;
  std::optional<std::int64_t> providerID_;
  std::optional<std::string> providerSlug_;
  std::optional<std::string> userLanguage_;
  std::optional<std::string> userCurrency_;
  std::optional<std::string> lobbyURL_;
  std::optional<std::int64_t> isMobile_;
};

/// Lets a host write `nlohmann::json j = record;`.
VELMAR_EXPORT void to_json(nlohmann::json& out, const LaunchGameEntity& record);
/// Lets a host write `j.get<LaunchGameEntity>()`, which throws DecodingError.
VELMAR_EXPORT void from_json(const nlohmann::json& in, LaunchGameEntity& record);

}  // namespace velmar
