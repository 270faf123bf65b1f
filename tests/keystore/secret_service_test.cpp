// Runs inside a private D-Bus session with an unlocked, throwaway gnome-keyring (see
// tests/with_secret_service.sh), never against the user's own key ring.

#include <cstdio>
#include <cstdlib>

#include "keystore/key_store_contract.hpp"
#include "support/scoped_env.hpp"

namespace velmar::testing {
namespace {

const bool kInPrivateSession = [] {
  if (std::getenv("VELMAR_TEST_SECRET_SERVICE") != nullptr) return true;
  std::fputs("run this suite through tests/with_secret_service.sh\n", stderr);
  std::exit(1);
}();

INSTANTIATE_TEST_SUITE_P(
    Daemon, KeyStoreContractTest,
    ::testing::Values(ContractBackend{
        "SecretService", [](const auto&) { return std::make_shared<SecretServiceKeyStore>(); }}),
    [](const auto& info) { return info.param.name; });

TEST(SecretServiceSelection, AnsweringServiceIsChosenByDefault) {
  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt);
  KeychainWrapper wrapper;
  EXPECT_NE(std::dynamic_pointer_cast<SecretServiceKeyStore>(wrapper.backend()), nullptr);
}

}  // namespace
}  // namespace velmar::testing
