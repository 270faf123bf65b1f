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
  friend struct internal::RecordAccess;

  // The fields are the SDK's alone: a host sees the amount through UtilsUseCase::balance.
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

/// Lets a host write `nlohmann::json j = record;`.
VELMAR_EXPORT void to_json(nlohmann::json& out, const BalanceEntity& record);
/// Lets a host write `j.get<BalanceEntity>()`, which throws DecodingError.
VELMAR_EXPORT void from_json(const nlohmann::json& in, BalanceEntity& record);

}  // namespace velmar
