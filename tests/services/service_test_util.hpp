#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "support/queue.hpp"
#include "velmar/testing/scripted_provider.hpp"
#include "velmar/key_store.hpp"
#include "velmar/main_queue.hpp"

namespace velmar::testing {

// Collects the one outcome a service reports, and where it was reported from.
template <typename R>
struct Outcome {
  std::optional<R> value;
  int calls = 0;
  bool duringProviderCallback = false;

  template <typename Network>
  auto callback(const std::shared_ptr<Network>& network) {
    return [this, network](R result) {
      ++calls;
      duringProviderCallback = network->inCallback();
      value.emplace(std::move(result));
    };
  }
  // Drives the main queue until the outcome has arrived and nothing else is pending.
  const R& await() {
    EXPECT_TRUE(runMainUntil([&] { return calls > 0; }));
    MainQueue::main().drain();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(value.has_value());
    return *value;
  }
};

// Every suite starts from an empty in-memory credential store.
class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_shared<MemoryKeyStore>();
    KeychainWrapper::standard().setBackend(store_);
    network_ = std::make_shared<ScriptedProvider>();
  }
  void TearDown() override { MainQueue::main().drain(); }

  std::shared_ptr<MemoryKeyStore> store_;
  std::shared_ptr<ScriptedProvider> network_;
};

}  // namespace velmar::testing
