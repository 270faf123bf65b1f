#pragma once

// What every KeyStore backend promises. Each test executable instantiates the suite with
// the backends it can reach (the Secret Service one runs inside a private D-Bus session).

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "velmar/key_store.hpp"

namespace velmar::testing {

// Storage for one test: a store, and another instance over the same storage where the
// backend has such a thing (null for the memory store, whose instances share nothing).
class ContractStorage {
 public:
  virtual ~ContractStorage() = default;
  virtual std::shared_ptr<KeyStore> open() = 0;
  virtual std::shared_ptr<KeyStore> openSecond() = 0;
};

struct ContractBackend {
  std::string name;
  std::function<std::unique_ptr<ContractStorage>()> make;
};

inline std::string backendName(const ::testing::TestParamInfo<ContractBackend>& info) {
  return info.param.name;
}

class KeyStoreContractTest : public ::testing::TestWithParam<ContractBackend> {
 protected:
  void SetUp() override {
    storage_ = GetParam().make();
    store_ = storage_->open();
    // Keys unique to the test, so a store that outlives the test (a key ring) cannot leak
    // values from one test into another.
    prefix_ = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".";
  }
  void TearDown() override {
    for (const auto& key : used_) store_->removeObject(key);
  }

  std::string key(const std::string& name) {
    used_.push_back(prefix_ + name);
    return used_.back();
  }

  std::unique_ptr<ContractStorage> storage_;
  std::shared_ptr<KeyStore> store_;

 private:
  std::string prefix_;
  std::vector<std::string> used_;
};

TEST_P(KeyStoreContractTest, NothingStoredReadsAbsent) {
  EXPECT_EQ(store_->string(key("never-set")), std::nullopt);
}

TEST_P(KeyStoreContractTest, StoredTextReadsBackExactly) {
  const std::vector<std::string> values = {
      "plain",
      "jwt.eyJhbGciOiJIUzI1NiJ9.e30.sig",
      "quotes \" and \\ backslash\nand a newline",
      "unicode: \xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb2",
      std::string("nul\0inside", 10),
      std::string(4096, 'x'),
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto k = key("value" + std::to_string(i));
    ASSERT_TRUE(store_->set(values[i], k)) << i;
    EXPECT_EQ(store_->string(k), values[i]) << i;
  }
}

TEST_P(KeyStoreContractTest, SetReplacesEarlierValue) {
  const auto k = key("token");
  ASSERT_TRUE(store_->set("first", k));
  ASSERT_TRUE(store_->set("second, longer", k));
  EXPECT_EQ(store_->string(k), "second, longer");
  ASSERT_TRUE(store_->set("3rd", k));
  EXPECT_EQ(store_->string(k), "3rd");
}

TEST_P(KeyStoreContractTest, RemoveTakesOnlyThatKey) {
  const auto gone = key("gone");
  const auto kept = key("kept");
  ASSERT_TRUE(store_->set("a", gone));
  ASSERT_TRUE(store_->set("b", kept));
  EXPECT_TRUE(store_->removeObject(gone));
  EXPECT_EQ(store_->string(gone), std::nullopt);
  EXPECT_EQ(store_->string(kept), "b");
}

TEST_P(KeyStoreContractTest, RemovingMissingKeySucceeds) {
  const auto k = key("missing");
  EXPECT_TRUE(store_->removeObject(k));
  EXPECT_EQ(store_->string(k), std::nullopt);
  ASSERT_TRUE(store_->set("v", k));
  EXPECT_TRUE(store_->removeObject(k));
  EXPECT_TRUE(store_->removeObject(k));
}

TEST_P(KeyStoreContractTest, EmptyTextIsStoredAsPresent) {
  const auto k = key("email");
  ASSERT_TRUE(store_->set("", k));
  EXPECT_EQ(store_->string(k), std::optional<std::string>(""));
  ASSERT_TRUE(store_->set("x", k));
  ASSERT_TRUE(store_->set("", k));
  EXPECT_EQ(store_->string(k), std::optional<std::string>(""));
}

TEST_P(KeyStoreContractTest, SecondInstanceSeesEveryChange) {
  auto second = storage_->openSecond();
  if (!second) GTEST_SKIP() << "instances of this backend share nothing";
  const auto k = key("shared");
  // The second instance has read before each change, so a stale cached copy would show.
  EXPECT_EQ(second->string(k), std::nullopt);
  ASSERT_TRUE(store_->set("from first", k));
  EXPECT_EQ(second->string(k), "from first");
  ASSERT_TRUE(second->set("from second", k));
  EXPECT_EQ(store_->string(k), "from second");
  ASSERT_TRUE(store_->removeObject(k));
  EXPECT_EQ(second->string(k), std::nullopt);
}

}  // namespace velmar::testing
