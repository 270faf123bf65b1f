#include "velmar/api_environment.hpp"

#include "data/network/api_environment.hpp"

namespace velmar {

// The router's own texts, so a host never holds a copy that could drift from them.
std::string baseURL(ApiEnvironment environment) {
  switch (environment) {
    case ApiEnvironment::PROD:
      return std::string(rawValue(Environment::PROD));
    case ApiEnvironment::STG:
      return std::string(rawValue(Environment::STG));
    case ApiEnvironment::DEV:
      break;
  }
  return std::string(rawValue(Environment::DEV));
}

}  // namespace velmar
