#pragma once

// What every KeyStore backend promises, instantiated with the backends each suite can reach.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {

struct ContractBackend {
  std::string name;
  // Another instance over the storage in `dir` on each call.
  std::function<std::shared_ptr<KeyStore>(const std::filesystem::path& dir)> open;
  bool instancesShare = true;
};

class KeyStoreContractTest : public ::testing::TestWithParam<ContractBackend> {
 protected:
  // Unique to the test, so a key ring that outlives it cannot leak values into the next.
  std::string key(const std::string& name) {
    return ::testing::UnitTest::GetInstance()->current_test_info()->name() + name;
  }
  void TearDown() override {
    for (const auto& name : {"token", "gone", "kept"}) store_->removeObject(key(name));
  }

  TempDir dir_;
  std::shared_ptr<KeyStore> store_ = GetParam().open(dir_.path());
};

TEST_P(KeyStoreContractTest, ValuesReadBackExactlyAndRemovalTakesOnlyItsKey) {
  const auto k = key("token"), gone = key("gone"), kept = key("kept");
  EXPECT_EQ(store_->string(k), std::nullopt);
  for (const std::string& value :
       {std::string("plain"), std::string("quotes \" and \\ backslash\nand a newline"),
        std::string("unicode: \xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb2"),
        std::string("nul\0inside", 10), std::string(4096, 'x'), std::string(),
        std::string("3rd")}) {
    ASSERT_TRUE(store_->set(value, k));
    EXPECT_EQ(store_->string(k), value) << value.size();
  }
  EXPECT_TRUE(store_->removeObject(gone)) << "a missing key is no error";
  ASSERT_TRUE(store_->set("a", gone) && store_->set("b", kept));
  EXPECT_TRUE(store_->removeObject(gone));
  EXPECT_EQ(store_->string(gone), std::nullopt);
  EXPECT_EQ(store_->string(kept), "b");
}

// Same-sized values written back to back: a cache trusting size and mtime would miss them.
TEST_P(KeyStoreContractTest, SecondInstanceSeesEveryChange) {
  if (!GetParam().instancesShare) GTEST_SKIP() << "instances of this backend share nothing";
  auto second = GetParam().open(dir_.path());
  const auto k = key("token");
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE((i % 2 ? second : store_)->set("token-" + std::to_string(1000 + i), k));
    ASSERT_EQ((i % 2 ? store_ : second)->string(k), "token-" + std::to_string(1000 + i)) << i;
  }
  ASSERT_TRUE(store_->removeObject(k));
  EXPECT_EQ(second->string(k), std::nullopt);
}

}  // namespace velmar::testing
