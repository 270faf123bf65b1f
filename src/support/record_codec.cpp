#include "support/record_codec.hpp"

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

}  // namespace velmar
