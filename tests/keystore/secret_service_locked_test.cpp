// A key ring whose default collection is missing or locked would need a prompt: the store
// must call that unavailable and the wrapper fall back to the file store. Runs in a private
// D-Bus session of its own (tests/with_secret_service.sh), since it changes the collections.

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <cstdlib>
#include <memory>

#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {
namespace {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};

void expectFallBackToFile() {
  EXPECT_FALSE(SecretServiceKeyStore::available(std::chrono::milliseconds(3000)));
  TempDir home;
  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt);
  ScopedEnv dataHome("XDG_DATA_HOME", home.path().string());
  auto file = std::dynamic_pointer_cast<FileKeyStore>(KeychainWrapper().backend());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->path(), home.path() / "velmar" / "credentials.json");
}

TEST(SecretServiceUnusable, MissingThenLockedDefaultCollection) {
  ASSERT_NE(std::getenv("VELMAR_TEST_SECRET_SERVICE"), nullptr) << "run through the script";
  std::unique_ptr<SecretService, ObjectUnref> service(
      secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr));
  ASSERT_NE(service, nullptr);
  std::unique_ptr<SecretCollection, ObjectUnref> collection(secret_collection_for_alias_sync(
      service.get(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, nullptr));
  ASSERT_NE(collection, nullptr);
  ASSERT_TRUE(SecretServiceKeyStore::available(std::chrono::milliseconds(5000)));

  ASSERT_TRUE(secret_service_set_alias_sync(service.get(), SECRET_COLLECTION_DEFAULT, nullptr,
                                            nullptr, nullptr));
  expectFallBackToFile();
  ASSERT_TRUE(secret_service_set_alias_sync(service.get(), SECRET_COLLECTION_DEFAULT,
                                            collection.get(), nullptr, nullptr));
  EXPECT_TRUE(SecretServiceKeyStore::available(std::chrono::milliseconds(5000)));

  GList objects{collection.get(), nullptr, nullptr};
  ASSERT_GE(secret_service_lock_sync(service.get(), &objects, nullptr, nullptr, nullptr), 1);
  expectFallBackToFile();
}

}  // namespace
}  // namespace velmar::testing
