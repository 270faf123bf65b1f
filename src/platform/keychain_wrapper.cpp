#include <cstdlib>
#include <string_view>

#include "platform/credential_home.hpp"
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
  cache_.clear();
}

std::shared_ptr<KeyStore> KeychainWrapper::backend() {
  std::lock_guard lock(mutex_);
  return chosenBackend();
}

std::shared_ptr<KeyStore>& KeychainWrapper::chosenBackend() {
  if (!backend_) backend_ = backendFromEnvironment();
  if (!backend_) {
    auto home = internal::chooseHome(internal::standardCandidates());
    if (home.notice) internal::postKeyStoreNotice(std::move(*home.notice));
    backend_ = std::move(home.store);
  }
  return backend_;
}

// Every call holds the lock through the backend's own work, so that a read cannot put back
// in the cache a value that a write has just replaced.
bool KeychainWrapper::set(const std::string& value, const std::string& forKey) {
  return setAll({{forKey, value}});
}

std::optional<std::string> KeychainWrapper::string(const std::string& forKey) {
  std::lock_guard lock(mutex_);
  auto cached = cache_.find(forKey);
  if (cached != cache_.end()) return cached->second;
  auto value = chosenBackend()->string(forKey);
  cache_.emplace(forKey, value);
  return value;
}

bool KeychainWrapper::removeObject(const std::string& forKey) { return removeAll({forKey}); }

bool KeychainWrapper::setAll(const std::vector<KeyStore::Entry>& entries) {
  std::lock_guard lock(mutex_);
  const bool stored = chosenBackend()->setAll(entries);
  // A refused batch leaves the backend as it was, but read it again rather than trust that.
  for (const auto& [key, value] : entries) {
    if (stored) {
      cache_.insert_or_assign(key, value);
    } else {
      cache_.erase(key);
    }
  }
  return stored;
}

bool KeychainWrapper::removeAll(const std::vector<std::string>& keys) {
  std::lock_guard lock(mutex_);
  const bool removed = chosenBackend()->removeAll(keys);
  for (const auto& key : keys) {
    if (removed) {
      cache_.insert_or_assign(key, std::nullopt);
    } else {
      cache_.erase(key);
    }
  }
  return removed;
}

}  // namespace velmar
