#include "support/entities/json_document.hpp"

namespace velmar::json {
namespace {

// Bodies above this get a parser of their own, so one huge answer does not pin its buffers
// to the thread for good.
constexpr std::size_t kSharedParserLimit = 1 << 20;

nlohmann::json convert(simdjson::dom::element element) {
  using simdjson::dom::element_type;
  switch (element.type()) {
    case element_type::OBJECT: {
      nlohmann::json out = nlohmann::json::object();
      simdjson::dom::object object;
      if (element.get_object().get(object) != simdjson::SUCCESS) return out;
      for (auto member : object) {
        out[std::string(member.key)] = convert(member.value);  // a repeated key: last wins
      }
      return out;
    }
    case element_type::ARRAY: {
      nlohmann::json out = nlohmann::json::array();
      simdjson::dom::array array;
      if (element.get_array().get(array) != simdjson::SUCCESS) return out;
      for (auto item : array) out.push_back(convert(item));
      return out;
    }
    case element_type::STRING:
      return std::string(element.get_string().value_unsafe());
    case element_type::INT64: {
      // nlohmann keeps non-negative integers unsigned; do the same so both parses agree.
      std::int64_t value = element.get_int64().value_unsafe();
      if (value >= 0) return static_cast<std::uint64_t>(value);
      return value;
    }
    case element_type::UINT64:
      return element.get_uint64().value_unsafe();
    case element_type::DOUBLE:
      return element.get_double().value_unsafe();
    case element_type::BOOL:
      return element.get_bool().value_unsafe();
    case element_type::NULL_VALUE:
      return nullptr;
  }
  return nullptr;
}

}  // namespace

struct JsonDocument::ThreadParser {
  simdjson::dom::parser parser;
  bool busy = false;
};

bool JsonView::isObject() const {
  return std::visit([](const auto& reader) { return reader.isObject(); }, reader_);
}

bool JsonView::isArray() const {
  if (auto* simd = std::get_if<codec::SimdjsonReader>(&reader_)) {
    return simd->element().is_array();
  }
  return std::get<codec::NlohmannReader>(reader_).value().is_array();
}

std::optional<JsonView> JsonView::member(std::string_view key) const {
  std::optional<JsonView> found;
  std::visit(
      [&](const auto& reader) {
        reader.forEachMember([&](std::string_view name, const auto& value) {
          if (name == key) found = JsonView(value);
        });
      },
      reader_);
  return found;
}

std::optional<std::vector<JsonView>> JsonView::elements() const {
  std::vector<JsonView> out;
  if (auto* simd = std::get_if<codec::SimdjsonReader>(&reader_)) {
    simdjson::dom::array array;
    if (simd->element().get_array().get(array) != simdjson::SUCCESS) return std::nullopt;
    out.reserve(array.size());
    for (auto item : array) out.push_back(JsonView(codec::SimdjsonReader(item)));
    return out;
  }
  const auto& value = std::get<codec::NlohmannReader>(reader_).value();
  if (!value.is_array()) return std::nullopt;
  out.reserve(value.size());
  for (const auto& item : value) out.push_back(JsonView(codec::NlohmannReader(item)));
  return out;
}

nlohmann::json JsonView::toJson() const {
  if (auto* simd = std::get_if<codec::SimdjsonReader>(&reader_)) return convert(simd->element());
  return std::get<codec::NlohmannReader>(reader_).value();
}

JsonDocument JsonDocument::parse(std::span<const std::uint8_t> bytes) {
  JsonDocument document;
  if (bytes.empty()) return document;  // not JSON, and simdjson wants a buffer to copy

  simdjson::dom::parser* parser;
  thread_local ThreadParser shared;
  if (bytes.size() <= kSharedParserLimit && !shared.busy) {
    shared.busy = true;
    document.lease_ = &shared;
    parser = &shared.parser;
  } else {
    document.ownParser_ = std::make_unique<simdjson::dom::parser>();
    parser = document.ownParser_.get();
  }

  // The parser copies the bytes into its own padded buffer (reused across parses), so the
  // caller's buffer needs no padding.
  simdjson::dom::element root;
  if (parser->parse(bytes.data(), bytes.size()).get(root) == simdjson::SUCCESS) {
    document.simdjsonRoot_ = root;
    return document;
  }
  document.releaseParser();
  if (auto value = json::parse(bytes)) {
    document.fallback_ = std::make_unique<nlohmann::json>(std::move(*value));
  }
  return document;
}

JsonDocument::JsonDocument(JsonDocument&& other) noexcept
    : lease_(std::exchange(other.lease_, nullptr)),
      ownParser_(std::move(other.ownParser_)),
      simdjsonRoot_(std::exchange(other.simdjsonRoot_, std::nullopt)),
      fallback_(std::move(other.fallback_)) {}

JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept {
  if (this != &other) {
    releaseParser();
    lease_ = std::exchange(other.lease_, nullptr);
    ownParser_ = std::move(other.ownParser_);
    simdjsonRoot_ = std::exchange(other.simdjsonRoot_, std::nullopt);
    fallback_ = std::move(other.fallback_);
  }
  return *this;
}

JsonDocument::~JsonDocument() { releaseParser(); }

void JsonDocument::releaseParser() {
  simdjsonRoot_.reset();
  ownParser_.reset();
  if (lease_) std::exchange(lease_, nullptr)->busy = false;
}

std::optional<JsonView> JsonDocument::root() const {
  if (simdjsonRoot_) return JsonView(codec::SimdjsonReader(*simdjsonRoot_));
  if (fallback_) return JsonView(codec::NlohmannReader(*fallback_));
  return std::nullopt;
}

std::optional<JsonView> JsonDocument::result() const {
  auto top = root();
  if (!top) return std::nullopt;
  return top->member("result");
}

std::optional<nlohmann::json> resultMember(std::span<const std::uint8_t> body) {
  auto document = JsonDocument::parse(body);
  auto result = document.result();
  if (!result) return std::nullopt;
  return result->toJson();
}

}  // namespace velmar::json
