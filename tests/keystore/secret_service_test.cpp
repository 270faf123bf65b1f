// Runs inside a private D-Bus session with an unlocked, throwaway gnome-keyring (see
// tests/with_secret_service.sh), never against the user's own key ring.
#include <libsecret/secret.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "keystore/key_store_contract.hpp"
#include "support/scoped_env.hpp"

namespace velmar::testing {
namespace {

const bool kInPrivateSession =
    std::getenv("VELMAR_TEST_SECRET_SERVICE") ||
    (std::fputs("use with_secret_service.sh\n", stderr), std::exit(1), 0);

std::shared_ptr<KeyStore> openDaemon(const std::filesystem::path&) {
  return std::make_shared<SecretServiceKeyStore>();
}
INSTANTIATE_TEST_SUITE_P(SecretService, KeyStoreContractTest,
                         ::testing::Values(OpenStore(openDaemon)));

TEST(SecretServiceSelection, AnsweringServiceIsChosenByDefault) {
  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt);
  EXPECT_NE(std::dynamic_pointer_cast<SecretServiceKeyStore>(KeychainWrapper().backend()), nullptr);
}

// A missing or locked default collection would need a prompt, a silent bus would hold up the
// start: the file store is used. Changes the daemon's collections, so runs in its own session.
TEST(SecretServiceUnusable, MissingLockedOrSilentServiceMeansTheFile) {
  g_autoptr(SecretService) service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
  ASSERT_NE(service, nullptr);
  g_autoptr(SecretCollection) collection = secret_collection_for_alias_sync(
      service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, nullptr);
  ASSERT_NE(collection, nullptr);
  TempDir home;
  ScopedEnv noOverride("VELMAR_KEYSTORE", std::nullopt), data("XDG_DATA_HOME", home.path());
  auto expectTheFile = [&] {
    auto file = std::dynamic_pointer_cast<FileKeyStore>(KeychainWrapper().backend());
    EXPECT_EQ(file ? file->path() : "", home.path() / "velmar" / "credentials.json");
  };
  ASSERT_TRUE(
      secret_service_set_alias_sync(service, SECRET_COLLECTION_DEFAULT, nullptr, nullptr, nullptr));
  expectTheFile();
  ASSERT_TRUE(secret_service_set_alias_sync(service, SECRET_COLLECTION_DEFAULT, collection, nullptr,
                                            nullptr) &&
              SecretServiceKeyStore::available(std::chrono::milliseconds(5000)));
  GList objects{collection, nullptr, nullptr};
  ASSERT_GE(secret_service_lock_sync(service, &objects, nullptr, nullptr, nullptr), 1);
  expectTheFile();
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  std::strncpy(address.sun_path, (home.path() / "silent").c_str(), sizeof(address.sun_path) - 1);
  const int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_TRUE(::bind(silent, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
              ::listen(silent, 64) == 0);
  ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (home.path() / "silent").string());
  expectTheFile();
  ::close(silent);
}

}  // namespace
}  // namespace velmar::testing
