#include "support/json_codable_management.hpp"

namespace velmar {

std::optional<nlohmann::json> JsonCodableManagment::newJSONToDictionary(
    const std::optional<std::string>& jsonString) {
  if (!jsonString || !text::isValidUtf8(*jsonString)) return std::nullopt;
  auto value = json::parse(std::string_view(*jsonString));
  if (!value || !value->is_object()) return std::nullopt;
  return value;
}

namespace text {
namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Reads one code point at `pos`, advancing it; kInvalid for a malformed sequence.
char32_t nextCodePoint(std::string_view bytes, std::size_t& pos) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = byte(pos);
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return kInvalid;
  }
  if (bytes.size() - pos < length) return kInvalid;
  for (std::size_t i = 1; i < length; ++i) {
    unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return kInvalid;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return kInvalid;
  }
  pos += length;
  return value;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string_view asText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    if (nextCodePoint(bytes, pos) == kInvalid) return false;
  }
  return true;
}

std::optional<Bytes> encode(std::string_view text, StringEncoding encoding) {
  Bytes out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t c = nextCodePoint(text, pos);
    if (c == kInvalid) return std::nullopt;
    switch (encoding) {
      case StringEncoding::utf8:
        break;
      case StringEncoding::ascii:
        if (c > 0x7F) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(c));
        break;
      case StringEncoding::isoLatin1:
        if (c > 0xFF) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(c));
        break;
    }
  }
  if (encoding == StringEncoding::utf8) out.assign(text.begin(), text.end());
  return out;
}

std::optional<std::string> decode(std::span<const std::uint8_t> bytes, StringEncoding encoding) {
  switch (encoding) {
    case StringEncoding::utf8:
      if (!isValidUtf8(asText(bytes))) return std::nullopt;
      return std::string(asText(bytes));
    case StringEncoding::ascii:
      for (auto b : bytes) {
        if (b > 0x7F) return std::nullopt;
      }
      return std::string(asText(bytes));
    case StringEncoding::isoLatin1: {
      std::string out;
      out.reserve(bytes.size());
      for (auto b : bytes) appendUtf8(out, b);
      return out;
    }
  }
  return std::nullopt;
}

}  // namespace text
}  // namespace velmar
