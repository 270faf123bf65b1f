#pragma once

// The server environments a host chooses between, and where each one's API lives.
#include <string>

#include "velmar/export.hpp"

namespace velmar {

/// The server environment a host chooses at start-up.
enum class ApiEnvironment { DEV, PROD, STG };

/// The base address every request to `environment` starts with: scheme, host, the port when
/// one is written, and "/api/v1", with no trailing "/". For example, for a development host
/// `dev.example`: "https://dev.example/api/v1".
VELMAR_EXPORT std::string baseURL(ApiEnvironment environment);

}  // namespace velmar
