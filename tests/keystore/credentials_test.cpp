// How the SDK picks, caches and fills its credential store.
#include <gtest/gtest.h>

#include "platform/credential_home.hpp"
#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"
#include "velmar/preference_data.hpp"

namespace velmar::testing {
namespace {

using Credentials = std::array<std::optional<std::string>, 4>;
const Credentials kEarlier = {"old@example.com", "old-pw", "old-tok", "1"};
const Credentials kNext = {"new@example.com", "new-pw", "new-tok", "2"};

// Refuses its `failAt`-th write or removal (from 1), or all while `refuse` holds.
// Its batches are the one-by-one default, as the Secret Service has no transactions.
struct TestStore : KeyStore {
  bool set(const std::string& v, const std::string& k) override {
    return write() && values.set(v, k);
  }
  bool removeObject(const std::string& k) override { return write() && values.removeObject(k); }
  std::optional<std::string> string(const std::string& k) override { return values.string(k); }
  bool write() { return !refuse && ++calls != failAt; }
  MemoryKeyStore values;
  int calls = 0, failAt = 0;
  bool refuse = false;
};

class CredentialsTest : public ::testing::Test {
 protected:
  void TearDown() override { KeychainWrapper::standard().setBackend(nullptr); }
  ScopedEnv noChoice_{"VELMAR_KEYSTORE", std::nullopt};
  std::shared_ptr<TestStore> store_ = std::make_shared<TestStore>();
  TempDir tmp_;
};

// A full save or log-out lands whole; a save missing a value, or one whose write fails part
// way, leaves the store as it was. Read back through the shared, caching wrapper.
TEST_F(CredentialsTest, SavesAndLogOutsAreAllOrNothing) {
  // {index of the value left out or -1, the write that fails or 0, log-out instead of save}
  const std::tuple<int, int, bool> rows[] = {
      {-1, 0, false}, {-1, 0, true}, {3, 0, false}, {-1, 3, false}, {-1, 3, true}};
  for (bool heldEarlier : {true, false}) {
    for (const auto& [absent, failAt, logOut] : rows) {
      SCOPED_TRACE(::testing::Message() << absent << failAt << logOut << heldEarlier);
      KeychainWrapper::standard().setBackend(store_ = std::make_shared<TestStore>());
      PreferenceData data;
      auto save = [&](Credentials c) { data.saveUserData(c[0], c[1], c[2], c[3]); };
      if (heldEarlier) save(kEarlier);
      std::tie(store_->calls, store_->failAt) = std::pair(0, failAt);
      Credentials partial = kNext, expected = heldEarlier ? kEarlier : Credentials{};
      if (absent >= 0) partial[absent] = std::nullopt;
      logOut ? data.removeUserData() : save(partial);
      if (absent < 0 && failAt == 0) expected = logOut ? Credentials{} : kNext;
      PreferenceData other;
      const Credentials read = {other.getEmail(), other.getPassword(), other.getToken(),
                                other.getUserId()};
      for (int i = 0; i < 4; ++i) EXPECT_EQ(read[i], expected[i].value_or("")) << i;
    }
  }
}

// Starts of a process on this account: whether the Secret Service answers decides what the
// chosen store holds, what the file keeps and what the log is told.
TEST_F(CredentialsTest, CredentialsFindAndKeepTheirHome) {
  auto file = std::make_shared<FileKeyStore>(tmp_.path() / "credentials.json");
  auto start = [&](bool answers) {
    return internal::chooseHome({[answers] { return answers; }, [&] { return store_; }, file,
                                 tmp_.path() / "credentials.home"});
  };
  EXPECT_EQ(start(false).store, file) << "without a home a silent Secret Service means the file";
  ASSERT_TRUE(file->setAll({{"email", "e"}, {"password", "pw"}, {"token", "t"}, {"userId", "1"}}));
  store_->refuse = true;
  EXPECT_EQ(start(true).store, file) << "a refused move keeps the file in use";
  EXPECT_EQ(start(false).store, file) << "and the Secret Service is not remembered as home";
  store_->refuse = false;
  const auto moved = start(true);
  EXPECT_TRUE(moved.store == store_ && !moved.notice && store_->values.string("password") == "pw");
  EXPECT_FALSE(std::filesystem::exists(file->path())) << "no plain-text password left";
  // While the home is silent its session is neither read nor replaced by the file.
  const auto locked = start(false);
  ASSERT_NE(locked.store, file);
  EXPECT_EQ(locked.notice.value_or("pw").find("pw"), std::string::npos);
  EXPECT_TRUE(!locked.store->string("token") && !locked.store->setAll({{"password", "new-pw"}}));
  EXPECT_FALSE(std::filesystem::exists(file->path()));
  EXPECT_EQ(start(true).store->string("token"), "t");
}

}  // namespace
}  // namespace velmar::testing
