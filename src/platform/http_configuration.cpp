// The HTTP client's configuration store: what the host sets, and the snapshot requests take.

#include "platform/http_configuration.hpp"

#include <mutex>
#include <utility>

#include "support/no_destructor.hpp"

namespace velmar {
namespace {

std::mutex& configurationMutex() {
  static NoDestructor<std::mutex> mutex;
  return mutex.value;
}

http::ConfigurationPtr& configurationSlot() {
  static NoDestructor<http::ConfigurationPtr> config(
      std::make_shared<const SessionConfiguration>());
  return config.value;
}

}  // namespace

http::ConfigurationPtr http::currentConfiguration() {
  std::lock_guard lock(configurationMutex());
  return configurationSlot();
}

void configureSession(SessionConfiguration config) {
  auto next = std::make_shared<const SessionConfiguration>(std::move(config));
  std::lock_guard lock(configurationMutex());
  configurationSlot().swap(next);
}

SessionConfiguration sessionConfiguration() { return *http::currentConfiguration(); }

}  // namespace velmar
