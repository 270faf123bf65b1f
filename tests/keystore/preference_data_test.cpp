#include "velmar/preference_data.hpp"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/scoped_env.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {
namespace {

using Credentials = std::array<std::optional<std::string>, 4>;
constexpr std::array<const char*, 4> kKeys = {"email", "password", "token", "userId"};
const Credentials kEarlier = {"old@example.com", "old-pw", "old-tok", "1"};
const Credentials kNext = {"new@example.com", "new-pw", "new-tok", "2"};
const Credentials kNone = {"", "", "", ""};

// Refuses its nth single write or removal (from 1) and has no batch operations of its own,
// like the Secret Service, which has no transactions.
class FailingStore : public KeyStore {
 public:
  bool set(const std::string& value, const std::string& key) override {
    return ++calls_ != failAt_ && values_.set(value, key);
  }
  std::optional<std::string> string(const std::string& key) override { return values_.string(key); }
  bool removeObject(const std::string& key) override {
    return ++calls_ != failAt_ && values_.removeObject(key);
  }
  void failAt(int n) { calls_ = 0, failAt_ = n; }

 private:
  MemoryKeyStore values_;
  int calls_ = 0;
  int failAt_ = 0;
};

// Every PreferenceData reads and writes the process-wide wrapper; each test gives it an empty
// store of its own (the environment would otherwise outrank it).
class PreferenceDataTest : public ::testing::Test {
 protected:
  void SetUp() override { KeychainWrapper::standard().setBackend(store_); }
  void TearDown() override {
    KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
  }
  static void save(PreferenceData& data, const Credentials& c) {
    data.saveUserData(c[0], c[1], c[2], c[3]);
  }
  Credentials stored() {
    Credentials c;
    for (std::size_t i = 0; i < kKeys.size(); ++i) c[i] = store_->string(kKeys[i]);
    return c;
  }
  static Credentials read(PreferenceData& data) {
    return {data.getEmail(), data.getPassword(), data.getToken(), data.getUserId()};
  }

  ScopedEnv noOverride_{"VELMAR_KEYSTORE", std::nullopt};
  std::shared_ptr<FailingStore> store_ = std::make_shared<FailingStore>();
  PreferenceData data_;
};

TEST_F(PreferenceDataTest, SavesAllFourUnderTheirKeysAndEmptyTextCounts) {
  EXPECT_EQ(read(data_), kNone);
  for (const Credentials& c : {kNext, Credentials{"", "pw", "", ""}}) {
    save(data_, c);
    EXPECT_EQ(stored(), c);
    PreferenceData other;
    EXPECT_EQ(read(other), c);
  }
}

TEST_F(PreferenceDataTest, AnyAbsentValueWritesNothing) {
  for (bool heldEarlier : {true, false}) {
    for (std::size_t absent = 0; absent < 4; ++absent) {
      SCOPED_TRACE(std::string(kKeys[absent]) + (heldEarlier ? " over earlier" : " into empty"));
      data_.removeUserData();
      if (heldEarlier) save(data_, kEarlier);
      Credentials partial = kNext;
      partial[absent] = std::nullopt;
      save(data_, partial);
      EXPECT_EQ(stored(), heldEarlier ? kEarlier : Credentials{});
    }
  }
}

TEST_F(PreferenceDataTest, RemoveUserDataClearsOnlyTheFour) {
  save(data_, kEarlier);
  ASSERT_TRUE(store_->set("kept", "unrelated"));
  PreferenceData other;
  other.removeUserData();
  EXPECT_EQ(stored(), Credentials{});
  EXPECT_EQ(read(data_), kNone);
  EXPECT_EQ(store_->string("unrelated"), "kept");
  other.removeUserData();
  EXPECT_EQ(stored(), Credentials{});
}

// When one write of a save or a removal fails, the store keeps exactly what it held before.
TEST_F(PreferenceDataTest, FailedWriteLeavesTheEarlierCredentialsWhole) {
  struct Case {
    const char* name;
    bool remove;
    bool heldEarlier;
  };
  for (const auto& c : std::vector<Case>{
           {"save over earlier", false, true}, {"save into empty", false, false}, {"remove", true, true}}) {
    SCOPED_TRACE(c.name);
    store_ = std::make_shared<FailingStore>();
    KeychainWrapper::standard().setBackend(store_);
    if (c.heldEarlier) save(data_, kEarlier);
    store_->failAt(3);
    c.remove ? data_.removeUserData() : save(data_, kNext);
    EXPECT_EQ(read(data_), c.heldEarlier ? kEarlier : kNone);
    EXPECT_EQ(stored(), c.heldEarlier ? kEarlier : Credentials{});
  }
}

}  // namespace
}  // namespace velmar::testing
