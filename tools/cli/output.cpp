// Tables sized to their cells, and JSON that survives text that is not UTF-8.
#include "output.hpp"

#include <algorithm>
#include <ostream>

namespace velmar::cli {
namespace {

std::string textOr(const std::optional<std::string>& text, const char* absent = "-") {
  return text ? *text : absent;
}

std::string numberOr(const std::optional<std::int64_t>& number) {
  return number ? std::to_string(*number) : "-";
}

// Short marks for the flags a player picks games by.
std::string flagsOf(const GameEntity& game) {
  std::string flags;
  auto add = [&flags](const std::optional<bool>& flag, const char* name) {
    if (!flag.value_or(false)) return;
    if (!flags.empty()) flags += ',';
    flags += name;
  };
  add(game.isNew(), "new");
  add(game.isMobile(), "mobile");
  add(game.isDesktop(), "desktop");
  add(game.freeGamesSupport(), "free-games");
  return flags.empty() ? "-" : flags;
}

// Terminal control bytes in server-provided text could rewrite the user's screen.
std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

}  // namespace

std::size_t displayWidth(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

void writeTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths(header.size(), 0);
  auto measure = [&widths](const std::vector<std::string>& row) {
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], displayWidth(row[i]));
    }
  };
  measure(header);
  for (const auto& row : rows) measure(row);

  auto write = [&](const std::vector<std::string>& row) {
    std::string line;
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      const std::string cell = printable(row[i]);
      line += cell;
      // The last column is not padded, so lines carry no trailing blanks.
      if (i + 1 < row.size()) line.append(widths[i] - displayWidth(cell) + 2, ' ');
    }
    out << line << '\n';
  };
  write(header);
  for (const auto& row : rows) write(row);
}

void writeGameTable(std::ostream& out, const std::vector<GameEntity>& games) {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(games.size());
  for (const GameEntity& game : games) {
    rows.push_back({numberOr(game.identifier()), textOr(game.gameID()), textOr(game.name()),
                    textOr(game.providerSlug()), numberOr(game.providerID()), textOr(game.type()),
                    flagsOf(game)});
  }
  writeTable(out, {"ID", "GAME ID", "NAME", "PROVIDER", "PROVIDER ID", "TYPE", "FLAGS"}, rows);
}

void writeCurrencyTable(std::ostream& out, const std::vector<CurrencyEntity>& currencies) {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(currencies.size());
  for (const CurrencyEntity& currency : currencies) {
    rows.push_back({textOr(currency.alphabeticCode()), textOr(currency.numericCode()),
                    textOr(currency.denomination()), textOr(currency.minorUnit())});
  }
  writeTable(out, {"CODE", "NUMERIC", "NAME", "MINOR UNIT"}, rows);
}

void writeJson(std::ostream& out, const nlohmann::json& document) {
  out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

}  // namespace velmar::cli
