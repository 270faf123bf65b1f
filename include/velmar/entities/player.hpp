#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "velmar/entities/json_coding.hpp"
#include "velmar/export.hpp"
#include "velmar/types.hpp"

namespace velmar {

/// The player's profile as the platform returns it.
class VELMAR_EXPORT Player {
 public:
  /// A record with every field absent, as decoding `{}` gives.
  Player() = default;

  /// "id": the player's identifier.
  const std::optional<std::string>& identifier() const noexcept { return identifier_; }
  /// "company_id": the operator company's identifier.
  const std::optional<std::string>& companyID() const noexcept { return companyID_; }
  /// "first_name": given name.
  const std::optional<std::string>& firstName() const noexcept { return firstName_; }
  /// "last_name": family name.
  const std::optional<std::string>& lastName() const noexcept { return lastName_; }
  /// "date_of_birth": date of birth, as received.
  const std::optional<std::string>& dateOfBirth() const noexcept { return dateOfBirth_; }
  /// "contact_number": telephone number.
  const std::optional<std::string>& contactNumber() const noexcept { return contactNumber_; }
  /// "country": country.
  const std::optional<std::string>& country() const noexcept { return country_; }
  /// "address": postal address.
  const std::optional<std::string>& address() const noexcept { return address_; }
  /// "city": city.
  const std::optional<std::string>& city() const noexcept { return city_; }
  /// "post_code": postal code.
  const std::optional<std::string>& postCode() const noexcept { return postCode_; }
  /// "email": e-mail address.
  const std::optional<std::string>& email() const noexcept { return email_; }
  /// "currency_id": the wallet currency's identifier.
  const std::optional<std::string>& currencyID() const noexcept { return currencyID_; }
  /// "offer_email": whether the player accepts offers by e-mail.
  const std::optional<bool>& offerEmail() const noexcept { return offerEmail_; }
  /// "email_verified": whether the e-mail address is verified.
  const std::optional<bool>& emailVerified() const noexcept { return emailVerified_; }
  /// "id_verified": whether the identity is verified.
  const std::optional<bool>& idVerified() const noexcept { return idVerified_; }
  /// "created_at": creation time, as received.
  const std::optional<std::string>& createdAt() const noexcept { return createdAt_; }
  /// "updated_at": last update time, as received.
  const std::optional<std::string>& updatedAt() const noexcept { return updatedAt_; }

  /// Reads the record from a JSON value; throws DecodingError naming the key that failed.
  static Player decode(const nlohmann::json& value);
  /// The JSON object of the present fields; absent fields are omitted, never null.
  nlohmann::json encode() const;

  friend bool operator==(const Player&, const Player&) = default;

 private:
  template <typename>
  friend struct internal::RecordSchema;

  std::optional<std::string> identifier_;
  std::optional<std::string> companyID_;
  std::optional<std::string> firstName_;
  std::optional<std::string> lastName_;
  std::optional<std::string> dateOfBirth_;
  std::optional<std::string> contactNumber_;
  std::optional<std::string> country_;
  std::optional<std::string> address_;
  std::optional<std::string> city_;
  std::optional<std::string> postCode_;
  std::optional<std::string> email_;
  std::optional<std::string> currencyID_;
  std::optional<bool> offerEmail_;
  std::optional<bool> emailVerified_;
  std::optional<bool> idVerified_;
  std::optional<std::string> createdAt_;
  std::optional<std::string> updatedAt_;
};

/// Lets a host write `nlohmann::json j = record;`.
VELMAR_EXPORT void to_json(nlohmann::json& out, const Player& record);
/// Lets a host write `j.get<Player>()`, which throws DecodingError.
VELMAR_EXPORT void from_json(const nlohmann::json& in, Player& record);

}  // namespace velmar
