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

// One lock for the whole batch: no reader sees half of it.
bool MemoryKeyStore::setAll(const std::vector<Entry>& entries) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : entries) values_[key] = value;
  return true;
}

bool MemoryKeyStore::removeAll(const std::vector<std::string>& keys) {
  std::lock_guard lock(mutex_);
  for (const auto& key : keys) values_.erase(key);
  return true;
}

}  // namespace velmar
