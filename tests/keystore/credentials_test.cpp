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

// Counts reads; refuses its `failAt`-th write or removal (from 1), or all while `refuse` holds.
// Its batches are the one-by-one default, as the Secret Service has no transactions.
struct TestStore : KeyStore {
  bool set(const std::string& v, const std::string& k) override {
    return write() && values.set(v, k);
  }
  bool removeObject(const std::string& k) override { return write() && values.removeObject(k); }
  std::optional<std::string> string(const std::string& k) override {
    return ++reads, values.string(k);
  }
  bool write() { return !refuse && ++calls != failAt; }
  MemoryKeyStore values;
  int reads = 0, calls = 0, failAt = 0;
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
// way, leaves the store as it was.
TEST_F(CredentialsTest, SavesAndLogOutsAreAllOrNothing) {
  const struct {
    int absent, failAt;  // index of the missing value or -1; the write that fails or 0
    bool logOut;
  } rows[] = {{-1, 0, false}, {-1, 0, true}, {3, 0, false}, {-1, 3, false}, {-1, 3, true}};
  for (bool heldEarlier : {true, false}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(::testing::Message() << row.absent << row.failAt << row.logOut << heldEarlier);
      store_ = std::make_shared<TestStore>();
      KeychainWrapper::standard().setBackend(store_);
      PreferenceData data;
      auto save = [&](Credentials c) { data.saveUserData(c[0], c[1], c[2], c[3]); };
      if (heldEarlier) save(kEarlier);
      std::tie(store_->calls, store_->failAt) = std::pair(0, row.failAt);
      Credentials partial = kNext, expected = heldEarlier ? kEarlier : Credentials{};
      if (row.absent >= 0) partial[row.absent] = std::nullopt;
      row.logOut ? data.removeUserData() : save(partial);
      if (row.absent < 0 && row.failAt == 0) expected = row.logOut ? Credentials{} : kNext;
      for (auto& value : expected) value = value.value_or("");
      PreferenceData other;
      EXPECT_EQ(
          (Credentials{other.getEmail(), other.getPassword(), other.getToken(), other.getUserId()}),
          expected);
    }
  }
}

// Each Secret Service read is a D-Bus round trip: the wrapper answers from memory after the
// first, and asks again only once a failed write left the stored value unknown.
TEST_F(CredentialsTest, ReadsAfterTheFirstComeFromMemory) {
  KeychainWrapper wrapper;
  wrapper.setBackend(store_);
  ASSERT_TRUE(store_->values.set("t0", "token"));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(wrapper.string("token"), "t0");
  EXPECT_EQ(store_->reads, 1);
  ASSERT_TRUE(wrapper.set("t1", "token") && wrapper.set("e", "mail") &&
              wrapper.removeObject("mail"));
  store_->reads = 0;  // what the writes themselves read does not count
  EXPECT_TRUE(wrapper.string("mail") == std::nullopt && wrapper.string("token") == "t1");
  EXPECT_EQ(store_->reads, 0);
  store_->refuse = true;
  EXPECT_FALSE(wrapper.set("t2", "token"));
  store_->reads = 0;
  EXPECT_EQ(wrapper.string("token"), "t1");
  EXPECT_EQ(store_->reads, 1);
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
  EXPECT_EQ(locked.store->string("token"), std::nullopt);
  EXPECT_FALSE(locked.store->setAll({{"password", "new-pw"}}));
  EXPECT_FALSE(locked.store->removeAll({"token"}));
  EXPECT_FALSE(std::filesystem::exists(file->path()));
  EXPECT_EQ(start(true).store->string("token"), "t");
}

}  // namespace
}  // namespace velmar::testing
