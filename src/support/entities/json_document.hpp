#pragma once

// Response bodies, parsed once and decoded straight into records.
//
// A body is parsed with simdjson (DOM) on a parser kept per thread, so the hot path allocates
// nothing after warm-up; when simdjson refuses the bytes (an integer beyond 64 bits, its depth
// limit, anything else) they are parsed again with nlohmann, so the outcome is exactly the
// record rule's whatever the parser. Records are decoded from the parsed values through the
// same codec as every other path: no re-serialising between the envelope and the record.
//
// Typical use in a service:
//
//   auto games = json::decodeResultList<GameEntity>(body);   // absent: no "result" list
//   if (!games) return fail(status);
//   for (auto& game : *games) if (game.isSuccess()) list.push_back(std::move(game).value());
//
//   auto launch = json::decodeResultObject<LaunchGameResponseEntity>(body);
//   if (!launch || !launch->isSuccess()) return fail(status);
//
// Lifetimes: a JsonView borrows from its JsonDocument and must not outlive it (moving the
// document keeps views valid). A JsonDocument belongs to the thread that parsed it: destroy it
// there. Several documents may be alive on one thread; only the first uses the shared parser.

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "support/json.hpp"
#include "support/record_codec.hpp"
#include "support/record_codec_simdjson.hpp"
#include "support/entities/record_schemas.hpp"
#include "velmar/entities/json_coding.hpp"
#include "velmar/types.hpp"

namespace velmar::json {

// The outcome of decoding one record.
template <typename R>
using Decoded = Result<R, DecodingError>;

// A read-only view of one value inside a JsonDocument.
class JsonView {
 public:
  bool isObject() const;
  bool isArray() const;

  // The member `key` of an object (its last occurrence if it repeats); absent when this is not
  // an object or has no such member.
  std::optional<JsonView> member(std::string_view key) const;

  // The elements of an array, in order; absent when this is not an array.
  std::optional<std::vector<JsonView>> elements() const;

  // This value decoded as one record.
  template <typename R>
  Decoded<R> decode() const {
    return std::visit([](const auto& reader) { return codec::decode<R>(reader); }, reader_);
  }

  // Each element of an array decoded as one record, in order, every outcome kept so a failed
  // element can be skipped alone; absent when this is not an array.
  template <typename R>
  std::optional<std::vector<Decoded<R>>> decodeEach() const {
    return std::visit(
        [](const auto& reader) -> std::optional<std::vector<Decoded<R>>> {
          std::optional<std::vector<Decoded<R>>> out;
          reader.forEachElement(
              [&out](std::size_t size) { out.emplace().reserve(size); },
              [&out](const auto& item) { out->push_back(codec::decode<R>(item)); });
          return out;
        },
        reader_);
  }

  // The elements of an array that decode as R, in order, each decoded in place in the list;
  // an element that does not decode is dropped alone. Absent when this is not an array.
  template <typename R>
  std::optional<std::vector<R>> decodeEachDecodable() const {
    return std::visit(
        [](const auto& reader) -> std::optional<std::vector<R>> {
          std::optional<std::vector<R>> out;
          reader.forEachElement([&out](std::size_t size) { out.emplace().reserve(size); },
                                [&out](const auto& item) {
                                  codec::DecodeFailure failure;
                                  if (!codec::decodeFresh(item, out->emplace_back(), failure)) {
                                    out->pop_back();  // partly filled: never seen
                                  }
                                });
          return out;
        },
        reader_);
  }

  // A copy as an nlohmann value (integers keep nlohmann's own forms).
  nlohmann::json toJson() const;

 private:
  friend class JsonDocument;
  explicit JsonView(codec::SimdjsonReader reader) : reader_(reader) {}
  explicit JsonView(codec::NlohmannReader reader) : reader_(reader) {}

  std::variant<codec::SimdjsonReader, codec::NlohmannReader> reader_;
};

// One parsed JSON document.
class JsonDocument {
 public:
  // Parses `bytes`; never throws. Bytes that are not one JSON document, or that nest deeper
  // than kMaxDepth, give a document that is not valid.
  static JsonDocument parse(std::span<const std::uint8_t> bytes);

  JsonDocument(JsonDocument&& other) noexcept;
  JsonDocument& operator=(JsonDocument&& other) noexcept;
  JsonDocument(const JsonDocument&) = delete;
  JsonDocument& operator=(const JsonDocument&) = delete;
  ~JsonDocument();

  bool isValid() const { return simdjsonRoot_.has_value() || fallback_ != nullptr; }
  // True when simdjson refused the bytes and nlohmann parsed them (tests, benchmarks).
  bool parsedByFallback() const { return fallback_ != nullptr; }

  // The top-level value; absent when the document is not valid.
  std::optional<JsonView> root() const;
  // The envelope's payload: the "result" member of a top-level object; absent otherwise.
  std::optional<JsonView> result() const;

 private:
  struct ThreadParser;
  JsonDocument() = default;
  void releaseParser();

  ThreadParser* lease_ = nullptr;  // this thread's shared parser, held while alive
  std::unique_ptr<simdjson::dom::parser> ownParser_;
  std::optional<simdjson::dom::element> simdjsonRoot_;
  std::unique_ptr<nlohmann::json> fallback_;
};

// The "result" object of a response body decoded as one R. Absent when the body is not JSON,
// not an object, has no "result" member or that member is not an object.
template <typename R>
std::optional<Decoded<R>> decodeResultObject(std::span<const std::uint8_t> body) {
  auto document = JsonDocument::parse(body);
  auto result = document.result();
  if (!result || !result->isObject()) return std::nullopt;
  return result->decode<R>();
}

// Each element of the "result" array of a response body decoded as one R, in order. Absent
// when the body is not JSON, not an object, or has no "result" array.
template <typename R>
std::optional<std::vector<Decoded<R>>> decodeResultList(std::span<const std::uint8_t> body) {
  auto document = JsonDocument::parse(body);
  auto result = document.result();
  if (!result) return std::nullopt;
  return result->decodeEach<R>();
}

// The elements of the "result" array of a response body that decode as R, in order, the
// others dropped. Absent when the body is not JSON, not an object, or has no "result" array.
template <typename R>
std::optional<std::vector<R>> decodableResultList(std::span<const std::uint8_t> body) {
  auto document = JsonDocument::parse(body);
  auto result = document.result();
  if (!result) return std::nullopt;
  return result->decodeEachDecodable<R>();
}

// The "result" member of a response body as an nlohmann value, whatever its form; absent when
// the body is not JSON, not an object or has no "result" member.
std::optional<nlohmann::json> resultMember(std::span<const std::uint8_t> body);

}  // namespace velmar::json
