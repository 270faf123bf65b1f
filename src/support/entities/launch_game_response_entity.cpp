#include "support/entities/launch_game_response_entity.hpp"

#include "support/json_codable_management.hpp"
#include "support/entities/record_schemas.hpp"

namespace velmar {

LaunchGameResponseEntity LaunchGameResponseEntity::decode(const nlohmann::json& value) {
  return codec::decodeOrThrow<LaunchGameResponseEntity>(codec::NlohmannReader(value));
}

nlohmann::json LaunchGameResponseEntity::encode() const { return codec::encodeRecord(*this); }

}  // namespace velmar
