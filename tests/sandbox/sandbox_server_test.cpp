// The server around the platform: TLS with the generated authority, connection handling,
// concurrency, ports and clean stops.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "sandbox_client.hpp"

namespace velmar::sandbox::testing {
namespace {

using Clock = std::chrono::steady_clock;

SandboxOptions quiet(bool tls) {
  SandboxOptions options;
  options.tls = tls;
  options.log = nullptr;
  return options;
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// A handle that keeps its connection between transfers, for connection-level checks.
EasyPtr plainHandle(const Sandbox& sandbox, curl_slist* headers) {
  EasyPtr easy(curl_easy_init());
  const std::string url = sandbox.origin() + "/api/v1/currencies";
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT, 20L);
  curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, discard);
  return easy;
}

TEST(SandboxServerTest, HttpsVerifiesForEveryEnvironmentHostWithTheWrittenAuthority) {
  const auto directory = std::filesystem::temp_directory_path() /
                         ("velmar-sandbox-test-" + std::to_string(::getpid()));
  SandboxOptions options = quiet(true);
  options.certDirectory = directory;
  Sandbox sandbox(options);
  sandbox.start();
  EXPECT_EQ(sandbox.caFile(), std::filesystem::absolute(directory / "ca.pem"));
  ASSERT_TRUE(std::filesystem::exists(sandbox.caFile()));
  EXPECT_EQ(sandbox.origin(), "https://127.0.0.1:" + std::to_string(sandbox.port()));

  SandboxClient client(sandbox);
  for (const auto& host : environmentHosts()) {
    client.host = host;
    Reply reply = client.get("/api/v1/currencies");
    EXPECT_EQ(reply.transport, CURLE_OK) << host << ": " << curl_easy_strerror(reply.transport);
    EXPECT_EQ(reply.status, 200) << host;
  }

  client.host = "other.velmar.example";
  EXPECT_EQ(client.get("/api/v1/currencies").transport, CURLE_PEER_FAILED_VERIFICATION)
      << "a name the certificate does not hold";

  client.host = environmentHosts().front();
  client.caFile.reset();
  EXPECT_EQ(client.get("/api/v1/currencies").transport, CURLE_PEER_FAILED_VERIFICATION)
      << "the system's authorities do not vouch for the sandbox";

  sandbox.stop();
  EXPECT_TRUE(std::filesystem::exists(directory / "ca.pem")) << "the user's directory stays";
  std::filesystem::remove_all(directory);
}

TEST(SandboxServerTest, EachStartMakesANewAuthority) {
  Sandbox first(quiet(true));
  Sandbox second(quiet(true));
  first.start();
  second.start();
  SandboxClient client(second);
  client.caFile = first.caFile().string();
  EXPECT_EQ(client.get("/api/v1/currencies").transport, CURLE_PEER_FAILED_VERIFICATION);
}

TEST(SandboxServerTest, APrivateCertificateDirectoryIsRemovedOnStop) {
  Sandbox sandbox(quiet(true));
  sandbox.start();
  const std::filesystem::path ca = sandbox.caFile();
  ASSERT_TRUE(std::filesystem::exists(ca));
  sandbox.stop();
  EXPECT_FALSE(std::filesystem::exists(ca.parent_path()));
}

TEST(SandboxServerTest, PlainHttpHasNoAuthority) {
  Sandbox sandbox(quiet(false));
  sandbox.start();
  EXPECT_TRUE(sandbox.caFile().empty());
  EXPECT_EQ(sandbox.origin(), "http://127.0.0.1:" + std::to_string(sandbox.port()));
  EXPECT_EQ(SandboxClient(sandbox).get("/api/v1/currencies").status, 200);
}

TEST(SandboxServerTest, OneConnectionCarriesManyRequests) {
  Sandbox sandbox(quiet(false));
  sandbox.start();
  curl_slist* headers = nullptr;
  for (const auto& header : platformHeaders()) headers = curl_slist_append(headers, header.c_str());
  {
    EasyPtr easy = plainHandle(sandbox, headers);
    long connections = 0;
    for (int i = 0; i < 25; ++i) {
      ASSERT_EQ(curl_easy_perform(easy.get()), CURLE_OK);
      long opened = 0;
      curl_easy_getinfo(easy.get(), CURLINFO_NUM_CONNECTS, &opened);
      connections += opened;
    }
    EXPECT_EQ(connections, 1);
  }
  curl_slist_free_all(headers);
}

TEST(SandboxServerTest, StopDoesNotWaitForIdleConnections) {
  Sandbox sandbox(quiet(false));
  sandbox.start();
  curl_slist* headers = nullptr;
  for (const auto& header : platformHeaders()) headers = curl_slist_append(headers, header.c_str());
  EasyPtr easy = plainHandle(sandbox, headers);
  ASSERT_EQ(curl_easy_perform(easy.get()), CURLE_OK);  // leaves a kept-alive connection

  const auto started = Clock::now();
  sandbox.stop();
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(5)) << "the keep-alive timeout is 30 s";
  EXPECT_NE(curl_easy_perform(easy.get()), CURLE_OK) << "nothing answers after stop";
  easy.reset();
  curl_slist_free_all(headers);
}

TEST(SandboxServerTest, ServesSixtyFourRequestsAtOnce) {
  SandboxOptions options = quiet(false);
  options.latency = std::chrono::milliseconds(500);
  Sandbox sandbox(options);
  sandbox.start();
  SandboxClient client(sandbox);

  constexpr int kClients = 64;
  std::atomic<int> answered{0};
  const auto started = Clock::now();
  {
    std::vector<std::jthread> clients;
    for (int i = 0; i < kClients; ++i) {
      clients.emplace_back([&] {
        if (client.get("/api/v1/currencies").status == 200) ++answered;
      });
    }
  }
  const auto elapsed = Clock::now() - started;
  EXPECT_EQ(answered.load(), kClients);
  EXPECT_GE(elapsed, options.latency) << "every answer waits the configured latency";
  // Served one by one this would take 32 s, and eight workers would still need 4 s.
  EXPECT_LT(elapsed, std::chrono::milliseconds(3500));
}

TEST(SandboxServerTest, TakesTheAskedPortAndReportsOneInUse) {
  Sandbox first(quiet(false));
  first.start();
  SandboxOptions clash = quiet(false);
  clash.port = first.port();
  Sandbox second(clash);
  EXPECT_THROW(second.start(), std::runtime_error);

  const int port = first.port();
  first.stop();
  SandboxOptions reuse = quiet(false);
  reuse.port = port;
  Sandbox third(reuse);
  third.start();
  EXPECT_EQ(third.port(), port);
  EXPECT_EQ(SandboxClient(third).get("/api/v1/currencies").status, 200);
}

TEST(SandboxServerTest, CatalogueIsFixedAndTheSeedFixesTokens) {
  SandboxOptions options = quiet(false);
  options.seed = 42;
  Sandbox first(options);
  Sandbox second(options);
  first.start();
  second.start();
  const DemoPlayer& demo = demoPlayers().front();
  const std::string token = SandboxClient(first).logIn(demo.email, demo.password);
  EXPECT_EQ(token, SandboxClient(second).logIn(demo.email, demo.password));
  EXPECT_EQ(SandboxClient(first).get("/api/v1/list_games?page=3", token).body,
            SandboxClient(second).get("/api/v1/list_games?page=3", token).body);
}

}  // namespace
}  // namespace velmar::sandbox::testing
