#include <cstdlib>
#include <string_view>

#include "support/no_destructor.hpp"
#include "velmar/key_store.hpp"

namespace velmar {

// Writes one by one, then puts back what was there, newest first, if any write fails.
bool KeyStore::setAll(const std::vector<Entry>& entries) {
  std::vector<std::pair<std::string, std::optional<std::string>>> earlier;
  earlier.reserve(entries.size());
  for (const auto& [key, value] : entries) {
    earlier.emplace_back(key, string(key));
    if (set(value, key)) continue;
    for (auto it = earlier.rbegin(); it != earlier.rend(); ++it) {
      if (it->second) {
        set(*it->second, it->first);
      } else {
        removeObject(it->first);
      }
    }
    return false;
  }
  return true;
}

bool KeyStore::removeAll(const std::vector<std::string>& keys) {
  std::vector<Entry> earlier;
  for (const auto& key : keys) {
    auto value = string(key);
    if (removeObject(key)) {
      if (value) earlier.emplace_back(key, std::move(*value));
      continue;
    }
    for (auto it = earlier.rbegin(); it != earlier.rend(); ++it) set(it->second, it->first);
    return false;
  }
  return true;
}

namespace {

// VELMAR_KEYSTORE lets tools and tests pin the backend without touching the host's code.
std::shared_ptr<KeyStore> backendFromEnvironment() {
  const char* raw = std::getenv("VELMAR_KEYSTORE");
  if (raw == nullptr) return nullptr;
  const std::string_view choice(raw);
  if (choice == "memory") return std::make_shared<MemoryKeyStore>();
  if (choice == "secret-service") return std::make_shared<SecretServiceKeyStore>();
  constexpr std::string_view kFilePrefix = "file:";
  if (choice.starts_with(kFilePrefix) && choice.size() > kFilePrefix.size()) {
    return std::make_shared<FileKeyStore>(std::string(choice.substr(kFilePrefix.size())));
  }
  return nullptr;  // an unknown value falls back to the normal choice
}

}  // namespace

KeychainWrapper& KeychainWrapper::standard() {
  static NoDestructor<KeychainWrapper> instance;
  return instance.value;
}

void KeychainWrapper::setBackend(std::shared_ptr<KeyStore> backend) {
  std::lock_guard lock(mutex_);
  if (backendFromEnvironment()) return;  // the environment's choice stands
  backend_ = std::move(backend);
}

std::shared_ptr<KeyStore> KeychainWrapper::backend() {
  std::lock_guard lock(mutex_);
  if (!backend_) backend_ = backendFromEnvironment();
  if (!backend_) {
    if (SecretServiceKeyStore::available()) {
      backend_ = std::make_shared<SecretServiceKeyStore>();
    } else {
      backend_ = std::make_shared<FileKeyStore>();
    }
  }
  return backend_;
}

bool KeychainWrapper::set(const std::string& value, const std::string& forKey) {
  return backend()->set(value, forKey);
}

std::optional<std::string> KeychainWrapper::string(const std::string& forKey) {
  return backend()->string(forKey);
}

bool KeychainWrapper::removeObject(const std::string& forKey) {
  return backend()->removeObject(forKey);
}

bool KeychainWrapper::setAll(const std::vector<KeyStore::Entry>& entries) {
  return backend()->setAll(entries);
}

bool KeychainWrapper::removeAll(const std::vector<std::string>& keys) {
  return backend()->removeAll(keys);
}

}  // namespace velmar
