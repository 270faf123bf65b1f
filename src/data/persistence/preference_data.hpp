#pragma once

#include <optional>
#include <string>

namespace velmar {

// The logged-in player's credentials, kept in the key store between runs.
class PreferenceDataSource {
 public:
  virtual ~PreferenceDataSource() = default;
  // Writes all four, or nothing when any is absent.
  virtual void saveUserData(const std::optional<std::string>& email,
                            const std::optional<std::string>& password,
                            const std::optional<std::string>& token,
                            const std::optional<std::string>& userId) = 0;
  // Each getter gives the empty text when nothing is stored.
  virtual std::string getEmail() = 0;
  virtual std::string getPassword() = 0;
  virtual std::string getToken() = 0;
  virtual std::string getUserId() = 0;
  virtual void removeUserData() = 0;
};

// Stateless: every call goes to KeychainWrapper::standard(), so instances are interchangeable.
class PreferenceData : public PreferenceDataSource {
 public:
  void saveUserData(const std::optional<std::string>& email,
                    const std::optional<std::string>& password,
                    const std::optional<std::string>& token,
                    const std::optional<std::string>& userId) override;
  std::string getEmail() override;
  std::string getPassword() override;
  std::string getToken() override;
  std::string getUserId() override;
  void removeUserData() override;
};

}  // namespace velmar
