#include "data/network/repository.hpp"

#include <charconv>
#include <optional>
#include <utility>

#include "support/constants.hpp"
#include "support/json.hpp"
#include "velmar/preference_data.hpp"
#include "platform/http_url.hpp"

namespace velmar {
namespace {

// Header values every request carries.
struct Credentials {
  static constexpr std::string_view AUTHENTICATIONTYPE = "default";
  static constexpr std::string_view CONTENTTYPE = "application/json";
};

std::int64_t perPage() {
  const std::string_view text = rawValue(Constants::PERPAGE);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return 50;
  return value;
}

// The Authorization value for the token stored right now. A token that would break the header
// line is sent as none: the transport would refuse the request outright, every log-in
// included, and the player could never replace it.
std::string bearer() {
  std::string token = PreferenceData().getToken();
  if (token.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) token.clear();
  return "Bearer " + token;
}

struct Route {
  std::string_view method;
  std::string_view path;
  std::string suffix;
  std::optional<nlohmann::json> parameters;
};

Route routeOf(const Repository::Case& value) {
  struct Visitor {
    Route operator()(const Repository::LogIn& c) const {
      return {"POST", "/login", "", nlohmann::json{{"email", c.email}, {"password", c.password}}};
    }
    Route operator()(const Repository::SignUp& c) const {
      return {"POST", "/players", "", c.userInformation};
    }
    Route operator()(const Repository::GetGamesList& c) const {
      return {"GET", "/list_games",
              "?page=" + std::to_string(c.pageNumber) + "&per_page=" + std::to_string(perPage()),
              std::nullopt};
    }
    Route operator()(const Repository::LaunchGame& c) const {
      return {"POST", "/launch_game", "", c.gameInformation};
    }
    Route operator()(const Repository::GetBalance& c) const {
      return {"GET", "/balances/player", "/" + c.playerId, std::nullopt};
    }
    Route operator()(const Repository::GetCurrencies&) const {
      return {"GET", "/currencies", "", std::nullopt};
    }
  };
  return std::visit(Visitor{}, value);
}

}  // namespace

Repository Repository::logIn(std::string email, std::string password) {
  return Repository(LogIn{std::move(email), std::move(password)});
}
Repository Repository::signUp(nlohmann::json userInformation) {
  return Repository(SignUp{std::move(userInformation)});
}
Repository Repository::getGamesList(std::int64_t pageNumber) {
  return Repository(GetGamesList{pageNumber});
}
Repository Repository::launchGame(nlohmann::json gameInformation) {
  return Repository(LaunchGame{std::move(gameInformation)});
}
Repository Repository::getBalance(std::string playerId) {
  return Repository(GetBalance{std::move(playerId)});
}
Repository Repository::getCurrencies() { return Repository(GetCurrencies{}); }

bool isSafePathSegment(std::string_view playerId) {
  // Dot segments are folded by URL normalisation into "stay" or "go up one level".
  if (playerId == "." || playerId == "..") return false;
  // Only what a path segment may hold as written; '%' is left out too, since an escape would
  // be decoded by the server into a character the id could not carry itself.
  constexpr std::string_view allowedPunctuation = "-._~!$&'()*+,;=:@";
  for (const char c : playerId) {
    const bool alphanumeric =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alphanumeric && allowedPunctuation.find(c) == std::string_view::npos) return false;
  }
  return true;
}

Result<http::Request, RepositoryError> Repository::asURLRequest() const {
  using Outcome = Result<http::Request, RepositoryError>;
  if (const auto* balance = std::get_if<GetBalance>(&value_);
      balance != nullptr && !isSafePathSegment(balance->playerId)) {
    return Outcome::failure(RepositoryError::invalidURL);
  }
  Route route = routeOf(value_);
  std::string url(rawValue(APIEnvironment::shared().apiEnvironment()));
  url.append(route.path).append(route.suffix);
  if (!http::isValidURL(url)) return Outcome::failure(RepositoryError::invalidURL);

  http::Request request;
  request.method = std::string(route.method);
  request.url = std::move(url);
  request.cachePolicy = http::CachePolicy::useProtocolCachePolicy;
  request.timeout = std::chrono::seconds(60);
  // A body that cannot be written is left out; the request still goes.
  if (route.parameters) request.body = json::write(*route.parameters);
  request.headers = {
      {"Authentication-Type", std::string(Credentials::AUTHENTICATIONTYPE)},
      {"Content-Type", std::string(Credentials::CONTENTTYPE)},
      {"Authorization", bearer()},
  };
  return Outcome::success(std::move(request));
}

}  // namespace velmar
