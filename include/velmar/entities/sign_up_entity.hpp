#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "velmar/entities/json_coding.hpp"
#include "velmar/export.hpp"
#include "velmar/types.hpp"

namespace velmar {

/// The registration form a host fills in to register a new player.
class VELMAR_EXPORT SignUpEntity {
 public:
  /// Stores each argument unchanged: nothing is validated, trimmed or normalised.
  SignUpEntity(std::optional<std::string> companyID = std::nullopt,
               std::optional<std::string> firstName = std::nullopt,
               std::optional<std::string> lastName = std::nullopt,
               std::optional<std::string> dateOfBirth = std::nullopt,
               std::optional<std::string> contactNumber = std::nullopt,
               std::optional<std::string> country = std::nullopt,
               std::optional<std::string> address = std::nullopt,
               std::optional<std::string> city = std::nullopt,
               std::optional<std::string> postCode = std::nullopt,
               std::optional<std::string> email = std::nullopt,
               std::optional<std::string> password = std::nullopt,
               std::optional<std::string> currencyID = std::nullopt,
               std::optional<bool> offerEmail = std::nullopt,
               std::optional<bool> emailVerified = std::nullopt,
               std::optional<bool> idVerified = std::nullopt);

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
  /// "password": the chosen password, sent in plain text.
  const std::optional<std::string>& password() const noexcept { return password_; }
  /// "currency_id": the wallet currency's identifier.
  const std::optional<std::string>& currencyID() const noexcept { return currencyID_; }
  /// "offer_email": whether the player accepts offers by e-mail.
  const std::optional<bool>& offerEmail() const noexcept { return offerEmail_; }
  /// "email_verified": whether the e-mail address is verified.
  const std::optional<bool>& emailVerified() const noexcept { return emailVerified_; }
  /// "id_verified": whether the identity is verified.
  const std::optional<bool>& idVerified() const noexcept { return idVerified_; }

  /// Reads the record from a JSON value; throws DecodingError naming the key that failed.
  static SignUpEntity decode(const nlohmann::json& value);
  /// The JSON object of the present fields; absent fields are omitted, never null.
  nlohmann::json encode() const;
  /// The compact JSON text as UTF-8 bytes; throws EncodingError for text that is not UTF-8.
  Bytes jsonData() const;
  /// The JSON text read in `encoding`; absent when the bytes are not valid in it. Throws
  /// EncodingError as `jsonData` does.
  std::optional<std::string> jsonString(StringEncoding encoding = StringEncoding::utf8) const;
  /// The present fields keyed by their JSON keys; absent when encoding fails. Never throws.
  std::optional<nlohmann::json> jsonDictonary() const;

  friend bool operator==(const SignUpEntity&, const SignUpEntity&) = default;

 private:
  template <typename>
  friend struct internal::RecordSchema;

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
  std::optional<std::string> password_;
  std::optional<std::string> currencyID_;
  std::optional<bool> offerEmail_;
  std::optional<bool> emailVerified_;
  std::optional<bool> idVerified_;
};

/// Lets a host write `nlohmann::json j = record;`.
VELMAR_EXPORT void to_json(nlohmann::json& out, const SignUpEntity& record);
/// Lets a host write `j.get<SignUpEntity>()`, which throws DecodingError.
VELMAR_EXPORT void from_json(const nlohmann::json& in, SignUpEntity& record);

}  // namespace velmar
