// Its own executable: it needs a process in which nothing has chosen an environment yet.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "data/network/repository.hpp"
#include "velmar/key_store.hpp"

namespace velmar {
namespace {

TEST(DefaultEnvironmentTest, RequestsBeforeAnyChoiceGoToDev) {
  KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
  EXPECT_EQ(Repository::getCurrencies().asURLRequest().value().url,
            std::string(rawValue(Environment::DEV)) + "/currencies");
  KeychainWrapper::standard().setBackend(nullptr);
}

}  // namespace
}  // namespace velmar
