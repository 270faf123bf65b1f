#pragma once

#include <string_view>

namespace velmar::http {

// True when `url` parses as an absolute http or https URL under libcurl's strict rules
// (no spaces, no control characters), i.e. libcurl would send it as written.
bool isValidURL(std::string_view url);

}  // namespace velmar::http
