#include "velmar/entities/balance_entity.hpp"

#include "support/json_codable_management.hpp"
#include "support/entities/record_schemas.hpp"

namespace velmar {

BalanceEntity::BalanceEntity(
    std::optional<std::string> identifier, std::optional<std::string> walletID,
    std::optional<std::string> periodYear, std::optional<std::string> periodMonth,
    std::optional<double> amount, std::optional<std::string> playerID,
    std::optional<std::string> currencyID, std::optional<std::string> alphabeticCode,
    std::optional<std::string> createdAt, std::optional<std::string> updatedAt)
    : identifier_(std::move(identifier)),
      walletID_(std::move(walletID)),
      periodYear_(std::move(periodYear)),
      periodMonth_(std::move(periodMonth)),
      amount_(std::move(amount)),
      playerID_(std::move(playerID)),
      currencyID_(std::move(currencyID)),
      alphabeticCode_(std::move(alphabeticCode)),
      createdAt_(std::move(createdAt)),
      updatedAt_(std::move(updatedAt)) {}

const std::optional<std::string>& BalanceEntity::identifier() const noexcept { return identifier_; }
const std::optional<std::string>& BalanceEntity::walletID() const noexcept { return walletID_; }
const std::optional<std::string>& BalanceEntity::periodYear() const noexcept { return periodYear_; }
const std::optional<std::string>& BalanceEntity::periodMonth() const noexcept {
  return periodMonth_;
}
const std::optional<double>& BalanceEntity::amount() const noexcept { return amount_; }
const std::optional<std::string>& BalanceEntity::playerID() const noexcept { return playerID_; }
const std::optional<std::string>& BalanceEntity::currencyID() const noexcept { return currencyID_; }
const std::optional<std::string>& BalanceEntity::alphabeticCode() const noexcept {
  return alphabeticCode_;
}
const std::optional<std::string>& BalanceEntity::createdAt() const noexcept { return createdAt_; }
const std::optional<std::string>& BalanceEntity::updatedAt() const noexcept { return updatedAt_; }

BalanceEntity BalanceEntity::decode(const nlohmann::json& value) {
  return codec::decodeOrThrow<BalanceEntity>(codec::NlohmannReader(value));
}

nlohmann::json BalanceEntity::encode() const { return codec::encodeRecord(*this); }

Bytes BalanceEntity::jsonData() const { return codec::jsonData(*this); }

std::optional<std::string> BalanceEntity::jsonString(StringEncoding encoding) const {
  return codec::jsonString(*this, encoding);
}

void to_json(nlohmann::json& out, const BalanceEntity& record) { out = record.encode(); }

void from_json(const nlohmann::json& in, BalanceEntity& record) {
  record = BalanceEntity::decode(in);
}

}  // namespace velmar
