#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "api.hpp"

namespace httplib {
class Server;
}

namespace velmar::sandbox {

// The hosts of the development, staging and production environments this build talks to.
std::vector<std::string> environmentHosts();

// Receives one finished log line, without its line break.
using LogSink = std::function<void(std::string_view line)>;

// Writes each line to standard error.
void logToStandardError(std::string_view line);

struct SandboxOptions {
  // HTTPS with a certificate generated at start, or plain HTTP.
  bool tls = true;
  // Port on 127.0.0.1; 0 picks a free one (see Sandbox::port()).
  int port = 0;
  // Names (and addresses) the certificate is valid for, besides 127.0.0.1 and localhost.
  std::vector<std::string> hostNames = environmentHosts();
  // Where ca.pem is written. Empty: a private temporary directory, removed by stop().
  std::filesystem::path certDirectory;
  // Added before every answer, to imitate a distant server in benchmarks.
  std::chrono::milliseconds latency{0};
  // One line per request; an empty sink logs nothing.
  LogSink log = logToStandardError;
  // Seeds the tokens handed out; 0 draws a fresh seed.
  std::uint64_t seed = 0;
};

// The platform's REST API served on 127.0.0.1 from threads of its own, so a test, a
// benchmark or the `velmar` tool can run it inside its own process. Up to 64 connections
// are served at once; connections stay open for any number of requests.
class Sandbox {
 public:
  explicit Sandbox(SandboxOptions options = {});
  // Stops the server if it still runs.
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Generates the certificates (over HTTPS), binds the port and starts serving; clients may
  // connect as soon as it returns. Throws std::runtime_error when any of that fails.
  void start();
  // Stops accepting, closes open connections and joins the server's threads. Idempotent.
  void stop();

  // The bound port; 0 before start().
  int port() const { return port_; }
  bool tls() const { return options_.tls; }
  // The authority's certificate file a client trusts; empty over plain HTTP.
  const std::filesystem::path& caFile() const { return caFile_; }
  // "https://127.0.0.1:PORT" or "http://127.0.0.1:PORT".
  std::string origin() const;

  // The in-memory platform, for callers that want to inspect what it holds.
  const PlatformApi& api() const { return api_; }

 private:
  void serve();
  void log(std::string_view line);

  SandboxOptions options_;
  PlatformApi api_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  std::filesystem::path caFile_;
  std::filesystem::path ownDirectory_;  // the temporary directory we made, if any
  std::mutex logMutex_;
};

}  // namespace velmar::sandbox
