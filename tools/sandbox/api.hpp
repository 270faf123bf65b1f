#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "catalogue.hpp"

namespace velmar::sandbox {

// One request as the platform sees it, free of any HTTP library's types.
struct ApiRequest {
  std::string method;                                        // upper case
  std::string path;                                          // decoded, without the query
  std::vector<std::pair<std::string, std::string>> query;    // decoded, in order
  std::vector<std::pair<std::string, std::string>> headers;  // names in any case
  std::string body;

  // The first value of the header `name` (any case), or nothing.
  std::optional<std::string> header(std::string_view name) const;
  // The first value of the query parameter `name`, or nothing.
  std::optional<std::string> parameter(std::string_view name) const;
};

// What the platform answers: a status and a JSON body.
struct ApiResponse {
  int status = 200;
  std::string body;
};

// A player that exists from the start, so a fresh sandbox can be logged into at once.
struct DemoPlayer {
  std::string email;
  std::string password;
  std::string id;
  std::string currency;  // alphabetic code of the player's one balance
  double amount = 0;     // that balance
};

// The seeded players, in id order.
const std::vector<DemoPlayer>& demoPlayers();

// The platform's REST API under "/api/v1": players, sessions, catalogue, launches, balances
// and currencies, all in memory. Safe to call from any number of threads at once.
class PlatformApi {
 public:
  // `seed` drives the tokens the platform hands out; 0 draws a fresh one.
  explicit PlatformApi(std::uint64_t seed = 0);

  ApiResponse handle(const ApiRequest& request);

  const Catalogue& catalogue() const { return catalogue_; }

 private:
  using OrderedJson = nlohmann::ordered_json;

  struct Account {
    std::string password;
    OrderedJson player;
    OrderedJson balance;
    std::deque<std::string> tokens;  // the player's live sessions, oldest first
  };

  ApiResponse logIn(const nlohmann::json& body);
  ApiResponse signUp(const nlohmann::json& body);
  ApiResponse listGames(const ApiRequest& request) const;
  ApiResponse launchGame(const std::string& playerId, const nlohmann::json& body);
  ApiResponse balances(const std::string& playerId, std::string_view requestedId) const;

  // The player id of a live session named by the request's bearer token, if any.
  std::optional<std::string> sessionPlayer(const ApiRequest& request) const;
  std::string newSession(Account& account);
  std::string randomHex(std::size_t digits);
  Account& addAccount(OrderedJson player, std::string password, const std::string& currency,
                      double amount);

  const Catalogue catalogue_;
  const std::string currenciesBody_;

  mutable std::mutex mutex_;
  std::map<std::string, Account> accounts_;                // by player id
  std::map<std::string, std::string> idsByEmail_;          // lower-case e-mail to player id
  std::unordered_map<std::string, std::string> sessions_;  // token to player id
  std::int64_t nextPlayerId_ = 0;
  std::int64_t nextBalanceId_ = 88001;
  std::mt19937_64 random_;
};

}  // namespace velmar::sandbox
