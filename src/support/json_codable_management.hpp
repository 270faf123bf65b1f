#pragma once

// Builds the JSON decoders and encoders the records use, turns JSON text into a dictionary,
// and carries the JSON operations every record shares (jsonData, jsonString, fromData,
// fromString, jsonDictonary), written once over the record codec.

#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "support/json.hpp"
#include "support/record_codec.hpp"
#include "velmar/entities/json_coding.hpp"
#include "velmar/types.hpp"

namespace velmar {

// How dates would be read and written; no record has a date field, so it shows nowhere.
enum class DateCodingStrategy { iso8601 };

// Reads records from JSON bytes or values. Stateless; each use gets a fresh one.
class JSONDecoder {
 public:
  DateCodingStrategy dateDecodingStrategy() const { return DateCodingStrategy::iso8601; }

  // Raises DecodingError for bytes that are not one JSON document and for anything the
  // record rule refuses.
  template <typename R>
  R decode(std::span<const std::uint8_t> data) const {
    auto value = json::parse(data);
    if (!value) throw DecodingError("", "the data is not one JSON document");
    return decodeValue<R>(*value);
  }

  // The same from a parsed value (a separate name: bytes convert to a JSON array).
  template <typename R>
  R decodeValue(const nlohmann::json& value) const {
    return codec::decodeOrThrow<R>(codec::NlohmannReader(value));
  }
};

// Writes records as compact JSON. Stateless; each use gets a fresh one.
class JSONEncoder {
 public:
  DateCodingStrategy dateEncodingStrategy() const { return DateCodingStrategy::iso8601; }

  // Raises EncodingError when the record's text is not valid UTF-8.
  template <typename R>
  Bytes encode(const R& record) const {
    auto bytes = json::write(codec::encodeRecord(record));
    if (!bytes) throw EncodingError("the record holds text that is not valid UTF-8");
    return std::move(*bytes);
  }
};

// The stateless holder of the three JSON coding entry points; never instantiated.
class JsonCodableManagment {
 public:
  JsonCodableManagment() = delete;

  static JSONDecoder newJSONDecoder() { return JSONDecoder(); }
  static JSONEncoder newJSONEncoder() { return JSONEncoder(); }
  // The JSON object in `jsonString`; absent for absent text, text that is not valid UTF-8 or
  // not JSON, and any top level other than an object. Never throws.
  static std::optional<nlohmann::json> newJSONToDictionary(
      const std::optional<std::string>& jsonString);
};

namespace text {

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// The byte form of UTF-8 `text` in `encoding`; absent when the text is not valid UTF-8 or
// holds a character the encoding cannot represent. Never lossy.
std::optional<Bytes> encode(std::string_view text, StringEncoding encoding);

// `bytes` read as text in `encoding`, returned as UTF-8; absent when they are not valid text
// in that encoding.
std::optional<std::string> decode(std::span<const std::uint8_t> bytes, StringEncoding encoding);

}  // namespace text

namespace codec {

// The record operations, shared by every record that offers them.

template <typename R>
Bytes jsonData(const R& record) {
  return JsonCodableManagment::newJSONEncoder().encode(record);
}

template <typename R>
std::optional<std::string> jsonString(const R& record, StringEncoding encoding) {
  return text::decode(jsonData(record), encoding);
}

template <typename R>
R fromData(std::span<const std::uint8_t> data) {
  return JsonCodableManagment::newJSONDecoder().decode<R>(data);
}

template <typename R>
R fromString(std::string_view text, StringEncoding encoding) {
  auto bytes = text::encode(text, encoding);
  if (!bytes) throw std::system_error(0, jsonDecodingCategory());
  return fromData<R>(*bytes);
}

template <typename R>
std::optional<nlohmann::json> jsonDictonary(const R& record) {
  std::optional<std::string> text;
  try {
    text = jsonString(record, StringEncoding::utf8);
  } catch (const EncodingError&) {
  }
  return JsonCodableManagment::newJSONToDictionary(text);
}

}  // namespace codec
}  // namespace velmar
