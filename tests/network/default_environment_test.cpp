// Its own executable: it needs a process in which nothing has chosen an environment yet.
#include <gtest/gtest.h>

#include <memory>

#include "network/network_test_support.hpp"
#include "support/certificates.hpp"
#include "support/temp_dir.hpp"
#include "support/test_server.hpp"
#include "velmar/key_store.hpp"
#include "velmar/session_configuration.hpp"

namespace velmar {
namespace {

TEST(DefaultEnvironmentTest, RequestsBeforeAnyChoiceGoToDev) {
  KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
  ASSERT_EQ(APIEnvironment::shared().apiEnvironment(), Environment::DEV);

  const auto [host, port] = testing::authorityOf(Environment::DEV);
  testing::TempDir directory;
  const auto certificates = testing::generateCertificates(directory.path(), {host});
  testing::TestServer server(certificates.certFile, certificates.keyFile);
  SessionConfiguration config;
  config.caBundleFile = certificates.caFile.string();
  config.connectTo = {server.routeFrom(host, port)};
  configureSession(config);

  auto delivery = testing::send(Repository::getCurrencies());
  testing::awaitOne(*delivery);
  EXPECT_EQ(delivery->status, 200);
  ASSERT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(server.requests()[0].header("Host"), host);
  EXPECT_EQ(server.requests()[0].target, "/api/v1/currencies");
  configureSession({});
}

}  // namespace
}  // namespace velmar
