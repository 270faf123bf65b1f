#include "hand_mapping.hpp"

#include <nlohmann/json.hpp>
#include <type_traits>

namespace velmar::bench {
namespace {

template <typename T>
bool take(const nlohmann::json& object, const char* key, std::optional<T>& out) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return true;
  if constexpr (std::is_same_v<T, std::string>) {
    if (!it->is_string()) return false;
  } else if constexpr (std::is_same_v<T, bool>) {
    if (!it->is_boolean()) return false;
  } else {
    if (!it->is_number_integer()) return false;
  }
  out = it->get<T>();
  return true;
}

}  // namespace

std::vector<HandGame> mapPageByHand(std::string_view body) {
  std::vector<HandGame> games;
  const auto value = nlohmann::json::parse(body);
  const auto result = value.find("result");
  if (!value.is_object() || result == value.end() || !result->is_array()) return games;
  games.reserve(result->size());
  for (const auto& item : *result) {
    HandGame g;
    const bool ok =
        item.is_object() && take(item, "id", g.id) && take(item, "slug", g.slug) &&
        take(item, "game_id", g.gameId) && take(item, "name", g.name) &&
        take(item, "image", g.image) && take(item, "type", g.type) &&
        take(item, "description", g.description) && take(item, "is_desktop", g.isDesktop) &&
        take(item, "is_mobile", g.isMobile) && take(item, "is_new", g.isNew) &&
        take(item, "free_games_support", g.freeGamesSupport) && take(item, "rank", g.rank) &&
        take(item, "provider_id", g.providerId) && take(item, "provider_name", g.providerName) &&
        take(item, "provider_slug", g.providerSlug) && take(item, "is_favorite", g.isFavorite);
    if (ok) games.push_back(std::move(g));
  }
  return games;
}

}  // namespace velmar::bench
