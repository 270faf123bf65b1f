#pragma once

// Decoding outcomes comparable across the two parse paths and across records.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "support/json_codable_management.hpp"
#include "support/entities/json_document.hpp"
#include "support/entities/launch_game_response_entity.hpp"
#include "support/entities/record_schemas.hpp"
#include "velmar/velmar.hpp"

namespace velmar::testing {

// What decoding gave: the record re-encoded, or the key that failed ("" for the whole value).
struct Outcome {
  std::optional<nlohmann::json> encoded;
  std::string failedKey;

  friend bool operator==(const Outcome&, const Outcome&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    if (o.encoded) return out << "decoded " << o.encoded->dump();
    return out << "failed at \"" << o.failedKey << "\"";
  }
};

inline Outcome failedAt(std::string key) { return {std::nullopt, std::move(key)}; }
inline Outcome decodedAs(nlohmann::json encoded) { return {std::move(encoded), ""}; }

inline std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The host's path: bytes parsed by nlohmann, decoded by a fresh decoder.
template <typename R>
Outcome decodeWithNlohmann(std::string_view text) {
  try {
    R record = JsonCodableManagment::newJSONDecoder().decode<R>(bytesOf(text));
    return decodedAs(record.encode());
  } catch (const DecodingError& e) {
    return failedAt(e.key());
  }
}

// The services' path: bytes parsed once by simdjson (or the fallback), decoded from elements.
template <typename R>
Outcome decodeWithDocument(std::string_view text) {
  auto document = json::JsonDocument::parse(bytesOf(text));
  auto root = document.root();
  if (!root) return failedAt("");
  auto decoded = root->decode<R>();
  if (!decoded.isSuccess()) return failedAt(decoded.error().key());
  return decodedAs(decoded.value().encode());
}

using AllRecords = std::tuple<Player, LogInEntity, SignUpEntity, GameEntity, LaunchGameEntity,
                              LaunchGameResponseEntity, BalanceEntity, CurrencyEntity>;

// Calls `visit.template operator()<R>()` for every record type.
template <typename F>
void forEachRecord(F&& visit) {
  [&]<typename... R>(std::tuple<R...>*) {
    (visit.template operator()<R>(), ...);
  }(static_cast<AllRecords*>(nullptr));
}

}  // namespace velmar::testing
