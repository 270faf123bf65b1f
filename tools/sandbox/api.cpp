#include "api.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace velmar::sandbox {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr std::string_view kBase = "/api/v1";
constexpr std::string_view kBalancesPrefix = "/api/v1/balances/player/";
constexpr std::int64_t kDefaultPerPage = 50;
constexpr std::int64_t kMaxPerPage = 500;
// Sessions kept per player; logging in again past this ends the oldest one.
constexpr std::size_t kSessionsPerPlayer = 32;

enum class Endpoint { logIn, signUp, listGames, launchGame, balances, currencies };

struct Route {
  Endpoint endpoint;
  const char* method;
  bool needsSession;
};

std::optional<Route> routeOf(std::string_view path) {
  if (path.substr(0, kBalancesPrefix.size()) == kBalancesPrefix) {
    return Route{Endpoint::balances, "GET", true};
  }
  if (path.substr(0, kBase.size()) != kBase) return std::nullopt;
  std::string_view rest = path.substr(kBase.size());
  if (rest == "/login") return Route{Endpoint::logIn, "POST", false};
  if (rest == "/players") return Route{Endpoint::signUp, "POST", false};
  if (rest == "/list_games") return Route{Endpoint::listGames, "GET", true};
  if (rest == "/launch_game") return Route{Endpoint::launchGame, "POST", true};
  if (rest == "/currencies") return Route{Endpoint::currencies, "GET", false};
  return std::nullopt;
}

ApiResponse error(int status, const std::string& message) {
  return {status, Json{{"error", message}}.dump()};
}

template <typename Value>
ApiResponse result(int status, const Value& value) {
  OrderedJson envelope;
  envelope["result"] = value;
  return {status, envelope.dump()};
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The media type without parameters: "application/json; charset=utf-8" is JSON too.
bool isJsonContentType(std::string_view value) {
  return equalsIgnoringCase(trim(value.substr(0, value.find(';'))), "application/json");
}

// "Bearer <token>" gives the token, possibly empty; any other scheme gives nothing.
std::optional<std::string> bearerToken(std::string_view value) {
  value = trim(value);
  constexpr std::string_view kScheme = "Bearer";
  if (value.size() < kScheme.size() || !equalsIgnoringCase(value.substr(0, 6), kScheme)) {
    return std::nullopt;
  }
  std::string_view rest = value.substr(kScheme.size());
  if (!rest.empty() && rest.front() != ' ') return std::nullopt;
  return std::string(trim(rest));
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
  std::int64_t value = 0;
  auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

std::string utcNow(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, format, &parts);
  return buffer;
}

std::string timestamp() { return utcNow("%Y-%m-%dT%H:%M:%SZ"); }

// Query values of the launch addresses come from the client, so they are escaped.
std::string percentEncoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return encoded;
}

// Checks that `key`, when present and not null, holds the kind `isKind` accepts.
template <typename Predicate>
std::optional<std::string> kindError(const Json& body, const char* key, Predicate isKind,
                                     const char* kind) {
  auto found = body.find(key);
  if (found == body.end() || found->is_null() || isKind(*found)) return std::nullopt;
  return std::string("\"") + key + "\" must be " + kind;
}

bool isText(const Json& value) { return value.is_string(); }
bool isFlag(const Json& value) { return value.is_boolean(); }
bool isInteger(const Json& value) {
  if (value.is_number_unsigned()) {
    return value.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX);
  }
  return value.is_number_integer();
}

std::optional<std::string> textOf(const Json& body, const char* key) {
  auto found = body.find(key);
  if (found == body.end() || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

bool plausibleEmail(std::string_view email) {
  auto at = email.find('@');
  return at != std::string_view::npos && at > 0 && at + 1 < email.size() &&
         email.find_first_of(" \t\r\n") == std::string_view::npos;
}

constexpr const char* kSignUpTexts[] = {
    "company_id", "first_name", "last_name", "date_of_birth", "contact_number", "country",
    "address",    "city",       "post_code", "email",         "password",       "currency_id"};
constexpr const char* kSignUpFlags[] = {"offer_email", "email_verified", "id_verified"};

}  // namespace

std::optional<std::string> ApiRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoringCase(key, name)) return value;
  }
  return std::nullopt;
}

std::optional<std::string> ApiRequest::parameter(std::string_view name) const {
  for (const auto& [key, value] : query) {
    if (key == name) return value;
  }
  return std::nullopt;
}

const std::vector<DemoPlayer>& demoPlayers() {
  static const std::vector<DemoPlayer> players = {
      {"demo@velmar.example", "demo1234", "1001", "EUR", 1000.00},
      {"ana.moreau@velmar.example", "ana-sliema-91", "1002", "EUR", 1250.75},
      {"lars.nilsson@velmar.example", "lars-bergen-77", "1003", "SEK", 8420.50},
      {"emma.clarke@velmar.example", "emma-leeds-84", "1004", "GBP", 0.00},
  };
  return players;
}

PlatformApi::PlatformApi(std::uint64_t seed)
    : currenciesBody_([this] {
        std::string body = "{\"result\":[";
        for (const Currency& currency : catalogue_.currencies()) {
          if (body.back() != '[') body += ',';
          body += currency.json;
        }
        return body + "]}";
      }()),
      random_(seed != 0 ? seed : std::random_device{}()) {
  struct Profile {
    const char* first;
    const char* last;
    const char* country;
    const char* city;
  };
  static constexpr Profile kProfiles[] = {{"Demo", "Player", "MT", "Valletta"},
                                          {"Ana", "Moreau", "MT", "Sliema"},
                                          {"Lars", "Nilsson", "NO", "Bergen"},
                                          {"Emma", "Clarke", "GB", "Leeds"}};
  std::size_t index = 0;
  for (const DemoPlayer& demo : demoPlayers()) {
    const Profile& profile = kProfiles[index++ % std::size(kProfiles)];
    OrderedJson player;
    player["id"] = demo.id;
    player["company_id"] = "7";
    player["first_name"] = profile.first;
    player["last_name"] = profile.last;
    player["date_of_birth"] = "1990-01-01";
    player["country"] = profile.country;
    player["city"] = profile.city;
    player["email"] = demo.email;
    player["currency_id"] = catalogue_.currencyByAlphabeticCode(demo.currency)->numericCode;
    player["offer_email"] = false;
    player["email_verified"] = true;
    player["id_verified"] = true;
    player["created_at"] = "2026-01-05T10:00:00Z";
    player["updated_at"] = "2026-01-05T10:00:00Z";
    addAccount(std::move(player), demo.password, demo.currency, demo.amount);
  }
  nextPlayerId_ = 1001 + static_cast<std::int64_t>(demoPlayers().size());
}

PlatformApi::Account& PlatformApi::addAccount(OrderedJson player, std::string password,
                                              const std::string& currencyCode, double amount) {
  const std::string id = player["id"].get<std::string>();
  const Currency& currency = *catalogue_.currencyByAlphabeticCode(currencyCode);
  Account& account = accounts_[id];
  account.password = std::move(password);
  account.balance["id"] = std::to_string(nextBalanceId_++);
  account.balance["wallet_id"] = "w-" + id + "-" + lowerCase(currency.alphabeticCode);
  account.balance["period_year"] = utcNow("%Y");
  account.balance["period_month"] = utcNow("%m");
  account.balance["amount"] = amount;
  account.balance["player_id"] = id;
  account.balance["currency_id"] = currency.numericCode;
  account.balance["alphabetic_code"] = currency.alphabeticCode;
  account.balance["created_at"] = player["created_at"];
  account.balance["updated_at"] = player["updated_at"];
  idsByEmail_[lowerCase(player["email"].get<std::string>())] = id;
  account.player = std::move(player);
  return account;
}

ApiResponse PlatformApi::handle(const ApiRequest& request) {
  std::optional<Route> route = routeOf(request.path);
  if (!route) return error(404, "no such endpoint: " + request.path);
  if (request.method != route->method) {
    return error(405, request.method + " is not allowed on " + request.path);
  }

  if (request.header("Authentication-Type") != "default") {
    return error(400, "the Authentication-Type header must be \"default\"");
  }
  std::optional<std::string> contentType = request.header("Content-Type");
  if (!contentType || !isJsonContentType(*contentType)) {
    return error(400, "the Content-Type header must be \"application/json\"");
  }
  std::optional<std::string> playerId;
  if (route->needsSession) {
    playerId = sessionPlayer(request);
    if (!playerId) return error(401, "a valid bearer token is required");
  } else {
    std::optional<std::string> authorization = request.header("Authorization");
    if (!authorization || !bearerToken(*authorization)) {
      return error(400, "the Authorization header must be \"Bearer <token>\"");
    }
  }

  Json body;
  if (request.method == "POST") {
    body = Json::parse(request.body, nullptr, false);
    if (body.is_discarded()) return error(400, "the body is not valid JSON");
    if (!body.is_object()) return error(400, "the body must be a JSON object");
  }

  switch (route->endpoint) {
    case Endpoint::logIn:
      return logIn(body);
    case Endpoint::signUp:
      return signUp(body);
    case Endpoint::listGames:
      return listGames(request);
    case Endpoint::launchGame:
      return launchGame(*playerId, body);
    case Endpoint::balances:
      return balances(*playerId, std::string_view(request.path).substr(kBalancesPrefix.size()));
    case Endpoint::currencies:
      return {200, currenciesBody_};
  }
  return error(500, "unhandled endpoint");
}

std::optional<std::string> PlatformApi::sessionPlayer(const ApiRequest& request) const {
  std::optional<std::string> authorization = request.header("Authorization");
  if (!authorization) return std::nullopt;
  std::optional<std::string> token = bearerToken(*authorization);
  if (!token || token->empty()) return std::nullopt;
  std::lock_guard lock(mutex_);
  auto found = sessions_.find(*token);
  if (found == sessions_.end()) return std::nullopt;
  return found->second;
}

std::string PlatformApi::randomHex(std::size_t digits) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  while (text.size() < digits) {
    std::uint64_t bits = random_();
    for (int i = 0; i < 16 && text.size() < digits; ++i, bits >>= 4) text += kHex[bits & 15];
  }
  return text;
}

std::string PlatformApi::newSession(Account& account) {
  std::string token = randomHex(40);
  if (account.tokens.size() == kSessionsPerPlayer) {
    sessions_.erase(account.tokens.front());
    account.tokens.pop_front();
  }
  account.tokens.push_back(token);
  sessions_[token] = account.player["id"].get<std::string>();
  return token;
}

ApiResponse PlatformApi::logIn(const Json& body) {
  std::optional<std::string> email = textOf(body, "email");
  std::optional<std::string> password = textOf(body, "password");
  if (!email || !password) return error(400, "\"email\" and \"password\" must be strings");

  std::lock_guard lock(mutex_);
  auto id = idsByEmail_.find(lowerCase(*email));
  if (id == idsByEmail_.end() || accounts_.at(id->second).password != *password) {
    return error(401, "invalid e-mail or password");
  }
  Account& account = accounts_.at(id->second);
  OrderedJson session;
  session["token"] = newSession(account);
  session["player"] = account.player;
  return result(200, session);
}

ApiResponse PlatformApi::signUp(const Json& body) {
  for (const char* key : kSignUpTexts) {
    if (auto problem = kindError(body, key, isText, "a string")) return error(400, *problem);
  }
  for (const char* key : kSignUpFlags) {
    if (auto problem = kindError(body, key, isFlag, "true or false")) return error(400, *problem);
  }
  std::optional<std::string> email = textOf(body, "email");
  std::optional<std::string> password = textOf(body, "password");
  if (!email || !plausibleEmail(*email)) return error(400, "\"email\" must be an e-mail address");
  if (!password || password->empty()) return error(400, "\"password\" must not be empty");
  std::string currencyId = textOf(body, "currency_id").value_or("978");
  const Currency* currency = catalogue_.currencyByNumericCode(currencyId);
  if (currency == nullptr) return error(400, "unknown \"currency_id\": " + currencyId);

  std::lock_guard lock(mutex_);
  if (idsByEmail_.count(lowerCase(*email)) != 0) {
    return error(409, "a player with this e-mail is already registered");
  }
  const std::string now = timestamp();
  OrderedJson player;
  player["id"] = std::to_string(nextPlayerId_++);
  player["company_id"] = textOf(body, "company_id").value_or("7");
  for (const char* key : {"first_name", "last_name", "date_of_birth", "contact_number", "country",
                          "address", "city", "post_code"}) {
    if (auto value = textOf(body, key)) player[key] = *value;
  }
  player["email"] = *email;
  player["currency_id"] = currencyId;
  auto offers = body.find("offer_email");
  player["offer_email"] = offers != body.end() && offers->is_boolean() && offers->get<bool>();
  // Verification is the platform's to grant, whatever the form claims.
  player["email_verified"] = false;
  player["id_verified"] = false;
  player["created_at"] = now;
  player["updated_at"] = now;
  Account& account = addAccount(std::move(player), *password, currency->alphabeticCode, 0.0);
  return result(201, account.player);
}

ApiResponse PlatformApi::listGames(const ApiRequest& request) const {
  std::int64_t page = 1;
  std::int64_t perPage = kDefaultPerPage;
  if (auto text = request.parameter("page")) {
    auto value = parseInteger(*text);
    if (!value || *value < 1) return error(400, "\"page\" must be a whole number from 1");
    page = *value;
  }
  if (auto text = request.parameter("per_page")) {
    auto value = parseInteger(*text);
    if (!value || *value < 1 || *value > kMaxPerPage) {
      return error(400,
                   "\"per_page\" must be a whole number from 1 to " + std::to_string(kMaxPerPage));
    }
    perPage = *value;
  }
  const auto& games = catalogue_.games();
  const auto total = static_cast<std::int64_t>(games.size());
  // Pages past the end are empty; the division keeps huge page numbers from overflowing.
  const std::int64_t first =
      page - 1 < (total + perPage - 1) / perPage ? (page - 1) * perPage : total;
  const std::int64_t last = std::min(total, first + perPage);
  std::string body = "{\"result\":[";
  for (std::int64_t i = first; i < last; ++i) {
    if (i != first) body += ',';
    body += games[static_cast<std::size_t>(i)].json;
  }
  body += "]}";
  return {200, std::move(body)};
}

ApiResponse PlatformApi::launchGame(const std::string& playerId, const Json& body) {
  for (const char* key :
       {"game_id", "provider_slug", "user_language", "user_currency", "lobby_url"}) {
    if (auto problem = kindError(body, key, isText, "a string")) return error(400, *problem);
  }
  for (const char* key : {"user_id", "provider_id", "is_mobile"}) {
    if (auto problem = kindError(body, key, isInteger, "an integer")) return error(400, *problem);
  }
  if (auto problem = kindError(body, "is_demo", isFlag, "true or false")) {
    return error(400, *problem);
  }
  std::optional<std::string> gameId = textOf(body, "game_id");
  if (!gameId) return error(400, "\"game_id\" is required");
  const Game* game = catalogue_.findGame(*gameId);
  if (game == nullptr) return error(404, "no such game: " + *gameId);
  const Provider& provider = catalogue_.providers()[game->provider];
  auto providerId = body.find("provider_id");
  auto providerSlug = textOf(body, "provider_slug");
  if ((providerId != body.end() && !providerId->is_null() &&
       providerId->get<std::int64_t>() != provider.id) ||
      (providerSlug && *providerSlug != provider.slug)) {
    return error(404, "the game " + *gameId + " is not offered by that provider");
  }
  const std::int64_t userId = std::stoll(playerId);
  auto claimedUser = body.find("user_id");
  if (claimedUser != body.end() && !claimedUser->is_null() &&
      claimedUser->get<std::int64_t>() != userId) {
    return error(403, "\"user_id\" belongs to another player");
  }
  std::string currency = textOf(body, "user_currency").value_or("EUR");
  if (catalogue_.currencyByAlphabeticCode(currency) == nullptr) {
    return error(400, "unknown \"user_currency\": " + currency);
  }

  std::string gameToken;
  std::string sessionToken;
  {
    std::lock_guard lock(mutex_);
    gameToken = "gt-" + randomHex(12);
    sessionToken = "sess-" + randomHex(16);
  }
  const std::string address =
      "https://play.velmar.example/" + provider.slug + "/" + game->slug +
      "?lang=" + percentEncoded(textOf(body, "user_language").value_or("en")) +
      "&currency=" + currency + "&lobby=" + percentEncoded(textOf(body, "lobby_url").value_or(""));
  OrderedJson launch;
  launch["user_id"] = userId;
  launch["game_id"] = game->gameId;
  launch["game_token"] = gameToken;
  launch["play_for_real"] = address + "&mode=real&token=" + gameToken;
  launch["play_for_fun"] = address + "&mode=fun";
  launch["session_id_token"] = sessionToken;
  return result(200, launch);
}

ApiResponse PlatformApi::balances(const std::string& playerId, std::string_view requestedId) const {
  // A session sees its own wallet only; whether another id exists is not revealed.
  if (requestedId != playerId) {
    return error(403, "the bearer token does not belong to player " + std::string(requestedId));
  }
  std::lock_guard lock(mutex_);
  return result(200, OrderedJson::array({accounts_.at(playerId).balance}));
}

}  // namespace velmar::sandbox
