#include "core/record_codec.hpp"

#include <cmath>
#include <limits>

namespace velmar {

DecodingError::DecodingError(std::string key, const std::string& reason)
    : std::runtime_error(key.empty() ? reason : "key \"" + key + "\": " + reason),
      key_(std::move(key)) {}

namespace {

class JsonDecodingCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "JSONDecoding"; }
  std::string message(int) const override {
    return "the text cannot be represented in the requested encoding";
  }
};

}  // namespace

const std::error_category& jsonDecodingCategory() noexcept {
  static const JsonDecodingCategory category;
  return category;
}

namespace codec {

std::optional<std::int64_t> integralValue(const Number& number) {
  constexpr auto max = std::numeric_limits<std::int64_t>::max();
  switch (number.form) {
    case Number::Form::signedInteger:
      return number.signedValue;
    case Number::Form::unsignedInteger:
      if (number.unsignedValue > static_cast<std::uint64_t>(max)) return std::nullopt;
      return static_cast<std::int64_t>(number.unsignedValue);
    case Number::Form::floating: {
      double value = number.floatingValue;
      // 2^63 is exact as a double; anything at or beyond it, or fractional, does not fit.
      constexpr double limit = 9223372036854775808.0;
      if (!(value >= -limit && value < limit) || std::trunc(value) != value) return std::nullopt;
      return static_cast<std::int64_t>(value);
    }
  }
  return std::nullopt;
}

double floatingValue(const Number& number) {
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

}  // namespace codec
}  // namespace velmar
