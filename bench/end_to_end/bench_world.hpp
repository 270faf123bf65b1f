#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sandbox_server.hpp"
#include "support/temp_dir.hpp"
#include "velmar/client.hpp"

namespace velmar::bench {

// How the clients reach a sandbox; every client of one comparison uses the same.
enum class Protocol { http, https };

// Which in-process sandbox a benchmark talks to.
enum class Server {
  plain,    // HTTP, answers at once; the production environment's host is routed to it
  secure,   // HTTPS, answers at once; the development host
  distant,  // HTTPS, 20 ms before every answer; the staging host
};

// The key store file, the sandboxes and the SDK's routes to them, set up once per process.
// The facade reaches each sandbox as one of its environments, so its requests are built
// exactly as a host's would be.
class World {
 public:
  // The process-wide world, started on first use.
  static World& get();
  // Stops the servers and removes the temporary files; the end of main.
  static void release();

  World();
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // Points the facade at `server` and logs the first demo player in there (tokens belong to
  // one sandbox), then runs the main queue until the SDK is idle. Cheap when already there.
  void enter(Server server);

  // The game-list page 1 address of `server`, as the SDK writes it.
  std::string pageUrl(Server server) const;
  // The curl `--connect-to` line that sends `server`'s environment host to it.
  std::string route(Server server) const;
  // One PEM file trusting both HTTPS sandboxes.
  const std::string& caBundle() const { return caBundle_; }
  // The token the SDK stored at the last log-in.
  std::string storedToken() const;
  const sandbox::Sandbox& sandbox(Server server) const;

 private:
  testing::TempDir directory_;
  std::vector<std::unique_ptr<sandbox::Sandbox>> sandboxes_;  // in Server order
  std::string caBundle_;
  bool entered_ = false;
  Server current_ = Server::plain;
};

Server serverFor(Protocol protocol);

}  // namespace velmar::bench
