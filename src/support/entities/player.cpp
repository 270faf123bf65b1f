#include "velmar/entities/player.hpp"

#include "support/json_codable_management.hpp"
#include "support/entities/record_schemas.hpp"

namespace velmar {

Player Player::decode(const nlohmann::json& value) {
  return codec::decodeOrThrow<Player>(codec::NlohmannReader(value));
}

nlohmann::json Player::encode() const { return codec::encodeRecord(*this); }

void to_json(nlohmann::json& out, const Player& record) { out = record.encode(); }

void from_json(const nlohmann::json& in, Player& record) { record = Player::decode(in); }

}  // namespace velmar
