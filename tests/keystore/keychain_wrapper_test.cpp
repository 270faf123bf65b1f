#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "keystore/scoped_env.hpp"
#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// A Unix socket that accepts connections into its backlog and never says a word: a D-Bus
// daemon that is present but hung.
class SilentSocket {
 public:
  explicit SilentSocket(const fs::path& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
  bool listening() const { return listening_; }

 private:
  int fd_ = -1;
  bool listening_ = false;
};

// A session with no usable Secret Service: nothing chosen by the environment, the data home
// in a temp dir, and the bus address given by the test.
class NoSecretServiceTest : public ::testing::Test {
 protected:
  ScopedEnv noOverride_{"VELMAR_KEYSTORE", std::nullopt};
  TempDir tmp_;
  ScopedEnv dataHome_{"XDG_DATA_HOME", (tmp_.path() / "data").string()};

  void expectUnavailableQuickly(const std::string& busAddress) {
    ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", busAddress);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SecretServiceKeyStore::available(milliseconds(500)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(2500));

    // The wrapper's own probe must give up too, and the file store take over.
    KeychainWrapper wrapper;
    const auto chosen = std::chrono::steady_clock::now();
    auto file = std::dynamic_pointer_cast<FileKeyStore>(wrapper.backend());
    EXPECT_LT(std::chrono::steady_clock::now() - chosen, milliseconds(5000));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->path(), tmp_.path() / "data" / "velmar" / "credentials.json");
    ASSERT_TRUE(wrapper.set("t", "token"));
    EXPECT_EQ(FileKeyStore(file->path()).string("token"), "t");
  }
};

TEST_F(NoSecretServiceTest, BusSocketMissing) {
  expectUnavailableQuickly("unix:path=" + (tmp_.path() / "no-such-bus").string());
}

TEST_F(NoSecretServiceTest, BusPresentButNeverAnswers) {
  const auto path = tmp_.path() / "silent-bus";
  SilentSocket silent(path);
  ASSERT_TRUE(silent.listening());
  expectUnavailableQuickly("unix:path=" + path.string());
}

TEST_F(NoSecretServiceTest, BusAddressMalformed) { expectUnavailableQuickly("not-an-address"); }

// Which backend a wrapper ends up with, for each value of VELMAR_KEYSTORE, when the host has
// also chosen one: the environment wins whenever it names a backend.
TEST(KeychainWrapperSelection, EnvironmentOverridesTheHostsChoice) {
  TempDir tmp;
  const auto filePath = tmp.path() / "pinned" / "creds.json";
  enum class Kind { hostChoice, memory, file, secretService };
  struct Case {
    std::optional<std::string> env;
    Kind expected;
  };
  const std::vector<Case> cases = {
      {std::nullopt, Kind::hostChoice},
      {"memory", Kind::memory},
      {"file:" + filePath.string(), Kind::file},
      {"secret-service", Kind::secretService},
      {"file:", Kind::hostChoice},    // no path: not a choice
      {"kwallet", Kind::hostChoice},  // unknown: not a choice
      {"", Kind::hostChoice},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.env.value_or("(unset)"));
    ScopedEnv env("VELMAR_KEYSTORE", c.env);
    auto hosts = std::make_shared<MemoryKeyStore>();
    KeychainWrapper wrapper;
    wrapper.setBackend(hosts);
    auto backend = wrapper.backend();
    switch (c.expected) {
      case Kind::hostChoice:
        EXPECT_EQ(backend, hosts);
        break;
      case Kind::memory:
        EXPECT_NE(backend, hosts);
        EXPECT_NE(std::dynamic_pointer_cast<MemoryKeyStore>(backend), nullptr);
        break;
      case Kind::file: {
        auto file = std::dynamic_pointer_cast<FileKeyStore>(backend);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->path(), filePath);
        break;
      }
      case Kind::secretService:
        EXPECT_NE(std::dynamic_pointer_cast<SecretServiceKeyStore>(backend), nullptr);
        break;
    }
  }
}

TEST(KeychainWrapperSelection, OperationsGoToTheChosenBackend) {
  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt);
  auto store = std::make_shared<MemoryKeyStore>();
  KeychainWrapper wrapper;
  wrapper.setBackend(store);
  ASSERT_TRUE(wrapper.set("v", "k"));
  EXPECT_EQ(store->string("k"), "v");
  EXPECT_EQ(wrapper.string("k"), "v");
  EXPECT_TRUE(wrapper.removeObject("k"));
  EXPECT_EQ(store->string("k"), std::nullopt);
  EXPECT_EQ(wrapper.string("k"), std::nullopt);
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

// Each read of the Secret Service is a D-Bus round trip: after the first read of a key, the
// wrapper answers from memory, kept current by its own writes, and goes back to the backend
// only when a write failed and the stored value is no longer known.
TEST(KeychainWrapperSelection, ReadsAfterTheFirstComeFromMemory) {
  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt);
  auto store = std::make_shared<CountingStore>();
  store->MemoryKeyStore::set("t0", "token");
  KeychainWrapper wrapper;
  wrapper.setBackend(store);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(wrapper.string("token"), "t0");
  EXPECT_EQ(store->reads, 1);

  ASSERT_TRUE(wrapper.setAll({{"token", "t1"}, {"email", "e"}}));
  EXPECT_EQ(wrapper.string("token"), "t1");
  EXPECT_EQ(wrapper.string("email"), "e");
  ASSERT_TRUE(wrapper.removeObject("email"));
  EXPECT_EQ(wrapper.string("email"), std::nullopt);
  EXPECT_EQ(store->reads, 1);

  store->refuse = true;
  EXPECT_FALSE(wrapper.set("t2", "token"));
  EXPECT_EQ(wrapper.string("token"), "t1");
  EXPECT_EQ(store->reads, 2);

  auto next = std::make_shared<CountingStore>();
  wrapper.setBackend(next);
  EXPECT_EQ(wrapper.string("token"), std::nullopt) << "a new backend starts with no memory";
}

TEST(KeychainWrapperSelection, FileChoiceFromEnvironmentPersists) {
  TempDir tmp;
  const auto path = tmp.path() / "creds.json";
  ScopedEnv env("VELMAR_KEYSTORE", "file:" + path.string());
  {
    KeychainWrapper wrapper;
    ASSERT_TRUE(wrapper.set("persisted", "token"));
  }
  KeychainWrapper restarted;
  EXPECT_EQ(restarted.string("token"), "persisted");
}

}  // namespace
}  // namespace velmar::testing
