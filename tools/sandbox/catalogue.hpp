#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::sandbox {

struct Provider {
  std::int64_t id = 0;
  std::string slug;
  std::string name;
};

struct Game {
  std::int64_t id = 0;
  std::string gameId;  // "<provider slug>-<slug>", what a launch names
  std::string slug;
  std::string name;
  std::string type;
  std::size_t provider = 0;  // index into Catalogue::providers()
  std::string json;          // the record as the API writes it, compact
};

struct Currency {
  std::string id;
  std::string numericCode;
  std::string alphabeticCode;
  std::string countryInstitution;
  std::string denomination;
  std::string minorUnit;
  std::string json;  // the record as the API writes it, compact
};

// The platform's fixed reference data: providers, games and currencies. The same on every
// run, so answers can be compared across runs and machines. Immutable once built, so any
// thread may read it.
class Catalogue {
 public:
  // Number of games in the catalogue.
  static constexpr std::size_t kGameCount = 250;

  Catalogue();

  const std::vector<Provider>& providers() const { return providers_; }
  const std::vector<Game>& games() const { return games_; }
  const std::vector<Currency>& currencies() const { return currencies_; }

  // The game with this "game_id", or nullptr.
  const Game* findGame(std::string_view gameId) const;
  // The currency with this ISO 4217 numeric or alphabetic code, or nullptr.
  const Currency* currencyByNumericCode(std::string_view code) const;
  const Currency* currencyByAlphabeticCode(std::string_view code) const;

 private:
  std::vector<Provider> providers_;
  std::vector<Game> games_;
  std::vector<Currency> currencies_;
};

}  // namespace velmar::sandbox
