#include <cstdlib>
#include <string_view>

#include "support/no_destructor.hpp"
#include "velmar/key_store.hpp"

namespace velmar {
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

}  // namespace velmar
