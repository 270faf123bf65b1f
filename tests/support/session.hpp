#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "data/network/api_environment.hpp"
#include "support/queue.hpp"
#include "support/scoped_env.hpp"
#include "velmar/key_store.hpp"
#include "velmar/main_queue.hpp"
#include "velmar/result_callback.hpp"
#include "velmar/session_configuration.hpp"

namespace velmar::testing {

// Host and port of an "http(s)://host[:port]/..." address.
struct Authority {
  std::string host;
  int port = 0;
};

inline Authority authorityOf(std::string_view base) {
  const bool https = base.starts_with("https://");
  base.remove_prefix(base.find("://") + 3);
  base = base.substr(0, base.find('/'));
  const auto colon = base.rfind(':');
  if (colon == std::string_view::npos) return {std::string(base), https ? 443 : 80};
  return {std::string(base.substr(0, colon)), std::stoi(std::string(base.substr(colon + 1)))};
}

inline Authority authorityOf(Environment environment) { return authorityOf(rawValue(environment)); }

// Calls `thunk`; absent when it returned, otherwise the code of the std::system_error it
// raised. Any other exception fails the test.
template <typename T>
std::optional<std::error_code> raisedBy(const Thunk<T>& thunk) {
  try {
    thunk();
  } catch (const std::system_error& error) {
    return error.code();
  } catch (...) {
    ADD_FAILURE() << "the thunk raised something other than std::system_error";
  }
  return std::nullopt;
}

// Keeps every thunk a `result` callback receives, and whether it came before the operation
// returned.
template <typename T>
struct Results {
  std::vector<Thunk<T>> thunks;
  bool operationReturned = false;
  int beforeReturn = 0;

  ResultCallback<T> callback() {
    return [this](Thunk<T> thunk) {
      if (!operationReturned) ++beforeReturn;
      thunks.push_back(std::move(thunk));
    };
  }
  // Runs the main queue until one outcome arrived and nothing else is pending.
  bool awaitOne() {
    const bool arrived = runMainUntil([&] { return !thunks.empty(); });
    MainQueue::main().drain();
    return arrived && thunks.size() == 1;
  }
};

// Every suite that drives the SDK starts from an empty main queue, an empty in-memory key
// store (whatever VELMAR_KEYSTORE says in the developer's shell) and `environment`; it
// leaves the session's configuration, the environment and the store as it found them.
class SessionTest : public ::testing::Test {
 protected:
  explicit SessionTest(Environment environment = Environment::DEV) : environment_(environment) {}

  void SetUp() override {
    MainQueue::main().drain();
    store_ = std::make_shared<MemoryKeyStore>();
    KeychainWrapper::standard().setBackend(store_);
    APIEnvironment::shared().setApiEnvironment(environment_);
  }
  void TearDown() override {
    EXPECT_TRUE(MainQueue::main().runUntilIdle(kWait));
    configureSession({});
    APIEnvironment::shared().setApiEnvironment(Environment::DEV);
    KeychainWrapper::standard().setBackend(nullptr);
  }

  // Sends every request for `environment_`'s host to `port` on 127.0.0.1.
  void routeTo(int port, SessionConfiguration config = {}) {
    const auto authority = authorityOf(environment_);
    config.connectTo = {authority.host + ":" + std::to_string(authority.port) + ":127.0.0.1:" +
                        std::to_string(port)};
    configureSession(std::move(config));
  }

  ScopedEnv noStoreChoice_{"VELMAR_KEYSTORE", std::nullopt};
  Environment environment_;
  std::shared_ptr<MemoryKeyStore> store_;
};

}  // namespace velmar::testing
