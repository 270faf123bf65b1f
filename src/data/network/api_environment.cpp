#include "data/network/api_environment.hpp"

namespace velmar {
namespace {
constexpr std::string_view kProd = "http://" VELMAR_PROD_HOST ":5050/api/v1";
constexpr std::string_view kDev = "https://" VELMAR_DEV_HOST "/api/v1";
constexpr std::string_view kStg = "https://" VELMAR_STG_HOST "/api/v1";
}  // namespace

std::string_view rawValue(Environment environment) {
  switch (environment) {
    case Environment::PROD:
      return kProd;
    case Environment::DEV:
      return kDev;
    case Environment::STG:
      return kStg;
  }
  return kDev;
}

std::optional<Environment> environmentFromRawValue(std::string_view text) {
  for (auto environment : {Environment::PROD, Environment::DEV, Environment::STG}) {
    if (rawValue(environment) == text) return environment;
  }
  return std::nullopt;
}

APIEnvironment& APIEnvironment::shared() {
  // Trivially destructible, so a plain function-local static is never torn down early.
  static APIEnvironment instance;
  return instance;
}

}  // namespace velmar
