#pragma once

// The record members that only the SDK uses: a host can neither name nor link them.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>

#include "velmar/entities/balance_entity.hpp"
#include "velmar/entities/launch_game_entity.hpp"

namespace velmar::internal {

struct RecordAccess {
  static const std::optional<double>& amount(const BalanceEntity& balance) {
    return balance.amount_;
  }
  static std::optional<double>& amount(BalanceEntity& balance) { return balance.amount_; }
  static const std::optional<std::string>& walletID(const BalanceEntity& balance) {
    return balance.walletID_;
  }

  template <typename... Fields>
  static LaunchGameEntity launchGame(Fields&&... fields) {
    return LaunchGameEntity(std::forward<Fields>(fields)...);
  }
  // The JSON form of a request record, whether or not the record shows it to hosts.
  template <typename Entity>
  static std::optional<nlohmann::json> jsonDictonary(const Entity& entity) {
    return entity.jsonDictonary();
  }
};

}  // namespace velmar::internal
