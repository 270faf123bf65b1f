// A key ring whose default collection is missing or locked, would need a prompt: the store
// must call that unavailable, quickly, and the wrapper must fall back to the file store.
// Runs in its own private D-Bus session (tests/with_secret_service.sh), since it changes the
// daemon's collections.

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {
namespace {

const bool kInPrivateSession = [] {
  if (std::getenv("VELMAR_TEST_SECRET_SERVICE") != nullptr) return true;
  std::fputs("run this suite through tests/with_secret_service.sh\n", stderr);
  std::exit(1);
}();

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

ObjectPtr<SecretCollection> defaultCollection(SecretService* service) {
  return ObjectPtr<SecretCollection>(secret_collection_for_alias_sync(
      service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, nullptr));
}

// The probe says no, and the wrapper then uses the file store under the throwaway data home.
void expectFallBackToFile(const TempDir& home) {
  EXPECT_FALSE(SecretServiceKeyStore::available(std::chrono::milliseconds(3000)));

  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt);
  ScopedEnv dataHome("XDG_DATA_HOME", home.path().string());
  KeychainWrapper wrapper;
  auto file = std::dynamic_pointer_cast<FileKeyStore>(wrapper.backend());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->path(), home.path() / "velmar" / "credentials.json");
}

TEST(SecretServiceUnusable, MissingThenLockedDefaultCollection) {
  ASSERT_TRUE(SecretServiceKeyStore::available(std::chrono::milliseconds(5000)));
  ObjectPtr<SecretService> service(secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr));
  ASSERT_NE(service, nullptr);
  auto collection = defaultCollection(service.get());
  ASSERT_NE(collection, nullptr);
  TempDir home;

  // No collection behind the "default" alias.
  ASSERT_TRUE(secret_service_set_alias_sync(service.get(), SECRET_COLLECTION_DEFAULT, nullptr,
                                            nullptr, nullptr));
  expectFallBackToFile(home);
  ASSERT_TRUE(secret_service_set_alias_sync(service.get(), SECRET_COLLECTION_DEFAULT,
                                            collection.get(), nullptr, nullptr));
  EXPECT_TRUE(SecretServiceKeyStore::available(std::chrono::milliseconds(5000)));

  // The default collection locked: using it would prompt for the password.
  GList objects{collection.get(), nullptr, nullptr};
  ASSERT_GE(secret_service_lock_sync(service.get(), &objects, nullptr, nullptr, nullptr), 1);
  expectFallBackToFile(home);
}

}  // namespace
}  // namespace velmar::testing
