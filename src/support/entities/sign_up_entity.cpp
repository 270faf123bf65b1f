#include "velmar/entities/sign_up_entity.hpp"

#include "support/json_codable_management.hpp"
#include "support/entities/record_schemas.hpp"

namespace velmar {

SignUpEntity::SignUpEntity(std::optional<std::string> companyID,
                           std::optional<std::string> firstName,
                           std::optional<std::string> lastName,
                           std::optional<std::string> dateOfBirth,
                           std::optional<std::string> contactNumber,
                           std::optional<std::string> country, std::optional<std::string> address,
                           std::optional<std::string> city, std::optional<std::string> postCode,
                           std::optional<std::string> email, std::optional<std::string> password,
                           std::optional<std::string> currencyID, std::optional<bool> offerEmail,
                           std::optional<bool> emailVerified, std::optional<bool> idVerified)
    : companyID_(std::move(companyID)),
      firstName_(std::move(firstName)),
      lastName_(std::move(lastName)),
      dateOfBirth_(std::move(dateOfBirth)),
      contactNumber_(std::move(contactNumber)),
      country_(std::move(country)),
      address_(std::move(address)),
      city_(std::move(city)),
      postCode_(std::move(postCode)),
      email_(std::move(email)),
      password_(std::move(password)),
      currencyID_(std::move(currencyID)),
      offerEmail_(std::move(offerEmail)),
      emailVerified_(std::move(emailVerified)),
      idVerified_(std::move(idVerified)) {}

SignUpEntity SignUpEntity::decode(const nlohmann::json& value) {
  return codec::decodeOrThrow<SignUpEntity>(codec::NlohmannReader(value));
}

nlohmann::json SignUpEntity::encode() const { return codec::encodeRecord(*this); }

Bytes SignUpEntity::jsonData() const { return codec::jsonData(*this); }

std::optional<std::string> SignUpEntity::jsonString(StringEncoding encoding) const {
  return codec::jsonString(*this, encoding);
}

std::optional<nlohmann::json> SignUpEntity::jsonDictonary() const {
  return codec::jsonDictonary(*this);
}

void to_json(nlohmann::json& out, const SignUpEntity& record) { out = record.encode(); }

void from_json(const nlohmann::json& in, SignUpEntity& record) {
  record = SignUpEntity::decode(in);
}

}  // namespace velmar
