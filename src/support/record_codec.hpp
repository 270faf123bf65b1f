#pragma once

// The one codec behind every record: each record states its key table once (see
// support/entities/record_schemas.hpp) and decoding, encoding and the JSON operations come from
// here. Decoding reads any JSON source through the small reader interface below, so a
// simdjson element and an nlohmann value obey exactly the same rule.

#include <array>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "velmar/entities/json_coding.hpp"
#include "velmar/types.hpp"

namespace velmar::codec {

// A JSON number in the form its parser kept it; the codec applies the record rule to it.
struct Number {
  enum class Form { signedInteger, unsignedInteger, floating };
  Form form = Form::signedInteger;
  std::int64_t signedValue = 0;
  std::uint64_t unsignedValue = 0;
  double floatingValue = 0;
};

// An integral value that fits in 64 bits: 5 and 5.0 yes; 5.5, 1e300 and 2^63 no. A
// fractional number is judged after its parser rounded it to a double.
inline std::optional<std::int64_t> integralValue(const Number& number) {
  switch (number.form) {
    case Number::Form::signedInteger:
      return number.signedValue;
    case Number::Form::unsignedInteger:
      if (number.unsignedValue > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
      return static_cast<std::int64_t>(number.unsignedValue);
    case Number::Form::floating: {
      // 2^63 is exact as a double; anything at or beyond it, or fractional, does not fit.
      constexpr double limit = 9223372036854775808.0;
      double value = number.floatingValue;
      if (!(value >= -limit && value < limit) || std::trunc(value) != value) return std::nullopt;
      return static_cast<std::int64_t>(value);
    }
  }
  return std::nullopt;
}

// Any number as a double.
inline double floatingValue(const Number& number) {
  switch (number.form) {
    case Number::Form::signedInteger:
      return static_cast<double>(number.signedValue);
    case Number::Form::unsignedInteger:
      return static_cast<double>(number.unsignedValue);
    case Number::Form::floating:
      return number.floatingValue;
  }
  return 0;
}

// What the codec needs of a JSON value, whatever parsed it. Scalar accessors give absent when
// the value has another form; forEachMember visits an object's members in document order.
template <typename V>
concept Reader = std::copyable<V> && requires(const V& v) {
  { v.isNull() } -> std::same_as<bool>;
  { v.isObject() } -> std::same_as<bool>;
  { v.text() } -> std::same_as<std::optional<std::string_view>>;
  { v.flag() } -> std::same_as<std::optional<bool>>;
  { v.number() } -> std::same_as<std::optional<Number>>;
  v.forEachMember([](std::string_view, const V&) {});
};

// The reader over an nlohmann value (the host's own decode, `fromData`, the fallback parse).
class NlohmannReader {
 public:
  explicit NlohmannReader(const nlohmann::json& value) : value_(&value) {}

  bool isNull() const { return value_->is_null(); }
  bool isObject() const { return value_->is_object(); }
  std::optional<std::string_view> text() const {
    if (!value_->is_string()) return std::nullopt;
    return std::string_view(value_->get_ref<const std::string&>());
  }
  std::optional<bool> flag() const {
    if (!value_->is_boolean()) return std::nullopt;
    return value_->get<bool>();
  }
  std::optional<Number> number() const {
    Number n;
    switch (value_->type()) {
      case nlohmann::json::value_t::number_integer:
        n.form = Number::Form::signedInteger;
        n.signedValue = value_->get<std::int64_t>();
        return n;
      case nlohmann::json::value_t::number_unsigned:
        n.form = Number::Form::unsignedInteger;
        n.unsignedValue = value_->get<std::uint64_t>();
        return n;
      case nlohmann::json::value_t::number_float:
        n.form = Number::Form::floating;
        n.floatingValue = value_->get<double>();
        return n;
      default:
        return std::nullopt;
    }
  }
  template <typename F>
  void forEachMember(F&& visit) const {
    if (!value_->is_object()) return;
    for (const auto& [key, member] : value_->items()) visit(key, NlohmannReader(member));
  }

  // For an array: `start(size)`, then `visit(element)` for each element in order.
  template <typename Start, typename F>
  void forEachElement(Start&& start, F&& visit) const {
    if (!value_->is_array()) return;
    start(value_->size());
    for (const auto& item : *value_) visit(NlohmannReader(item));
  }

  const nlohmann::json& value() const { return *value_; }

 private:
  const nlohmann::json* value_;
};

// Why a value did not decode: the dotted path of the field ("player.id"; empty for the value
// as a whole) and what was expected there.
struct DecodeFailure {
  std::string key;
  std::string reason;

  DecodingError error() const { return DecodingError(key, reason); }
};

// One line of a key table: the JSON key and the record member holding that field.
template <typename R, typename T>
struct Field {
  std::string_view key;
  std::optional<T> R::*member;
};

template <typename R, typename T>
constexpr Field<R, T> field(std::string_view key, std::optional<T> R::*member) {
  return {key, member};
}

// A type with a key table; that is what "nested record" means.
template <typename T>
concept Record = requires {
  internal::RecordSchema<T>::fields;
};

template <typename R, Reader V>
bool decodeFresh(const V& value, R& record, DecodeFailure& failure);

namespace detail {

template <typename R>
constexpr auto& fieldsOf() {
  return internal::RecordSchema<R>::fields;
}

template <typename R>
constexpr std::size_t fieldCount() {
  return std::tuple_size_v<std::remove_cvref_t<decltype(fieldsOf<R>())>>;
}

template <typename R>
constexpr auto keysOf() {
  return std::apply(
      [](const auto&... f) { return std::array<std::string_view, sizeof...(f)>{f.key...}; },
      fieldsOf<R>());
}

// The key table position of `key`, or the table's size for a key the record ignores. Bodies
// usually list keys in table order, so the position after the previous match is tried first.
template <typename R>
std::size_t indexOfKey(std::string_view key, std::size_t hint) {
  static constexpr auto keys = keysOf<R>();
  if (hint < keys.size() && keys[hint] == key) return hint;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) return i;
  }
  return keys.size();
}

template <Reader V>
bool readValue(const V& value, std::optional<std::string>& out, DecodeFailure& failure) {
  auto text = value.text();
  if (!text) return failure.reason = "expected text", false;
  out.emplace(*text);
  return true;
}

template <Reader V>
bool readValue(const V& value, std::optional<std::int64_t>& out, DecodeFailure& failure) {
  auto number = value.number();
  auto integral = number ? integralValue(*number) : std::nullopt;
  if (!integral) return failure.reason = "expected an integer that fits in 64 bits", false;
  out = *integral;
  return true;
}

template <Reader V>
bool readValue(const V& value, std::optional<bool>& out, DecodeFailure& failure) {
  auto flag = value.flag();
  if (!flag) return failure.reason = "expected true or false", false;
  out = *flag;
  return true;
}

template <Reader V>
bool readValue(const V& value, std::optional<double>& out, DecodeFailure& failure) {
  auto number = value.number();
  if (!number) return failure.reason = "expected a number", false;
  out = floatingValue(*number);
  return true;
}

template <Reader V, Record T>
bool readValue(const V& value, std::optional<T>& out, DecodeFailure& failure) {
  return decodeFresh(value, out.emplace(), failure);  // a failure drops the whole record
}

inline nlohmann::json writeValue(const std::string& v) { return v; }
inline nlohmann::json writeValue(std::int64_t v) { return v; }
inline nlohmann::json writeValue(bool v) { return v; }
inline nlohmann::json writeValue(double v) {
  // JSON has no infinity or NaN; a writer would put null, read back as an absent field.
  if (!std::isfinite(v)) throw EncodingError("the record holds a number that is not finite");
  return v;
}

}  // namespace detail

// Decodes `value` into `record`, which must be freshly made, by the record rule: an object is
// required; a missing or null key leaves its field absent; a value of the wrong form fails the
// whole record, naming the key; keys outside the table are ignored; when a key repeats, its
// last value counts. On failure `record` holds a partial result and must be dropped.
template <typename R, Reader V>
bool decodeFresh(const V& value, R& record, DecodeFailure& failure) {
  if (!value.isObject()) {
    failure = {"", "expected an object"};
    return false;
  }
  constexpr std::size_t count = detail::fieldCount<R>();
  std::array<std::optional<V>, count> slots;
  std::size_t next = 0;
  value.forEachMember([&slots, &next](std::string_view key, const V& member) {
    std::size_t index = detail::indexOfKey<R>(key, next);
    if (index < count) {
      slots[index] = member;
      next = index + 1;
    }
  });

  auto readField = [&](const auto& f, const std::optional<V>& slot) {
    if (!slot || slot->isNull()) return true;
    if (detail::readValue(*slot, record.*(f.member), failure)) return true;
    failure.key = failure.key.empty() ? std::string(f.key) : std::string(f.key) + "." + failure.key;
    return false;
  };
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    return (readField(std::get<I>(detail::fieldsOf<R>()), slots[I]) && ...);
  }
  (std::make_index_sequence<count>{});
}

// The decoding outcome as a value.
template <typename R, Reader V>
Result<R, DecodingError> decode(const V& value) {
  R record;
  DecodeFailure failure;
  if (decodeFresh(value, record, failure))
    return Result<R, DecodingError>::success(std::move(record));
  return Result<R, DecodingError>::failure(failure.error());
}

// Decoding that raises, as the records' public `decode` does.
template <typename R, Reader V>
R decodeOrThrow(const V& value) {
  R record;
  DecodeFailure failure;
  if (!decodeFresh(value, record, failure)) throw failure.error();
  return record;
}

// The JSON object of the record's present fields, in key-table order; absent fields are
// omitted, never written as null. Throws EncodingError for a number that is not finite.
template <typename R>
nlohmann::json encodeRecord(const R& record) {
  nlohmann::json out = nlohmann::json::object();
  std::apply(
      [&](const auto&... f) {
        auto put = [&](const auto& field) {
          const auto& value = record.*(field.member);
          if (!value) return;
          if constexpr (Record<std::remove_cvref_t<decltype(*value)>>) {
            out[std::string(field.key)] = encodeRecord(*value);
          } else {
            out[std::string(field.key)] = detail::writeValue(*value);
          }
        };
        (put(f), ...);
      },
      detail::fieldsOf<R>());
  return out;
}

}  // namespace velmar::codec
