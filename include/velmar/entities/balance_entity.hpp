#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "velmar/entities/json_coding.hpp"
#include "velmar/export.hpp"
#include "velmar/types.hpp"

namespace velmar {

/// The player's wallet balance. Its fields are internal to the SDK.
class VELMAR_EXPORT BalanceEntity {
 public:
  /// A record with every field absent, as decoding `{}` gives.
  BalanceEntity() = default;
  /// Internal to the SDK (not exported): every field, in field order, stored unchanged.
  VELMAR_INTERNAL BalanceEntity(
      std::optional<std::string> identifier, std::optional<std::string> walletID,
      std::optional<std::string> periodYear, std::optional<std::string> periodMonth,
      std::optional<double> amount, std::optional<std::string> playerID,
      std::optional<std::string> currencyID, std::optional<std::string> alphabeticCode,
      std::optional<std::string> createdAt, std::optional<std::string> updatedAt);

  /// Field accessors, internal to the SDK (not exported).
  VELMAR_INTERNAL const std::optional<std::string>& identifier() const noexcept;
  VELMAR_INTERNAL const std::optional<std::string>& walletID() const noexcept;
  VELMAR_INTERNAL const std::optional<std::string>& periodYear() const noexcept;
  VELMAR_INTERNAL const std::optional<std::string>& periodMonth() const noexcept;
  VELMAR_INTERNAL const std::optional<double>& amount() const noexcept;
  VELMAR_INTERNAL const std::optional<std::string>& playerID() const noexcept;
  VELMAR_INTERNAL const std::optional<std::string>& currencyID() const noexcept;
  VELMAR_INTERNAL const std::optional<std::string>& alphabeticCode() const noexcept;
  VELMAR_INTERNAL const std::optional<std::string>& createdAt() const noexcept;
  VELMAR_INTERNAL const std::optional<std::string>& updatedAt() const noexcept;

  /// Reads the record from a JSON value; throws DecodingError naming the key that failed.
  static BalanceEntity decode(const nlohmann::json& value);
  /// The JSON object of the present fields; absent fields are omitted, never null. Throws
  /// EncodingError when the amount is infinite or NaN.
  nlohmann::json encode() const;
  /// The compact JSON text as UTF-8 bytes; throws EncodingError as `encode` does, and for text
  /// that is not UTF-8.
  Bytes jsonData() const;
  /// The JSON text read in `encoding`; absent when the bytes are not valid in it. Throws
  /// EncodingError as `jsonData` does.
  std::optional<std::string> jsonString(StringEncoding encoding = StringEncoding::utf8) const;

  friend bool operator==(const BalanceEntity&, const BalanceEntity&) = default;

 private:
  template <typename>
  friend struct internal::RecordSchema;

  std::optional<std::string> identifier_;
  std::optional<std::string> walletID_;
  std::optional<std::string> periodYear_;
  std::optional<std::string> periodMonth_;
  std::optional<double> amount_;
  std::optional<std::string> playerID_;
  std::optional<std::string> currencyID_;
  std::optional<std::string> alphabeticCode_;
  std::optional<std::string> createdAt_;
  std::optional<std::string> updatedAt_;
};

/// Lets a host write `nlohmann::json j = record;` and `j.get<BalanceEntity>()` (which throws
/// DecodingError).
VELMAR_EXPORT void to_json(nlohmann::json& out, const BalanceEntity& record);
VELMAR_EXPORT void from_json(const nlohmann::json& in, BalanceEntity& record);

}  // namespace velmar
