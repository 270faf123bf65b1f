#include "catalogue.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <nlohmann/json.hpp>
#include <random>

namespace velmar::sandbox {
namespace {

// Records are written in the order of their key tables, which is what people reading a
// capture expect; the order has no meaning to a client.
using OrderedJson = nlohmann::ordered_json;

constexpr std::array kAdjectives = {
    "Aurora",  "Viking",  "Midnight", "Golden", "Crystal", "Wild",     "Lucky",   "Mystic",
    "Royal",   "Frozen",  "Blazing",  "Silver", "Ancient", "Thunder",  "Emerald", "Sunset",
    "Neon",    "Jade",    "Cosmic",   "Savage", "Hidden",  "Electric", "Velvet",  "Scarlet",
    "Eternal", "Diamond", "Phantom",  "Solar",  "Copper",  "Dragon's"};

constexpr std::array kNouns = {"Riches",  "Gold",    "Fruits",   "Empire", "Quest",   "Temple",
                               "Fortune", "Legends", "Treasure", "Spins",  "Harbour", "Pharaoh",
                               "Safari",  "Jackpot", "Reels",    "Wolves", "Gems",    "Kingdom",
                               "Voyage",  "Bonanza", "Carnival", "Nights", "Tiger",   "Oasis"};

struct TypeProfile {
  const char* type;
  const char* blurb;
};

constexpr std::array kTypes = {
    TypeProfile{"slots", "Five reels, twenty paylines and free spins."},
    TypeProfile{"slots", "Cluster pays with cascading wins."},
    TypeProfile{"table", "A classic table game with side bets."},
    TypeProfile{"live", "Live dealers streamed from the studio."},
    TypeProfile{"instant", "Pick, reveal and cash out in seconds."},
};

std::string slugOf(std::string_view name) {
  std::string slug;
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) {
      slug += static_cast<char>(std::tolower(u));
    } else if (c == ' ' && !slug.empty() && slug.back() != '-') {
      slug += '-';
    }
  }
  return slug;
}

std::vector<Provider> makeProviders() {
  return {{11, "northlight", "Northlight Gaming"},
          {12, "red-tiger-forge", "Red Tiger Forge"},
          {13, "pragmatic-reels", "Pragmatic Reels"},
          {14, "evolve-live", "Evolve Live"},
          {15, "quickspin-studio", "Quickspin Studio"},
          {16, "blue-fjord", "Blue Fjord Games"},
          {17, "hacksaw-arcade", "Hacksaw Arcade"},
          {18, "golden-lotus", "Golden Lotus Interactive"}};
}

// Every adjective-noun pair, shuffled with a fixed seed. The shuffle is written out because
// std::shuffle's steps differ between standard libraries; mt19937's output does not.
std::vector<std::string> gameNames(std::size_t count) {
  std::vector<std::string> names;
  for (const char* adjective : kAdjectives) {
    for (const char* noun : kNouns) names.push_back(std::string(adjective) + " " + noun);
  }
  std::mt19937 random(20240611);
  for (std::size_t i = names.size() - 1; i > 0; --i) {
    std::swap(names[i], names[random() % (i + 1)]);
  }
  names.resize(count);
  return names;
}

Game makeGame(std::size_t index, const std::string& name, const std::vector<Provider>& providers,
              std::mt19937& random) {
  Game game;
  game.id = 5001 + static_cast<std::int64_t>(index);
  game.name = name;
  game.slug = slugOf(name);
  game.provider = random() % providers.size();
  const Provider& provider = providers[game.provider];
  game.gameId = provider.slug + "-" + game.slug;
  // Most of a real catalogue is slots; live games come from the live studio only.
  const TypeProfile& profile = provider.slug == "evolve-live" ? kTypes[3] : kTypes[random() % 5];
  game.type = profile.type;

  OrderedJson json;
  json["id"] = game.id;
  json["slug"] = game.slug;
  json["game_id"] = game.gameId;
  json["name"] = game.name;
  json["image"] = "https://cdn.velmar.example/games/" + game.gameId + ".webp";
  json["type"] = game.type;
  json["description"] = name + " by " + provider.name + ". " + profile.blurb;
  json["is_desktop"] = true;
  json["is_mobile"] = index % 9 != 0;
  json["is_new"] = index % 11 == 0;
  json["free_games_support"] = game.type == "slots" && random() % 3 != 0;
  json["rank"] = static_cast<std::int64_t>(index) + 1;
  json["provider_id"] = provider.id;
  json["provider_name"] = provider.name;
  json["provider_slug"] = provider.slug;
  json["is_favorite"] = false;
  game.json = json.dump();
  return game;
}

Currency makeCurrency(int id, const char* numeric, const char* alphabetic, const char* institution,
                      const char* denomination, const char* minor) {
  Currency currency{std::to_string(id), numeric, alphabetic, institution, denomination, minor, {}};
  OrderedJson json;
  json["id"] = currency.id;
  json["numeric_code"] = currency.numericCode;
  json["alphabetic_code"] = currency.alphabeticCode;
  json["country_institution"] = currency.countryInstitution;
  json["denomination"] = currency.denomination;
  json["minor_unit"] = currency.minorUnit;
  json["created_at"] = "2025-01-10T00:00:00Z";
  json["updated_at"] = "2026-06-01T00:00:00Z";
  currency.json = json.dump();
  return currency;
}

std::vector<Currency> makeCurrencies() {
  return {
      makeCurrency(100, "978", "EUR", "Euro Member Countries", "Euro", "2"),
      makeCurrency(101, "840", "USD", "United States", "US Dollar", "2"),
      makeCurrency(102, "826", "GBP", "United Kingdom", "Pound Sterling", "2"),
      makeCurrency(103, "752", "SEK", "Sweden", "Swedish Krona", "2"),
      makeCurrency(104, "578", "NOK", "Norway", "Norwegian Krone", "2"),
      makeCurrency(105, "208", "DKK", "Denmark", "Danish Krone", "2"),
      makeCurrency(106, "756", "CHF", "Switzerland", "Swiss Franc", "2"),
      makeCurrency(107, "985", "PLN", "Poland", "Zloty", "2"),
      makeCurrency(108, "203", "CZK", "Czechia", "Czech Koruna", "2"),
      makeCurrency(109, "392", "JPY", "Japan", "Yen", "0"),
      makeCurrency(110, "124", "CAD", "Canada", "Canadian Dollar", "2"),
      makeCurrency(111, "036", "AUD", "Australia", "Australian Dollar", "2"),
  };
}

}  // namespace

Catalogue::Catalogue() : providers_(makeProviders()), currencies_(makeCurrencies()) {
  std::mt19937 random(7);
  const std::vector<std::string> names = gameNames(kGameCount);
  games_.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    games_.push_back(makeGame(i, names[i], providers_, random));
  }
}

const Game* Catalogue::findGame(std::string_view gameId) const {
  auto found = std::find_if(games_.begin(), games_.end(),
                            [&](const Game& game) { return game.gameId == gameId; });
  return found == games_.end() ? nullptr : &*found;
}

const Currency* Catalogue::currencyByNumericCode(std::string_view code) const {
  auto found = std::find_if(currencies_.begin(), currencies_.end(),
                            [&](const Currency& c) { return c.numericCode == code; });
  return found == currencies_.end() ? nullptr : &*found;
}

const Currency* Catalogue::currencyByAlphabeticCode(std::string_view code) const {
  auto found = std::find_if(currencies_.begin(), currencies_.end(),
                            [&](const Currency& c) { return c.alphabeticCode == code; });
  return found == currencies_.end() ? nullptr : &*found;
}

}  // namespace velmar::sandbox
