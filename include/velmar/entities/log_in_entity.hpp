#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "velmar/entities/json_coding.hpp"
#include "velmar/entities/player.hpp"
#include "velmar/export.hpp"
#include "velmar/types.hpp"

namespace velmar {

/// The payload of a successful log-in: the access token and the player.
class VELMAR_EXPORT LogInEntity {
 public:
  /// A record with every field absent, as decoding `{}` gives.
  LogInEntity() = default;

  /// "token": the access token.
  const std::optional<std::string>& token() const noexcept { return token_; }
  /// "player": the logged-in player.
  const std::optional<Player>& player() const noexcept { return player_; }

  /// Reads the record from a JSON value; throws DecodingError naming the key that failed.
  static LogInEntity decode(const nlohmann::json& value);
  /// The JSON object of the present fields; absent fields are omitted, never null.
  nlohmann::json encode() const;
  /// The compact JSON text as UTF-8 bytes; throws EncodingError for text that is not UTF-8.
  Bytes jsonData() const;
  /// The JSON text read in `encoding`; absent when the bytes are not valid in it. Throws
  /// EncodingError as `jsonData` does.
  std::optional<std::string> jsonString(StringEncoding encoding = StringEncoding::utf8) const;
  /// Reads the record from JSON bytes; throws DecodingError.
  static LogInEntity fromData(std::span<const std::uint8_t> data);
  /// Reads the record from UTF-8 `text` converted to `encoding`; throws std::system_error
  /// (category jsonDecodingCategory(), value 0) when the text cannot be represented in
  /// it, otherwise as `fromData`.
  static LogInEntity fromString(std::string_view text,
                                StringEncoding encoding = StringEncoding::utf8);

  friend bool operator==(const LogInEntity&, const LogInEntity&) = default;

 private:
  template <typename>
  friend struct internal::RecordSchema;

  std::optional<std::string> token_;
  std::optional<Player> player_;
};

/// Lets a host write `nlohmann::json j = record;`.
VELMAR_EXPORT void to_json(nlohmann::json& out, const LogInEntity& record);
/// Lets a host write `j.get<LogInEntity>()`, which throws DecodingError.
VELMAR_EXPORT void from_json(const nlohmann::json& in, LogInEntity& record);

}  // namespace velmar
