// How the SDK picks, caches and fills its credential store.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

using namespace std::string_literals;

#include "platform/credential_home.hpp"
#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"
#include "velmar/preference_data.hpp"

namespace velmar::testing {
namespace {

namespace fs = std::filesystem;
using Credentials = std::array<std::optional<std::string>, 4>;
constexpr std::array<const char*, 4> kKeys = {"email", "password", "token", "userId"};
const Credentials kEarlier = {"old@example.com", "old-pw", "old-tok", "1"};
const Credentials kNext = {"new@example.com", "new-pw", "new-tok", "2"};
const Credentials kNone = {"", "", "", ""};

// Counts reads reaching it; refuses its `failAt`-th single write or removal (from 1) and every
// batch while `refuse` holds. Its batches are the one-by-one default, as the Secret Service has
// no transactions.
class TestStore : public KeyStore {
 public:
  bool set(const std::string& v, const std::string& k) override {
    return !refuse && ++calls != failAt && values.set(v, k);
  }
  std::optional<std::string> string(const std::string& k) override {
    return ++reads, values.string(k);
  }
  bool removeObject(const std::string& k) override {
    return !refuse && ++calls != failAt && values.removeObject(k);
  }
  Credentials held() {
    Credentials c;
    for (std::size_t i = 0; i < 4; ++i) c[i] = values.string(kKeys[i]);
    return c;
  }
  MemoryKeyStore values;
  int reads = 0, calls = 0, failAt = 0;
  bool refuse = false;
};

class CredentialsTest : public ::testing::Test {
 protected:
  void SetUp() override { KeychainWrapper::standard().setBackend(store_); }
  void TearDown() override { KeychainWrapper::standard().setBackend(nullptr); }
  static Credentials read(PreferenceData& data) {
    return {data.getEmail(), data.getPassword(), data.getToken(), data.getUserId()};
  }
  static void save(PreferenceData& data, const Credentials& c) {
    data.saveUserData(c[0], c[1], c[2], c[3]);
  }
  ScopedEnv noChoice_{"VELMAR_KEYSTORE", std::nullopt};
  std::shared_ptr<TestStore> store_ = std::make_shared<TestStore>();
  PreferenceData data_;
};

TEST_F(CredentialsTest, SavedCredentialsReadBackUnderTheirKeysAndLogOutTakesOnlyThem) {
  EXPECT_EQ(read(data_), kNone);
  save(data_, kNext);
  EXPECT_EQ(store_->held(), kNext);
  PreferenceData other;
  EXPECT_EQ(read(other), kNext);
  ASSERT_TRUE(store_->set("kept", "unrelated"));
  other.removeUserData();
  EXPECT_EQ(store_->held(), Credentials{});
  EXPECT_EQ(store_->values.string("unrelated"), "kept");
}

// A save missing a value, or a save or log-out whose write fails part way, leaves the store
// as it was.
TEST_F(CredentialsTest, PartialSavesAndFailedWritesLeaveTheEarlierCredentials) {
  const struct {
    int absent;  // index of the missing value, or -1
    int failAt;  // the write that fails, or 0
    bool logOut;
  } rows[] = {{0, 0, false}, {1, 0, false},  {2, 0, false},
              {3, 0, false}, {-1, 3, false}, {-1, 3, true}};
  for (bool heldEarlier : {true, false}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(::testing::Message() << row.absent << row.failAt << row.logOut << heldEarlier);
      store_ = std::make_shared<TestStore>();
      KeychainWrapper::standard().setBackend(store_);
      if (heldEarlier) save(data_, kEarlier);
      std::tie(store_->calls, store_->failAt) = std::pair(0, row.failAt);
      Credentials partial = kNext;
      if (row.absent >= 0) partial[row.absent] = std::nullopt;
      row.logOut ? data_.removeUserData() : save(data_, partial);
      EXPECT_EQ(store_->held(), heldEarlier ? kEarlier : Credentials{});
      EXPECT_EQ(read(data_), heldEarlier ? kEarlier : kNone);
    }
  }
}

// Each read of the Secret Service is a D-Bus round trip: after the first read of a key the
// wrapper answers from memory, kept current by its own writes, and asks again only once a
// write failed and the stored value is no longer known.
TEST_F(CredentialsTest, ReadsAfterTheFirstComeFromMemory) {
  KeychainWrapper wrapper;
  wrapper.setBackend(store_);
  ASSERT_TRUE(store_->values.set("t0", "token"));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(wrapper.string("token"), "t0");
  EXPECT_EQ(store_->reads, 1);
  ASSERT_TRUE(wrapper.set("t1", "token") && wrapper.set("e", "email"));
  ASSERT_TRUE(wrapper.removeObject("email"));
  store_->reads = 0;  // what the writes themselves read does not count
  EXPECT_EQ(wrapper.string("email"), std::nullopt);
  EXPECT_EQ(wrapper.string("token"), "t1");
  EXPECT_EQ(store_->reads, 0);
  store_->refuse = true;
  EXPECT_FALSE(wrapper.set("t2", "token"));
  store_->reads = 0;
  EXPECT_EQ(wrapper.string("token"), "t1");
  EXPECT_EQ(store_->reads, 1);
}

// Without a usable Secret Service the wrapper falls back to the file store in the data home,
// also when the bus accepts the connection and then never answers.
TEST_F(CredentialsTest, UnreachableSecretServiceMeansTheFileStore) {
  TempDir tmp;
  ScopedEnv dataHome("XDG_DATA_HOME", (tmp.path() / "data").string());
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  std::strncpy(address.sun_path, (tmp.path() / "silent").c_str(), sizeof(address.sun_path) - 1);
  const int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::bind(silent, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(::listen(silent, 64), 0);
  for (const std::string& bus :
       {"unix:path=" + (tmp.path() / "none").string(),
        "unix:path=" + (tmp.path() / "silent").string(), "not-an-address"s}) {
    ScopedEnv busAddress("DBUS_SESSION_BUS_ADDRESS", bus);
    EXPECT_FALSE(SecretServiceKeyStore::available(std::chrono::milliseconds(500))) << bus;
    auto file = std::dynamic_pointer_cast<FileKeyStore>(KeychainWrapper().backend());
    EXPECT_EQ(file ? file->path() : "", tmp.path() / "data" / "velmar" / "credentials.json");
  }
  ::close(silent);
}

// The environment wins over the host's choice whenever it names a backend.
TEST_F(CredentialsTest, EnvironmentOverridesTheHostsChoice) {
  TempDir tmp;
  const auto pinned = tmp.path() / "pinned.json";
  for (const auto& [choice, expected] : std::vector<std::pair<std::string, std::string>>{
           {"memory", "memory"},
           {"file:" + pinned.string(), pinned.string()},
           {"secret-service", "secret-service"},
           {"file:", "host"},
           {"kwallet", "host"},
           {"", "host"}}) {
    ScopedEnv env("VELMAR_KEYSTORE", choice);
    KeychainWrapper wrapper;
    wrapper.setBackend(store_);
    const auto backend = wrapper.backend();
    const auto file = std::dynamic_pointer_cast<FileKeyStore>(backend);
    const std::string kind = backend == store_ ? "host"
                             : file            ? file->path().string()
                             : std::dynamic_pointer_cast<MemoryKeyStore>(backend) ? "memory"
                             : std::dynamic_pointer_cast<SecretServiceKeyStore>(backend)
                                 ? "secret-service"
                                 : "?";
    EXPECT_EQ(kind, expected) << choice;
  }
}

// One start of a process on this account: whether the Secret Service answers decides what the
// chosen store holds, what the file keeps and what the log is told.
TEST_F(CredentialsTest, CredentialsFindAndKeepTheirHome) {
  TempDir tmp;
  auto secretService = std::make_shared<TestStore>();
  auto file = std::make_shared<FileKeyStore>(tmp.path() / "credentials.json");
  auto start = [&](bool answers) {
    return internal::chooseHome({[answers] { return answers; }, [&] { return secretService; }, file,
                                 tmp.path() / "credentials.home"});
  };
  EXPECT_EQ(start(false).store, file) << "without a home a silent Secret Service means the file";
  ASSERT_TRUE(file->setAll({{"email", "e"}, {"password", "pw"}, {"token", "t"}, {"userId", "1"}}));

  secretService->refuse = true;
  auto refused = start(true);
  EXPECT_EQ(refused.store, file) << "a refused move keeps the file in use";
  EXPECT_TRUE(refused.notice.has_value());
  EXPECT_EQ(start(false).store, file) << "and the Secret Service is not remembered as home";

  secretService->refuse = false;
  auto moved = start(true);
  EXPECT_EQ(moved.store, secretService);
  EXPECT_EQ(moved.notice, std::nullopt);
  EXPECT_EQ(secretService->values.string("password"), "pw");
  EXPECT_FALSE(fs::exists(file->path())) << "no plain-text password left";

  // While the home is silent its session is neither read nor replaced by the file.
  auto locked = start(false);
  ASSERT_NE(locked.store, file);
  ASSERT_TRUE(locked.notice.has_value());
  EXPECT_EQ(locked.notice->find("pw"), std::string::npos);
  EXPECT_EQ(locked.store->string("token"), std::nullopt);
  EXPECT_FALSE(locked.store->setAll({{"password", "new-pw"}}));
  EXPECT_FALSE(locked.store->removeAll({"token"}));
  EXPECT_FALSE(fs::exists(file->path()));
  EXPECT_EQ(start(true).store->string("token"), "t");
}

}  // namespace
}  // namespace velmar::testing
