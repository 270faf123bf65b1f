#include "velmar/entities/launch_game_entity.hpp"

#include "support/json_codable_management.hpp"
#include "support/entities/record_schemas.hpp"

namespace velmar {

LaunchGameEntity::LaunchGameEntity(std::optional<bool> isDemo, std::optional<std::int64_t> userID,
                                   std::optional<std::string> gameID,
                                   std::optional<std::int64_t> providerID,
                                   std::optional<std::string> providerSlug,
                                   std::optional<std::string> userLanguage,
                                   std::optional<std::string> userCurrency,
                                   std::optional<std::string> lobbyURL,
                                   std::optional<std::int64_t> isMobile)
    : isDemo_(std::move(isDemo)),
      userID_(std::move(userID)),
      gameID_(std::move(gameID)),
      providerID_(std::move(providerID)),
      providerSlug_(std::move(providerSlug)),
      userLanguage_(std::move(userLanguage)),
      userCurrency_(std::move(userCurrency)),
      lobbyURL_(std::move(lobbyURL)),
      isMobile_(std::move(isMobile)) {}

LaunchGameEntity LaunchGameEntity::decode(const nlohmann::json& value) {
  return codec::decodeOrThrow<LaunchGameEntity>(codec::NlohmannReader(value));
}

nlohmann::json LaunchGameEntity::encode() const { return codec::encodeRecord(*this); }

Bytes LaunchGameEntity::jsonData() const { return codec::jsonData(*this); }

std::optional<std::string> LaunchGameEntity::jsonString(StringEncoding encoding) const {
  return codec::jsonString(*this, encoding);
}

std::optional<nlohmann::json> LaunchGameEntity::jsonDictonary() const {
  return codec::jsonDictonary(*this);
}

void to_json(nlohmann::json& out, const LaunchGameEntity& record) { out = record.encode(); }

void from_json(const nlohmann::json& in, LaunchGameEntity& record) {
  record = LaunchGameEntity::decode(in);
}

}  // namespace velmar
