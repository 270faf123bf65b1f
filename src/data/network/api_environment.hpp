#pragma once

#include <atomic>
#include <optional>
#include <string_view>

namespace velmar {

// The three server environments; each one's raw value is the base URL of its API.
enum class Environment { PROD, DEV, STG };

// Scheme + host + written port + "/api/v1", with no trailing "/".
std::string_view rawValue(Environment environment);

// The environment whose raw value is exactly `text`; absent for any other text.
std::optional<Environment> environmentFromRawValue(std::string_view text);

// Which environment requests go to; one per process. Starts as DEV.
class APIEnvironment {
 public:
  static APIEnvironment& shared();

  APIEnvironment(const APIEnvironment&) = delete;
  APIEnvironment& operator=(const APIEnvironment&) = delete;

  Environment apiEnvironment() const { return apiEnvironment_.load(std::memory_order_relaxed); }
  void setApiEnvironment(Environment environment) {
    apiEnvironment_.store(environment, std::memory_order_relaxed);
  }

 private:
  APIEnvironment() = default;
  // Written by the facade and read by every request build; atomic so no reader ever races.
  std::atomic<Environment> apiEnvironment_{Environment::DEV};
};

}  // namespace velmar
