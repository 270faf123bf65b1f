// Placeholder until the file store lands; replaced by the key-store work.
#include "velmar/key_store.hpp"

namespace velmar {
struct FileKeyStore::State {
  std::filesystem::path path;
};
std::filesystem::path FileKeyStore::defaultPath() { return "credentials.json"; }
FileKeyStore::FileKeyStore(std::filesystem::path path) : state_(std::make_unique<State>()) {
  state_->path = std::move(path);
}
FileKeyStore::~FileKeyStore() = default;
bool FileKeyStore::set(const std::string&, const std::string&) { return false; }
std::optional<std::string> FileKeyStore::string(const std::string&) { return std::nullopt; }
bool FileKeyStore::removeObject(const std::string&) { return false; }
const std::filesystem::path& FileKeyStore::path() const { return state_->path; }
}  // namespace velmar
