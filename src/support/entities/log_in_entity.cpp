#include "velmar/entities/log_in_entity.hpp"

#include "support/json_codable_management.hpp"
#include "support/entities/record_schemas.hpp"

namespace velmar {

LogInEntity LogInEntity::decode(const nlohmann::json& value) {
  return codec::decodeOrThrow<LogInEntity>(codec::NlohmannReader(value));
}

nlohmann::json LogInEntity::encode() const { return codec::encodeRecord(*this); }

Bytes LogInEntity::jsonData() const { return codec::jsonData(*this); }

std::optional<std::string> LogInEntity::jsonString(StringEncoding encoding) const {
  return codec::jsonString(*this, encoding);
}

LogInEntity LogInEntity::fromData(std::span<const std::uint8_t> data) {
  return codec::fromData<LogInEntity>(data);
}

LogInEntity LogInEntity::fromString(std::string_view text, StringEncoding encoding) {
  return codec::fromString<LogInEntity>(text, encoding);
}

void to_json(nlohmann::json& out, const LogInEntity& record) { out = record.encode(); }

void from_json(const nlohmann::json& in, LogInEntity& record) { record = LogInEntity::decode(in); }

}  // namespace velmar
