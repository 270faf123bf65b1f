#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "velmar/export.hpp"

namespace velmar {

/// Key of the logged-in player's e-mail address in the credential store.
inline constexpr std::string_view kEmailKey = "email";
/// Key of the player's password, kept so a later run can log in again.
inline constexpr std::string_view kPasswordKey = "password";
/// Key of the session token every request carries.
inline constexpr std::string_view kTokenKey = "token";
/// Key of the player's id on the platform.
inline constexpr std::string_view kUserIdKey = "userId";

/// Where credentials are kept: text values by key, surviving restarts of the host.
/// Implementations are thread-safe.
class VELMAR_EXPORT KeyStore {
 public:
  virtual ~KeyStore() = default;
  /// Stores `value` under `key`, replacing any earlier value. False when it could not.
  virtual bool set(const std::string& value, const std::string& key) = 0;
  /// The text under `key`, or absent when nothing is stored or it cannot be read.
  virtual std::optional<std::string> string(const std::string& key) = 0;
  /// Removes `key`'s value; removing a missing key succeeds. False when it could not.
  virtual bool removeObject(const std::string& key) = 0;

  /// A key and the value to store under it.
  using Entry = std::pair<std::string, std::string>;
  /// Stores every entry or none: when one write fails, the earlier values are put back and
  /// the result is false. The default writes one by one; a backend that can replace them in
  /// one step overrides it.
  virtual bool setAll(const std::vector<Entry>& entries);
  /// Removes every key or none, as `setAll` does.
  virtual bool removeAll(const std::vector<std::string>& keys);
};

/// Keeps values in memory for the life of the process; for tests and throwaway sessions.
class VELMAR_EXPORT MemoryKeyStore : public KeyStore {
 public:
  bool set(const std::string& value, const std::string& key) override;
  std::optional<std::string> string(const std::string& key) override;
  bool removeObject(const std::string& key) override;
  bool setAll(const std::vector<Entry>& entries) override;
  bool removeAll(const std::vector<std::string>& keys) override;

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, std::string> values_;
};

/// Keeps values in one private file (mode 0600 in a 0700 directory), replaced atomically on
/// every write so a crash never leaves a torn file; the batch operations are one replacement.
/// A file that cannot be read holds nothing; a store left with nothing has no file.
class VELMAR_EXPORT FileKeyStore : public KeyStore {
 public:
  /// `$XDG_DATA_HOME/velmar/credentials.json`, or `~/.local/share/velmar/credentials.json`.
  static std::filesystem::path defaultPath();

  /// A store over the file at `path`; nothing is read or created until the first use.
  explicit FileKeyStore(std::filesystem::path path = defaultPath());
  ~FileKeyStore() override;

  bool set(const std::string& value, const std::string& key) override;
  std::optional<std::string> string(const std::string& key) override;
  bool removeObject(const std::string& key) override;
  bool setAll(const std::vector<Entry>& entries) override;
  bool removeAll(const std::vector<std::string>& keys) override;

  /// The file this store reads and writes.
  const std::filesystem::path& path() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// Keeps values in the desktop's Secret Service (GNOME Keyring, KWallet) through libsecret.
class VELMAR_EXPORT SecretServiceKeyStore : public KeyStore {
 public:
  /// True when a Secret Service answers within `deadline` with an unlocked default
  /// collection. Never prompts; gives up at the deadline instead of blocking.
  static bool available(std::chrono::milliseconds deadline = std::chrono::milliseconds(2000));

  bool set(const std::string& value, const std::string& key) override;
  std::optional<std::string> string(const std::string& key) override;
  bool removeObject(const std::string& key) override;
};

/// The credential store the SDK uses: one process-wide instance over a `KeyStore` backend.
/// The backend is chosen on first use: the `VELMAR_KEYSTORE` environment variable
/// (`secret-service`, `file:PATH`, `memory`) wins; then the host's `setBackend` choice; then
/// the Secret Service where one answers (credentials found in the default file move into it,
/// and it stays this account's home: while it does not answer, nothing is read and every
/// write fails), else the default file store. After the first read of a key its value comes
/// from memory, kept current by the writes made through this wrapper.
class VELMAR_EXPORT KeychainWrapper {
 public:
  /// The process-wide instance.
  static KeychainWrapper& standard();

  /// Chooses the backend explicitly; call before the first credential is read or written.
  void setBackend(std::shared_ptr<KeyStore> backend);
  /// The backend in use, choosing it now if nothing has used it yet.
  std::shared_ptr<KeyStore> backend();

  /// Stores `value` under `key`. False when the backend could not.
  bool set(const std::string& value, const std::string& forKey);
  /// The text under `key`, or absent.
  std::optional<std::string> string(const std::string& forKey);
  /// Removes `key`'s value. False when the backend could not.
  bool removeObject(const std::string& forKey);
  /// Stores every entry or none. False when the backend could not.
  bool setAll(const std::vector<KeyStore::Entry>& entries);
  /// Removes every key or none. False when the backend could not.
  bool removeAll(const std::vector<std::string>& keys);

 private:
  std::shared_ptr<KeyStore>& chosenBackend();

  std::mutex mutex_;
  std::shared_ptr<KeyStore> backend_;
  std::unordered_map<std::string, std::optional<std::string>> cache_;
};

}  // namespace velmar
