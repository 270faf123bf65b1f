#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "velmar/entities/json_coding.hpp"
#include "velmar/export.hpp"
#include "velmar/types.hpp"

namespace velmar {

/// One entry of the game catalogue.
class VELMAR_EXPORT GameEntity {
 public:
  /// A record with every field absent, as decoding `{}` gives.
  GameEntity() = default;

  /// "id": the catalogue entry's identifier.
  const std::optional<std::int64_t>& identifier() const noexcept { return identifier_; }
  /// "slug": the URL-friendly name.
  const std::optional<std::string>& slug() const noexcept { return slug_; }
  /// "game_id": the game's own identifier.
  const std::optional<std::string>& gameID() const noexcept { return gameID_; }
  /// "name": display name.
  const std::optional<std::string>& name() const noexcept { return name_; }
  /// "image": the picture's address, as received.
  const std::optional<std::string>& image() const noexcept { return image_; }
  /// "type": game type.
  const std::optional<std::string>& type() const noexcept { return type_; }
  /// "description": description.
  const std::optional<std::string>& gameEntityDescription() const noexcept {
    return gameEntityDescription_;
  }
  /// "is_desktop": playable on desktop.
  const std::optional<bool>& isDesktop() const noexcept { return isDesktop_; }
  /// "is_mobile": playable on mobile.
  const std::optional<bool>& isMobile() const noexcept { return isMobile_; }
  /// "is_new": marked as new.
  const std::optional<bool>& isNew() const noexcept { return isNew_; }
  /// "free_games_support": supports free games.
  const std::optional<bool>& freeGamesSupport() const noexcept { return freeGamesSupport_; }
  /// "rank": position in the catalogue.
  const std::optional<std::int64_t>& rank() const noexcept { return rank_; }
  /// "provider_id": the provider's identifier.
  const std::optional<std::int64_t>& providerID() const noexcept { return providerID_; }
  /// "provider_name": the provider's name.
  const std::optional<std::string>& providerName() const noexcept { return providerName_; }
  /// "provider_slug": the provider's slug.
  const std::optional<std::string>& providerSlug() const noexcept { return providerSlug_; }
  /// "is_favorite": in the player's favourites.
  const std::optional<bool>& isFavorite() const noexcept { return isFavorite_; }

  /// Reads the record from a JSON value; throws DecodingError naming the key that failed.
  static GameEntity decode(const nlohmann::json& value);
  /// The JSON object of the present fields; absent fields are omitted, never null.
  nlohmann::json encode() const;
  /// The compact JSON text as UTF-8 bytes; throws EncodingError for text that is not UTF-8.
  Bytes jsonData() const;
  /// The JSON text read in `encoding`; absent when the bytes are not valid in it. Throws
  /// EncodingError as `jsonData` does.
  std::optional<std::string> jsonString(StringEncoding encoding = StringEncoding::utf8) const;

  friend bool operator==(const GameEntity&, const GameEntity&) = default;

 private:
  template <typename>
  friend struct internal::RecordSchema;

  std::optional<std::int64_t> identifier_;
  std::optional<std::string> slug_;
  std::optional<std::string> gameID_;
  std::optional<std::string> name_;
  std::optional<std::string> image_;
  std::optional<std::string> type_;
  std::optional<std::string> gameEntityDescription_;
  std::optional<bool> isDesktop_;
  std::optional<bool> isMobile_;
  std::optional<bool> isNew_;
  std::optional<bool> freeGamesSupport_;
  std::optional<std::int64_t> rank_;
  std::optional<std::int64_t> providerID_;
  std::optional<std::string> providerName_;
  std::optional<std::string> providerSlug_;
  std::optional<bool> isFavorite_;
};

/// Lets a host write `nlohmann::json j = record;`.
VELMAR_EXPORT void to_json(nlohmann::json& out, const GameEntity& record);
/// Lets a host write `j.get<GameEntity>()`, which throws DecodingError.
VELMAR_EXPORT void from_json(const nlohmann::json& in, GameEntity& record);

}  // namespace velmar
