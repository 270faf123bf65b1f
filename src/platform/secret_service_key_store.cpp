// Placeholder until the Secret Service store lands; replaced by the key-store work.
#include "velmar/key_store.hpp"

namespace velmar {
bool SecretServiceKeyStore::available(std::chrono::milliseconds) { return false; }
bool SecretServiceKeyStore::set(const std::string&, const std::string&) { return false; }
std::optional<std::string> SecretServiceKeyStore::string(const std::string&) {
  return std::nullopt;
}
bool SecretServiceKeyStore::removeObject(const std::string&) { return false; }
}  // namespace velmar
