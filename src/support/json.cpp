#include "support/json.hpp"

#include <utility>
#include <vector>

namespace velmar::json {
namespace {

// Depth of a value without recursion, so a hostile document cannot exhaust the stack here.
bool withinDepth(const nlohmann::json& root) {
  std::vector<std::pair<const nlohmann::json*, std::size_t>> stack{{&root, 1}};
  while (!stack.empty()) {
    auto [value, depth] = stack.back();
    stack.pop_back();
    if (!value->is_structured()) continue;
    if (depth > kMaxDepth) return false;
    for (const auto& child : *value) stack.emplace_back(&child, depth + 1);
  }
  return true;
}

template <typename Input>
std::optional<nlohmann::json> parseInput(Input begin, Input end) {
  // nlohmann's parser and destructor are iterative, so a deep document is safe to build and
  // is refused afterwards.
  auto value = nlohmann::json::parse(begin, end, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded() || !withinDepth(value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<nlohmann::json> parse(std::span<const std::uint8_t> bytes) {
  return parseInput(bytes.begin(), bytes.end());
}

std::optional<nlohmann::json> parse(std::string_view text) {
  return parseInput(text.begin(), text.end());
}

std::optional<std::string> writeString(const nlohmann::json& value, WriteOption option) {
  if (!value.is_object() && !value.is_array()) return std::nullopt;
  if (!withinDepth(value)) return std::nullopt;
  try {
    return value.dump(option == WriteOption::prettyPrinted ? 2 : -1);
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;  // text that is not valid UTF-8
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<Bytes> write(const nlohmann::json& value, WriteOption option) {
  auto text = writeString(value, option);
  if (!text) return std::nullopt;
  return Bytes(text->begin(), text->end());
}

}  // namespace velmar::json
