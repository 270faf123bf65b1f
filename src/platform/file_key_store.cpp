#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <utility>

#include "support/json.hpp"
#include "velmar/key_store.hpp"

namespace velmar {
namespace {

using Values = std::map<std::string, std::string>;

// A credentials file is a few hundred bytes; anything far larger is not ours and is never
// read into memory.
constexpr off_t kMaxFileSize = 1 << 20;

constexpr std::string_view kTempInfix = ".tmp-";

// Owns one file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// What tells one version of the file from another. The store keeps the file it parsed open,
// so no other file can take that inode number meanwhile, and every write replaces the file
// by rename: an unchanged identity means unchanged content. Size and mtime also catch an
// edit made in place by someone else.
struct Stamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec mtime{};

  static Stamp of(const struct stat& info) {
    return Stamp{true, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
  }
  bool operator==(const Stamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && mtime.tv_sec == other.mtime.tv_sec &&
           mtime.tv_nsec == other.mtime.tv_nsec;
  }
};

// The values of a file's text, or nothing when it is not a JSON object of texts: a damaged
// file holds no credentials at all rather than a guessed part of them.
Values decode(std::string_view text) {
  auto document = json::parse(text);
  if (!document || !document->is_object()) return {};
  Values values;
  for (const auto& [key, value] : document->items()) {
    if (!value.is_string()) return {};
    values.emplace(key, value.get<std::string>());
  }
  return values;
}

std::optional<std::string> encode(const Values& values) {
  nlohmann::json document = nlohmann::json::object();
  for (const auto& [key, value] : values) document[key] = value;
  return json::writeString(document, json::WriteOption::prettyPrinted);
}

bool readAll(int fd, off_t size, std::string& out) {
  out.resize(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::read(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  out.resize(done);
  return true;
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Creates the missing directories of `dir` as 0700: they hold nobody's data but this user's.
bool makePrivateDirectories(const std::filesystem::path& dir) {
  if (dir.empty()) return true;
  struct stat info {};
  if (::stat(dir.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  if (errno != ENOENT) return false;
  if (!makePrivateDirectories(dir.parent_path())) return false;
  if (::mkdir(dir.c_str(), 0700) != 0) return errno == EEXIST;
  return ::chmod(dir.c_str(), 0700) == 0;  // whatever the umask said
}

// $HOME, else the account's home directory from the password database.
std::filesystem::path homeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  std::string buffer(16384, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return ".";
}

std::filesystem::path directoryOf(const std::filesystem::path& path) {
  auto dir = path.parent_path();
  return dir.empty() ? std::filesystem::path(".") : dir;
}

}  // namespace

struct FileKeyStore::State {
  std::filesystem::path path;
  std::filesystem::path lockPath;
  std::filesystem::path directory;
  std::string tempPrefix;

  std::mutex mutex;
  bool cached = false;
  Stamp stamp;
  Fd held;  // the file `values` came from, kept open (see Stamp)
  Values values;

  // Brings `values` up to date with the file; a stat() when nothing changed.
  void refresh() {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      // Missing (or unreachable) file: nothing stored. Only a missing file is remembered.
      cached = errno == ENOENT;
      stamp = Stamp{};
      held.reset();
      values.clear();
      return;
    }
    if (cached && stamp == Stamp::of(info)) return;
    load();
  }

  void load() {
    cached = false;
    held.reset();
    values.clear();
    // O_NONBLOCK: a FIFO left in the file's place must not stall the reader.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) return;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return;
    stamp = Stamp::of(info);
    cached = true;
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxFileSize) return;
    std::string text;
    if (!readAll(fd.get(), info.st_size, text)) return;
    values = decode(text);
    held = std::move(fd);
  }

  // Runs `change` on the current values under the cross-process lock and writes the result.
  // `change` answers whether anything changed; nothing is written when it did not.
  template <typename Change>
  bool update(Change&& change) {
    if (!makePrivateDirectories(directory)) return false;
    Fd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
    if (!lock) return false;
    while (::flock(lock.get(), LOCK_EX) != 0) {
      if (errno != EINTR) return false;
    }
    // Under the lock every writer has finished, so any temporary file left is a crashed one.
    removeStaleTemporaries();
    refresh();
    Values next = values;
    if (!change(next)) return true;
    return replace(next);
  }

  bool replace(const Values& next) {
    if (next.empty()) return removeFile();
    auto text = encode(next);
    if (!text) return false;  // text that is not valid UTF-8
    std::string tempPath = tempPrefix + "XXXXXX";
    Fd fd(::mkostemp(tempPath.data(), O_CLOEXEC));  // created 0600
    if (!fd) return false;
    bool written =
        ::fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), *text) && ::fsync(fd.get()) == 0;
    // A directory in the file's place is taken away only when empty.
    if (written) {
      struct stat info {};
      if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) ::rmdir(path.c_str());
    }
    if (!written || ::rename(tempPath.c_str(), path.c_str()) != 0) {
      ::unlink(tempPath.c_str());
      return false;
    }
    syncDirectory();
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0) {
      stamp = Stamp::of(info);
      values = next;
      held = std::move(fd);
      cached = true;
    } else {
      cached = false;
    }
    return true;
  }

  // Nothing left to keep: no file at all, rather than one that still says where secrets were.
  bool removeFile() {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
    syncDirectory();
    held.reset();
    stamp = Stamp{};
    values.clear();
    cached = true;
    return true;
  }

  // Makes the rename itself durable.
  void syncDirectory() const {
    Fd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
  }

  void removeStaleTemporaries() const {
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return;
    const std::string prefix = path.filename().string() + std::string(kTempInfix);
    while (const dirent* entry = ::readdir(dir)) {
      std::string_view name(entry->d_name);
      if (name.starts_with(prefix)) ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
  }
};

std::filesystem::path FileKeyStore::defaultPath() {
  std::filesystem::path base;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') {
    base = dataHome;  // relative values are to be ignored, as the XDG rules say
  } else {
    base = homeDirectory() / ".local" / "share";
  }
  return base / "velmar" / "credentials.json";
}

FileKeyStore::FileKeyStore(std::filesystem::path path) : state_(std::make_unique<State>()) {
  state_->path = std::move(path);
  state_->lockPath = state_->path;
  state_->lockPath += ".lock";
  state_->directory = directoryOf(state_->path);
  state_->tempPrefix = state_->path.string() + std::string(kTempInfix);
}

FileKeyStore::~FileKeyStore() = default;

bool FileKeyStore::set(const std::string& value, const std::string& key) {
  return setAll({{key, value}});
}

std::optional<std::string> FileKeyStore::string(const std::string& key) {
  std::lock_guard lock(state_->mutex);
  state_->refresh();
  auto it = state_->values.find(key);
  if (it == state_->values.end()) return std::nullopt;
  return it->second;
}

bool FileKeyStore::removeObject(const std::string& key) { return removeAll({key}); }

bool FileKeyStore::setAll(const std::vector<Entry>& entries) {
  std::lock_guard lock(state_->mutex);
  return state_->update([&](Values& values) {
    bool changed = false;
    for (const auto& [key, value] : entries) {
      auto [it, inserted] = values.try_emplace(key, value);
      if (!inserted) {
        if (it->second == value) continue;
        it->second = value;
      }
      changed = true;
    }
    return changed;
  });
}

bool FileKeyStore::removeAll(const std::vector<std::string>& keys) {
  std::lock_guard lock(state_->mutex);
  // Nothing to remove: no need to create the directory or take the lock.
  state_->refresh();
  const bool any = std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
    return state_->values.contains(key);
  });
  if (!any) return true;
  return state_->update([&](Values& values) {
    bool changed = false;
    for (const auto& key : keys) changed = values.erase(key) > 0 || changed;
    return changed;
  });
}

const std::filesystem::path& FileKeyStore::path() const { return state_->path; }

}  // namespace velmar
