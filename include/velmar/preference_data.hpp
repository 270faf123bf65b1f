#pragma once

// The player's credentials as the use cases read and write them.

#include <optional>
#include <string>

#include "velmar/export.hpp"

namespace velmar {

/// The logged-in player's credentials, kept between runs. Hosts may implement it to keep them
/// elsewhere, or to fake them in tests.
class VELMAR_EXPORT PreferenceDataSource {
 public:
  virtual ~PreferenceDataSource();
  /// Writes all four, or nothing when any is absent.
  virtual void saveUserData(const std::optional<std::string>& email,
                            const std::optional<std::string>& password,
                            const std::optional<std::string>& token,
                            const std::optional<std::string>& userId) = 0;
  /// The stored e-mail, or "" when none is stored.
  virtual std::string getEmail() = 0;
  /// The stored password, or "".
  virtual std::string getPassword() = 0;
  /// The stored access token, or "".
  virtual std::string getToken() = 0;
  /// The stored user id, or "".
  virtual std::string getUserId() = 0;
  /// Erases the four values.
  virtual void removeUserData() = 0;
};

/// The default: every call goes to `KeychainWrapper::standard()`, so instances are
/// interchangeable.
class VELMAR_EXPORT PreferenceData : public PreferenceDataSource {
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
