#pragma once

// Results written for people (aligned tables) and for scripts (one JSON document).
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>
#include <velmar/entities/currency_entity.hpp>
#include <velmar/entities/game_entity.hpp>

namespace velmar::cli {

// Rows of text under a header, each column as wide as its widest cell.
void writeTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows);

// The games as a table: id, game id, name, provider, type and flags.
void writeGameTable(std::ostream& out, const std::vector<GameEntity>& games);

// The currencies as a table: code, numeric code, name, minor unit.
void writeCurrencyTable(std::ostream& out, const std::vector<CurrencyEntity>& currencies);

// One JSON document and a line break; text that is not UTF-8 is replaced, never thrown on.
void writeJson(std::ostream& out, const nlohmann::json& document);

// How many columns `text` (UTF-8) takes on a terminal, counting one per code point.
std::size_t displayWidth(const std::string& text);

}  // namespace velmar::cli
