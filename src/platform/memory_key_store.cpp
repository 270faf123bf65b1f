#include "velmar/key_store.hpp"

namespace velmar {

bool MemoryKeyStore::set(const std::string& value, const std::string& key) {
  std::lock_guard lock(mutex_);
  values_[key] = value;
  return true;
}

std::optional<std::string> MemoryKeyStore::string(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

bool MemoryKeyStore::removeObject(const std::string& key) {
  std::lock_guard lock(mutex_);
  values_.erase(key);
  return true;
}

}  // namespace velmar
