#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <span>

#include "velmar/types.hpp"

namespace velmar::json {

// Values nested deeper than this are neither written nor kept from a parse: writing is
// recursive, and no message of the platform comes near it.
inline constexpr std::size_t kMaxDepth = 1024;

enum class WriteOption { compact, prettyPrinted };

// Parses bytes into a generic JSON value; absent when the bytes are not one JSON document.
std::optional<nlohmann::json> parse(std::span<const std::uint8_t> bytes);
std::optional<nlohmann::json> parse(std::string_view text);

// Writes an object or array; absent for any other top level, for text that is not valid
// UTF-8 and for values nested beyond kMaxDepth. Never throws.
std::optional<Bytes> write(const nlohmann::json& value, WriteOption option = WriteOption::compact);

// The same as `write`, as text.
std::optional<std::string> writeString(const nlohmann::json& value,
                                       WriteOption option = WriteOption::compact);

}  // namespace velmar::json
