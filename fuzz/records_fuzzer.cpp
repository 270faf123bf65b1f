// Arbitrary bytes into every record's decoding (both parse paths, which must agree), the
// body-document helpers and the JSON parse helper. Whatever decodes must encode again.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <tuple>

#include "support/json.hpp"
#include "support/json_codable_management.hpp"
#include "support/entities/json_document.hpp"
#include "support/entities/launch_game_response_entity.hpp"
#include "support/entities/record_schemas.hpp"
#include "velmar/velmar.hpp"

namespace {

using velmar::Bytes;

template <typename R>
std::optional<R> viaNlohmann(std::span<const std::uint8_t> data) {
  try {
    return velmar::JsonCodableManagment::newJSONDecoder().decode<R>(data);
  } catch (const velmar::DecodingError&) {
    return std::nullopt;
  }
}

template <typename R>
void check(std::span<const std::uint8_t> data, const velmar::json::JsonDocument& document) {
  auto host = viaNlohmann<R>(data);
  std::optional<R> body;
  if (auto root = document.root()) {
    auto decoded = root->decode<R>();
    if (decoded.isSuccess()) body = decoded.value();
  }
  if (host.has_value() != body.has_value()) std::abort();
  if (host && !(*host == *body)) std::abort();
  if (host) {
    // Decoded text came from valid JSON, so it is valid UTF-8 and must encode.
    auto again = velmar::JsonCodableManagment::newJSONDecoder().decode<R>(
        velmar::JsonCodableManagment::newJSONEncoder().encode(*host));
    if (!(again == *host)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> bytes(data, size);
  auto document = velmar::json::JsonDocument::parse(bytes);
  check<velmar::Player>(bytes, document);
  check<velmar::LogInEntity>(bytes, document);
  check<velmar::SignUpEntity>(bytes, document);
  check<velmar::GameEntity>(bytes, document);
  check<velmar::LaunchGameEntity>(bytes, document);
  check<velmar::LaunchGameResponseEntity>(bytes, document);
  check<velmar::BalanceEntity>(bytes, document);
  check<velmar::CurrencyEntity>(bytes, document);

  // The public byte entry point and the helpers the services use.
  try {
    (void)velmar::LogInEntity::fromData(bytes);
  } catch (const velmar::DecodingError&) {
  }
  (void)velmar::json::decodeResultList<velmar::GameEntity>(bytes);
  (void)velmar::json::decodeResultObject<velmar::LogInEntity>(bytes);
  if (auto member = velmar::json::resultMember(bytes)) (void)velmar::json::writeString(*member);

  auto parsed = velmar::json::parse(bytes);
  if (parsed.has_value() != document.isValid()) std::abort();
  if (parsed) (void)velmar::json::write(*parsed);
  std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)velmar::JsonCodableManagment::newJSONToDictionary(std::string(text));
  return 0;
}
