#pragma once

#include <curl/curl.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "sandbox_server.hpp"

namespace velmar::sandbox::testing {

// One answer as a client saw it.
struct Reply {
  CURLcode transport = CURLE_OK;
  long status = 0;
  std::string body;

  nlohmann::json json() const { return nlohmann::json::parse(body, nullptr, false); }
};

// The three headers every SDK request carries, with `token` in the bearer header.
std::vector<std::string> platformHeaders(const std::string& token = "");

// A blocking libcurl client for one sandbox. Over HTTPS it asks for the development host,
// routed to the sandbox and verified against the sandbox's authority, exactly as the SDK
// would be set up.
class SandboxClient {
 public:
  explicit SandboxClient(const Sandbox& sandbox);

  // `headers` replace the platform headers; "Name:" removes one curl would add.
  Reply send(const std::string& method, const std::string& path,
             const std::vector<std::string>& headers,
             const std::optional<std::string>& body = std::nullopt) const;
  Reply get(const std::string& path, const std::string& token = "") const;
  Reply post(const std::string& path, const std::string& body, const std::string& token = "") const;

  // Logs in and returns the session token; fails the test when that does not work.
  std::string logIn(const std::string& email, const std::string& password) const;

  // Overrides used to check what a client that trusts less, or asks for another name, sees.
  std::string host;
  std::optional<std::string> caFile;

 private:
  const Sandbox& sandbox_;
};

}  // namespace velmar::sandbox::testing
