#include "velmar/entities/game_entity.hpp"

#include "support/json_codable_management.hpp"
#include "support/entities/record_schemas.hpp"

namespace velmar {

GameEntity GameEntity::decode(const nlohmann::json& value) {
  return codec::decodeOrThrow<GameEntity>(codec::NlohmannReader(value));
}

nlohmann::json GameEntity::encode() const { return codec::encodeRecord(*this); }

Bytes GameEntity::jsonData() const { return codec::jsonData(*this); }

std::optional<std::string> GameEntity::jsonString(StringEncoding encoding) const {
  return codec::jsonString(*this, encoding);
}

void to_json(nlohmann::json& out, const GameEntity& record) { out = record.encode(); }

void from_json(const nlohmann::json& in, GameEntity& record) { record = GameEntity::decode(in); }

}  // namespace velmar
