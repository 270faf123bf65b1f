#pragma once
// What every KeyStore backend promises, instantiated with the backends each suite can reach.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {

// Another instance of a backend over the storage in a folder, on each call.
using OpenStore = std::function<std::shared_ptr<KeyStore>(const std::filesystem::path&)>;

class KeyStoreContractTest : public ::testing::TestWithParam<OpenStore> {};

// In fresh storage (a temporary folder, a throwaway key ring), same-sized values written back
// to back by two instances: a cache trusting size and mtime would miss them. Removal takes only
// its key.
TEST_P(KeyStoreContractTest, ValuesReadBackExactlyInEveryInstance) {
  TempDir dir;
  auto first = GetParam()(dir.path()), second = GetParam()(dir.path());
  const std::string k = "token", kept = "kept";
  EXPECT_TRUE(first->removeObject(k) && !first->string(k)) << "a missing key is no error";
  std::vector<std::string> values = {"quotes \" and \\ backslash\nand a newline",
                                     "unicode: \xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb2",
                                     std::string("nul\0inside", 10), std::string(4096, 'x'), ""};
  for (int i = 0; i < 20; ++i) values.push_back("token-" + std::to_string(1000 + i));
  for (std::size_t i = 0; i < values.size(); ++i) {
    ASSERT_TRUE((i % 2 ? second : first)->set(values[i], k));
    ASSERT_EQ((i % 2 ? first : second)->string(k), values[i]) << i;
  }
  ASSERT_TRUE(first->set("b", kept) && first->removeObject(k));
  EXPECT_TRUE(second->string(k) == std::nullopt && second->string(kept) == "b");
}

}  // namespace velmar::testing
