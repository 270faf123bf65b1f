#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::bench {

// The game record a host would declare for itself.
struct HandGame {
  std::optional<std::int64_t> id, rank, providerId;
  std::optional<std::string> slug, gameId, name, image, type, description, providerName,
      providerSlug;
  std::optional<bool> isDesktop, isMobile, isNew, freeGamesSupport, isFavorite;
};

// Parses a game-list body with nlohmann/json and maps the "result" list field by field, with
// the same kind checks as the SDK: a record with a field of the wrong kind is skipped. Throws
// nlohmann's parse error for a body that is not JSON.
std::vector<HandGame> mapPageByHand(std::string_view body);

}  // namespace velmar::bench
