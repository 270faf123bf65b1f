#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "velmar/entities/json_coding.hpp"
#include "velmar/export.hpp"
#include "velmar/types.hpp"

namespace velmar {

/// One currency the platform supports.
class VELMAR_EXPORT CurrencyEntity {
 public:
  /// A record with every field absent, as decoding `{}` gives.
  CurrencyEntity() = default;

  /// "id": the currency's identifier.
  const std::optional<std::string>& identifier() const noexcept { return identifier_; }
  /// "numeric_code": ISO 4217 numeric code, as text ("978").
  const std::optional<std::string>& numericCode() const noexcept { return numericCode_; }
  /// "alphabetic_code": ISO 4217 code ("EUR").
  const std::optional<std::string>& alphabeticCode() const noexcept { return alphabeticCode_; }
  /// "country_institution": issuing country or institution.
  const std::optional<std::string>& countryInstitution() const noexcept {
    return countryInstitution_;
  }
  /// "denomination": name of the currency.
  const std::optional<std::string>& denomination() const noexcept { return denomination_; }
  /// "minor_unit": digits after the decimal point, as text ("2").
  const std::optional<std::string>& minorUnit() const noexcept { return minorUnit_; }
  /// "created_at": creation time, as received.
  const std::optional<std::string>& createdAt() const noexcept { return createdAt_; }
  /// "updated_at": last update time, as received.
  const std::optional<std::string>& updatedAt() const noexcept { return updatedAt_; }

  /// Reads the record from a JSON value; throws DecodingError naming the key that failed.
  static CurrencyEntity decode(const nlohmann::json& value);
  /// The JSON object of the present fields; absent fields are omitted, never null.
  nlohmann::json encode() const;
  /// The compact JSON text as UTF-8 bytes; throws EncodingError for text that is not UTF-8.
  Bytes jsonData() const;
  /// The JSON text read in `encoding`; absent when the bytes are not valid in it. Throws
  /// EncodingError as `jsonData` does.
  std::optional<std::string> jsonString(StringEncoding encoding = StringEncoding::utf8) const;

  friend bool operator==(const CurrencyEntity&, const CurrencyEntity&) = default;

 private:
  template <typename>
  friend struct internal::RecordSchema;

  std::optional<std::string> identifier_;
  std::optional<std::string> numericCode_;
  std::optional<std::string> alphabeticCode_;
  std::optional<std::string> countryInstitution_;
  std::optional<std::string> denomination_;
  std::optional<std::string> minorUnit_;
  std::optional<std::string> createdAt_;
  std::optional<std::string> updatedAt_;
};

/// Lets a host write `nlohmann::json j = record;`.
VELMAR_EXPORT void to_json(nlohmann::json& out, const CurrencyEntity& record);
/// Lets a host write `j.get<CurrencyEntity>()`, which throws DecodingError.
VELMAR_EXPORT void from_json(const nlohmann::json& in, CurrencyEntity& record);

}  // namespace velmar
