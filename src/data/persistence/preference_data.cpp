#include "velmar/preference_data.hpp"

#include "support/constants.hpp"
#include "velmar/key_store.hpp"

namespace velmar {
namespace {

std::string key(Constants constant) { return std::string(rawValue(constant)); }

std::string read(Constants constant) {
  return KeychainWrapper::standard().string(key(constant)).value_or("");
}

}  // namespace

PreferenceDataSource::~PreferenceDataSource() = default;

void PreferenceData::saveUserData(const std::optional<std::string>& email,
                                  const std::optional<std::string>& password,
                                  const std::optional<std::string>& token,
                                  const std::optional<std::string>& userId) {
  if (!email || !password || !token || !userId) return;
  // One unit: a refused value must not leave a new e-mail and token beside an old password.
  KeychainWrapper::standard().setAll({{key(Constants::EMAIL), *email},
                                      {key(Constants::PASSWORD), *password},
                                      {key(Constants::TOKEN), *token},
                                      {key(Constants::USERID), *userId}});
}

std::string PreferenceData::getEmail() { return read(Constants::EMAIL); }
std::string PreferenceData::getPassword() { return read(Constants::PASSWORD); }
std::string PreferenceData::getToken() { return read(Constants::TOKEN); }
std::string PreferenceData::getUserId() { return read(Constants::USERID); }

void PreferenceData::removeUserData() {
  KeychainWrapper::standard().removeAll({key(Constants::EMAIL), key(Constants::PASSWORD),
                                         key(Constants::TOKEN), key(Constants::USERID)});
}

}  // namespace velmar
