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
  auto& store = KeychainWrapper::standard();
  // Four independent writes, results ignored: a failed write keeps the earlier value.
  store.set(*email, key(Constants::EMAIL));
  store.set(*password, key(Constants::PASSWORD));
  store.set(*token, key(Constants::TOKEN));
  store.set(*userId, key(Constants::USERID));
}

std::string PreferenceData::getEmail() { return read(Constants::EMAIL); }
std::string PreferenceData::getPassword() { return read(Constants::PASSWORD); }
std::string PreferenceData::getToken() { return read(Constants::TOKEN); }
std::string PreferenceData::getUserId() { return read(Constants::USERID); }

void PreferenceData::removeUserData() {
  auto& store = KeychainWrapper::standard();
  for (auto constant : {Constants::EMAIL, Constants::PASSWORD, Constants::TOKEN,
                        Constants::USERID}) {
    store.removeObject(key(constant));
  }
}

}  // namespace velmar
