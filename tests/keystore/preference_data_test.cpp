#include "velmar/preference_data.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keystore/scoped_env.hpp"
#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {
namespace {

using Credentials = std::array<std::optional<std::string>, 4>;
constexpr std::array<const char*, 4> kKeys = {"email", "password", "token", "userId"};

// Each test gets an empty key store of its own behind the process-wide wrapper.
class PreferenceDataTest : public ::testing::Test {
 protected:
  void SetUp() override { KeychainWrapper::standard().setBackend(store_); }
  void TearDown() override {
    KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
  }

  void save(PreferenceData& data, const Credentials& c) {
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

  // The environment would otherwise outrank the test's own store.
  ScopedEnv noOverride_{"VELMAR_KEYSTORE", std::nullopt};
  std::shared_ptr<MemoryKeyStore> store_ = std::make_shared<MemoryKeyStore>();
  PreferenceData data_;
};

TEST_F(PreferenceDataTest, SavesAllFourUnderTheirKeys) {
  const Credentials all = {"p@example.com", "pw", "tok", "42"};
  save(data_, all);
  EXPECT_EQ(stored(), all);
  EXPECT_EQ(read(data_), all);
}

TEST_F(PreferenceDataTest, UserIdKeyHasACapitalI) {
  save(data_, {"e", "p", "t", "77"});
  EXPECT_EQ(store_->string("userId"), "77");
  EXPECT_EQ(store_->string("userid"), std::nullopt);
  EXPECT_EQ(store_->string("user_id"), std::nullopt);
}

TEST_F(PreferenceDataTest, AnyAbsentValueWritesNothing) {
  const Credentials earlier = {"old@example.com", "old-pw", "old-tok", "1"};
  const Credentials next = {"new@example.com", "new-pw", "new-tok", "2"};
  for (std::size_t absent = 0; absent < 4; ++absent) {
    SCOPED_TRACE(kKeys[absent]);
    save(data_, earlier);
    Credentials partial = next;
    partial[absent] = std::nullopt;
    save(data_, partial);
    EXPECT_EQ(stored(), earlier);
    EXPECT_EQ(read(data_), earlier);
  }
}

TEST_F(PreferenceDataTest, AbsentValueOnAnEmptyStoreLeavesItEmpty) {
  save(data_, {"e", "p", std::nullopt, "id"});
  EXPECT_EQ(stored(), Credentials{});
}

TEST_F(PreferenceDataTest, GettersGiveEmptyTextWhenNothingIsStored) {
  EXPECT_EQ(read(data_), (Credentials{"", "", "", ""}));
}

TEST_F(PreferenceDataTest, EmptyTextIsStoredAsPresent) {
  save(data_, {"", "pw", "", ""});
  EXPECT_EQ(stored(), (Credentials{"", "pw", "", ""}));
  EXPECT_EQ(data_.getEmail(), "");
}

TEST_F(PreferenceDataTest, RemoveUserDataClearsAllFour) {
  save(data_, {"e", "p", "t", "u"});
  ASSERT_TRUE(store_->set("kept", "unrelated"));
  data_.removeUserData();
  EXPECT_EQ(stored(), Credentials{});
  EXPECT_EQ(read(data_), (Credentials{"", "", "", ""}));
  EXPECT_EQ(store_->string("unrelated"), "kept");
  data_.removeUserData();  // nothing left to remove: harmless
  EXPECT_EQ(stored(), Credentials{});
}

TEST_F(PreferenceDataTest, InstancesAreInterchangeable) {
  PreferenceData writer;
  PreferenceData reader;
  save(writer, {"w@example.com", "pw", "tok", "9"});
  EXPECT_EQ(read(reader), (Credentials{"w@example.com", "pw", "tok", "9"}));
  reader.removeUserData();
  EXPECT_EQ(writer.getToken(), "");
}

// Refuses its nth single write or removal (counting from 1), and has no batch operations of
// its own, like the Secret Service, which has no transactions.
class FailingStore : public KeyStore {
 public:
  explicit FailingStore(int failAt) : failAt_(failAt) {}
  bool set(const std::string& value, const std::string& key) override {
    if (++calls_ == failAt_) return false;
    return values_.set(value, key);
  }
  std::optional<std::string> string(const std::string& key) override { return values_.string(key); }
  bool removeObject(const std::string& key) override {
    if (++calls_ == failAt_) return false;
    return values_.removeObject(key);
  }
  void failAt(int n) {
    calls_ = 0;
    failAt_ = n;
  }

 private:
  MemoryKeyStore values_;
  int calls_ = 0;
  int failAt_;
};

// A save or a removal is one unit: when one of its writes fails, the store keeps exactly the
// credentials it held before, whether it held any or not.
TEST_F(PreferenceDataTest, FailedWriteLeavesTheEarlierCredentialsWhole) {
  const Credentials earlier = {"old@example.com", "old-pw", "old-tok", "1"};
  const Credentials next = {"new@example.com", "new-pw", "new-tok", "2"};
  const Credentials none{};
  enum class Op { save, remove };
  struct Case {
    const char* name;
    Op op;
    bool heldEarlier;
  };
  const std::vector<Case> cases = {
      {"save over earlier", Op::save, true},
      {"save into empty", Op::save, false},
      {"remove", Op::remove, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto failing = std::make_shared<FailingStore>(0);
    KeychainWrapper::standard().setBackend(failing);
    if (c.heldEarlier) save(data_, earlier);
    failing->failAt(3);
    if (c.op == Op::save) {
      save(data_, next);
    } else {
      data_.removeUserData();
    }
    EXPECT_EQ(read(data_), c.heldEarlier ? earlier : (Credentials{"", "", "", ""}));
    Credentials raw;
    for (std::size_t i = 0; i < kKeys.size(); ++i) raw[i] = failing->string(kKeys[i]);
    EXPECT_EQ(raw, c.heldEarlier ? earlier : none);
  }
}

// The file store refuses text that is not UTF-8; whichever of the four it is, none of the
// new values may land beside the old ones.
TEST_F(PreferenceDataTest, RefusedValueInTheFileStoreSavesNone) {
  TempDir tmp;
  const auto path = tmp.path() / "credentials.json";
  KeychainWrapper::standard().setBackend(std::make_shared<FileKeyStore>(path));
  const Credentials earlier = {"old@example.com", "old-pw", "old-tok", "1"};
  save(data_, earlier);
  for (std::size_t refused = 0; refused < 4; ++refused) {
    SCOPED_TRACE(kKeys[refused]);
    Credentials next = {"new@example.com", "new-pw", "new-tok", "2"};
    next[refused] = "\xff\xfe not text";
    save(data_, next);
    EXPECT_EQ(read(data_), earlier);
    PreferenceData other;
    KeychainWrapper::standard().setBackend(std::make_shared<FileKeyStore>(path));
    EXPECT_EQ(read(other), earlier);
  }
}

TEST_F(PreferenceDataTest, ValuesSurviveIntoTheNextProcess) {
  TempDir tmp;
  const auto path = tmp.path() / "credentials.json";
  const pid_t pid = ::fork();
  if (pid == 0) {
    KeychainWrapper::standard().setBackend(std::make_shared<FileKeyStore>(path));
    PreferenceData().saveUserData("next@example.com", "pw", "tok", "5");
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  KeychainWrapper::standard().setBackend(std::make_shared<FileKeyStore>(path));
  PreferenceData restarted;
  EXPECT_EQ(read(restarted), (Credentials{"next@example.com", "pw", "tok", "5"}));
}

}  // namespace
}  // namespace velmar::testing
