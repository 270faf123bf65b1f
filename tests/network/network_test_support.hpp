#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "data/network/network_service.hpp"
#include "data/network/repository.hpp"
#include "support/queue.hpp"
#include "support/session.hpp"

namespace velmar::testing {

// Everything the provider handed one callback.
struct Delivery {
  int calls = 0;
  bool onMainThread = true;
  std::optional<std::int64_t> status;
  std::optional<Bytes> body;
  // Set for sign-up only.
  std::optional<Result<std::optional<Bytes>, http::Error>> result;

  std::string bodyText() const { return body ? std::string(body->begin(), body->end()) : ""; }
};

// Sends `request` through the operation that serves `repository`'s case, as the services do.
inline std::shared_ptr<Delivery> send(const Repository& repository, const http::Request& request,
                                      NetworkProvider& provider) {
  auto delivery = std::make_shared<Delivery>();
  const auto mainThread = std::this_thread::get_id();
  auto onData = [delivery, mainThread](std::optional<std::int64_t> status,
                                       std::optional<Bytes> body) {
    ++delivery->calls;
    delivery->onMainThread = delivery->onMainThread && std::this_thread::get_id() == mainThread;
    delivery->status = status;
    delivery->body = std::move(body);
  };
  std::visit(
      [&](const auto& value) {
        using Case = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<Case, Repository::LogIn>) {
          provider.logInRequest(request, onData);
        } else if constexpr (std::is_same_v<Case, Repository::SignUp>) {
          provider.signUpRequest(request, [delivery, mainThread](auto status, auto result) {
            ++delivery->calls;
            delivery->onMainThread =
                delivery->onMainThread && std::this_thread::get_id() == mainThread;
            delivery->status = status;
            if (result.isSuccess()) delivery->body = result.value();
            delivery->result = std::move(result);
          });
        } else if constexpr (std::is_same_v<Case, Repository::GetGamesList>) {
          provider.gameListRequest(request, onData);
        } else if constexpr (std::is_same_v<Case, Repository::LaunchGame>) {
          provider.launchGameRequest(request, onData);
        } else if constexpr (std::is_same_v<Case, Repository::GetBalance>) {
          provider.getBalance(request, onData);
        } else {
          provider.getCurrencyList(request, onData);
        }
      },
      repository.value());
  EXPECT_EQ(delivery->calls, 0) << "a callback must never run inline";
  return delivery;
}

// Builds and sends `repository` through NetworkService::inject().
inline std::shared_ptr<Delivery> send(const Repository& repository) {
  auto request = repository.asURLRequest();
  EXPECT_TRUE(request.isSuccess());
  if (!request.isSuccess()) return std::make_shared<Delivery>();
  return send(repository, request.value(), *NetworkService::inject());
}

// Runs the main queue until `delivery` arrived and nothing else is pending, then checks
// that it arrived exactly once, on the main thread.
inline void awaitOne(const Delivery& delivery) {
  ASSERT_TRUE(runMainUntil([&] { return delivery.calls > 0; })) << "no callback";
  ASSERT_TRUE(MainQueue::main().runUntilIdle(kWait));
  EXPECT_EQ(delivery.calls, 1);
  EXPECT_TRUE(delivery.onMainThread);
}

}  // namespace velmar::testing
