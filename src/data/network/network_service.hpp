#pragma once

#include <memory>

#include "velmar/network_provider.hpp"

namespace velmar {

// The production provider: sends each request through the shared HTTP session and hands
// back what came back, on the main queue, exactly once per call. Holds no state.
class NetworkService : public NetworkProvider {
 public:
  NetworkService() = default;

  // The process-wide provider every service uses by default; created once, never destroyed.
  static std::shared_ptr<NetworkProvider> inject();

  void logInRequest(const http::Request& url, DataCallback result) override;
  void signUpRequest(const http::Request& url, SignUpCallback result) override;
  void gameListRequest(const http::Request& url, DataCallback result) override;
  void launchGameRequest(const http::Request& url, DataCallback result) override;
  void getCurrencyList(const http::Request& url, DataCallback result) override;
  void getBalance(const http::Request& url, DataCallback result) override;
};

}  // namespace velmar
