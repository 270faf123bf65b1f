#include "velmar/entities/currency_entity.hpp"

#include "support/json_codable_management.hpp"
#include "support/entities/record_schemas.hpp"

namespace velmar {

CurrencyEntity CurrencyEntity::decode(const nlohmann::json& value) {
  return codec::decodeOrThrow<CurrencyEntity>(codec::NlohmannReader(value));
}

nlohmann::json CurrencyEntity::encode() const { return codec::encodeRecord(*this); }

Bytes CurrencyEntity::jsonData() const { return codec::jsonData(*this); }

std::optional<std::string> CurrencyEntity::jsonString(StringEncoding encoding) const {
  return codec::jsonString(*this, encoding);
}

void to_json(nlohmann::json& out, const CurrencyEntity& record) { out = record.encode(); }

void from_json(const nlohmann::json& in, CurrencyEntity& record) {
  record = CurrencyEntity::decode(in);
}

}  // namespace velmar
