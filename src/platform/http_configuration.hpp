#pragma once

// The HTTP client's configuration store: the snapshot each request starts with.

#include <memory>

#include "velmar/session_configuration.hpp"

namespace velmar::http {

// Replaced whole by configureSession, never changed in place: a request holds the snapshot
// it started with without copying its strings.
using ConfigurationPtr = std::shared_ptr<const SessionConfiguration>;

// The configuration in force now.
ConfigurationPtr currentConfiguration();

}  // namespace velmar::http
