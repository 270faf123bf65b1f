#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {
namespace {

namespace fs = std::filesystem;

// Accepts connections into its backlog and never says a word: a D-Bus daemon that hangs.
class SilentSocket {
 public:
  explicit SilentSocket(const fs::path& path) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    listening_ = fd_ >= 0 &&
                 ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
                 ::listen(fd_, 64) == 0;
  }
  ~SilentSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentSocket(const SilentSocket&) = delete;
  SilentSocket& operator=(const SilentSocket&) = delete;
  const int fd_;
  bool listening_ = false;
};

// Without a usable Secret Service the wrapper falls back to the file store in the data home.
TEST(KeychainWrapperSelection, UnreachableSecretServiceMeansTheFileStore) {
  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt);
  TempDir tmp;
  ScopedEnv dataHome("XDG_DATA_HOME", (tmp.path() / "data").string());
  SilentSocket silent(tmp.path() / "silent-bus");
  ASSERT_TRUE(silent.listening_);
  for (const std::string& address : {"unix:path=" + (tmp.path() / "no-such-bus").string(),
                                    "unix:path=" + (tmp.path() / "silent-bus").string(),
                                    std::string("not-an-address")}) {
    SCOPED_TRACE(address);
    ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", address);
    EXPECT_FALSE(SecretServiceKeyStore::available(std::chrono::milliseconds(500)));
    KeychainWrapper wrapper;
    auto file = std::dynamic_pointer_cast<FileKeyStore>(wrapper.backend());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->path(), tmp.path() / "data" / "velmar" / "credentials.json");
  }
}

// The environment wins over the host's choice whenever it names a backend.
TEST(KeychainWrapperSelection, EnvironmentOverridesTheHostsChoice) {
  TempDir tmp;
  const auto filePath = tmp.path() / "pinned" / "creds.json";
  enum class Kind { hostChoice, memory, file, secretService };
  const std::vector<std::pair<std::optional<std::string>, Kind>> cases = {
      {std::nullopt, Kind::hostChoice},
      {"memory", Kind::memory},
      {"file:" + filePath.string(), Kind::file},
      {"secret-service", Kind::secretService},
      {"file:", Kind::hostChoice},
      {"kwallet", Kind::hostChoice},
      {"", Kind::hostChoice},
  };
  for (const auto& [env, expected] : cases) {
    SCOPED_TRACE(env.value_or("(unset)"));
    ScopedEnv choice("VELMAR_KEYSTORE", env);
    auto hosts = std::make_shared<MemoryKeyStore>();
    KeychainWrapper wrapper;
    wrapper.setBackend(hosts);
    auto backend = wrapper.backend();
    EXPECT_EQ(backend == hosts, expected == Kind::hostChoice);
    EXPECT_EQ(std::dynamic_pointer_cast<MemoryKeyStore>(backend) != nullptr,
              expected == Kind::hostChoice || expected == Kind::memory);
    EXPECT_EQ(std::dynamic_pointer_cast<SecretServiceKeyStore>(backend) != nullptr,
              expected == Kind::secretService);
    auto file = std::dynamic_pointer_cast<FileKeyStore>(backend);
    EXPECT_EQ(file ? file->path() : fs::path(), expected == Kind::file ? filePath : fs::path());
  }
}

// Counts the reads that reach the backend, and refuses writes while told to.
class CountingStore : public MemoryKeyStore {
 public:
  bool setAll(const std::vector<Entry>& entries) override {
    return !refuse && MemoryKeyStore::setAll(entries);
  }
  std::optional<std::string> string(const std::string& key) override {
    ++reads;
    return MemoryKeyStore::string(key);
  }
  int reads = 0;
  bool refuse = false;
};

// Each read of the Secret Service is a D-Bus round trip: after the first read of a key the
// wrapper answers from memory, kept current by its own writes, and asks the backend again
// only once a write failed and the stored value is no longer known.
TEST(KeychainWrapperSelection, ReadsAfterTheFirstComeFromMemory) {
  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt);
  auto store = std::make_shared<CountingStore>();
  store->MemoryKeyStore::set("t0", "token");
  KeychainWrapper wrapper;
  wrapper.setBackend(store);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(wrapper.string("token"), "t0");
  EXPECT_EQ(store->reads, 1);

  ASSERT_TRUE(wrapper.setAll({{"token", "t1"}, {"email", "e"}}));
  EXPECT_EQ(store->MemoryKeyStore::string("email"), "e");
  EXPECT_EQ(wrapper.string("token"), "t1");
  ASSERT_TRUE(wrapper.removeObject("email"));
  EXPECT_EQ(store->MemoryKeyStore::string("email"), std::nullopt);
  EXPECT_EQ(wrapper.string("email"), std::nullopt);
  EXPECT_EQ(store->reads, 1);

  store->refuse = true;
  EXPECT_FALSE(wrapper.set("t2", "token"));
  EXPECT_EQ(wrapper.string("token"), "t1");
  EXPECT_EQ(store->reads, 2);

  wrapper.setBackend(std::make_shared<CountingStore>());
  EXPECT_EQ(wrapper.string("token"), std::nullopt) << "a new backend starts with no memory";
}

}  // namespace
}  // namespace velmar::testing
