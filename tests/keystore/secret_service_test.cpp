// Runs inside a private D-Bus session with an unlocked, throwaway gnome-keyring (see
// tests/with_secret_service.sh), never against the user's own key ring.

#include <cstdio>
#include <cstdlib>

#include "keystore/key_store_contract.hpp"
#include "support/scoped_env.hpp"

namespace velmar::testing {
namespace {

class SecretServiceStorage : public ContractStorage {
 public:
  std::shared_ptr<KeyStore> open() override { return std::make_shared<SecretServiceKeyStore>(); }
  std::shared_ptr<KeyStore> openSecond() override { return open(); }
};

const bool kInPrivateSession = [] {
  if (std::getenv("VELMAR_TEST_SECRET_SERVICE") != nullptr) return true;
  std::fputs("run this suite through tests/with_secret_service.sh\n", stderr);
  std::exit(1);
}();

INSTANTIATE_TEST_SUITE_P(Daemon, KeyStoreContractTest,
                         ::testing::Values(ContractBackend{
                             "SecretService",
                             [] { return std::make_unique<SecretServiceStorage>(); }}),
                         backendName);

TEST(SecretServiceSelection, AnsweringServiceIsAvailableAndChosenByDefault) {
  EXPECT_TRUE(SecretServiceKeyStore::available(std::chrono::milliseconds(5000)));
  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt);
  KeychainWrapper wrapper;
  EXPECT_NE(std::dynamic_pointer_cast<SecretServiceKeyStore>(wrapper.backend()), nullptr);
}

}  // namespace
}  // namespace velmar::testing
