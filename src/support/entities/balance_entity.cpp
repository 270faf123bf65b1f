#include "velmar/entities/balance_entity.hpp"

#include "support/json_codable_management.hpp"
#include "support/entities/record_schemas.hpp"

namespace velmar {

BalanceEntity BalanceEntity::decode(const nlohmann::json& value) {
  return codec::decodeOrThrow<BalanceEntity>(codec::NlohmannReader(value));
}

nlohmann::json BalanceEntity::encode() const { return codec::encodeRecord(*this); }

Bytes BalanceEntity::jsonData() const { return codec::jsonData(*this); }

std::optional<std::string> BalanceEntity::jsonString(StringEncoding encoding) const {
  return codec::jsonString(*this, encoding);
}

void to_json(nlohmann::json& out, const BalanceEntity& record) { out = record.encode(); }

void from_json(const nlohmann::json& in, BalanceEntity& record) {
  record = BalanceEntity::decode(in);
}

}  // namespace velmar
