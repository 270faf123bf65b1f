// Runs inside a private D-Bus session with an unlocked, throwaway gnome-keyring (see
// tests/with_secret_service.sh), never against the user's own key ring.

#include <libsecret/secret.h>

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
  EXPECT_NE(std::dynamic_pointer_cast<SecretServiceKeyStore>(KeychainWrapper().backend()), nullptr);
}

// A missing or locked default collection would need a prompt: the file store is used instead.
// Changes the daemon's collections, so it runs alone in a session of its own.
TEST(SecretServiceUnusable, MissingThenLockedDefaultCollectionMeansTheFile) {
  g_autoptr(SecretService) service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
  ASSERT_NE(service, nullptr);
  g_autoptr(SecretCollection) collection = secret_collection_for_alias_sync(
      service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, nullptr);
  ASSERT_NE(collection, nullptr);
  TempDir home;
  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt), data("XDG_DATA_HOME", home.path());
  auto expectTheFile = [&] {
    EXPECT_FALSE(SecretServiceKeyStore::available(std::chrono::milliseconds(3000)));
    auto file = std::dynamic_pointer_cast<FileKeyStore>(KeychainWrapper().backend());
    EXPECT_EQ(file ? file->path() : "", home.path() / "velmar" / "credentials.json");
  };
  ASSERT_TRUE(
      secret_service_set_alias_sync(service, SECRET_COLLECTION_DEFAULT, nullptr, nullptr, nullptr));
  expectTheFile();
  ASSERT_TRUE(secret_service_set_alias_sync(service, SECRET_COLLECTION_DEFAULT, collection, nullptr,
                                            nullptr));
  EXPECT_TRUE(SecretServiceKeyStore::available(std::chrono::milliseconds(5000)));
  GList objects{collection, nullptr, nullptr};
  ASSERT_GE(secret_service_lock_sync(service, &objects, nullptr, nullptr, nullptr), 1);
  expectTheFile();
}

}  // namespace
}  // namespace velmar::testing
