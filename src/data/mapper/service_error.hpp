#pragma once

#include "velmar/service_error.hpp"

namespace velmar {

// Texts the services report.
inline constexpr const char* kErrorCreatingURL = "Error creating URL";
inline constexpr const char* kTransportError = "Error";

}  // namespace velmar
