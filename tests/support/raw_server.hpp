#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmar::testing {

// A bare TCP server on 127.0.0.1 for what a real HTTP server will not do: show a request
// byte for byte (header order, trailing spaces), answer with hand-written bytes, close in
// the middle of a body, or never answer. Serves one connection at a time, on its own thread.
class RawServer {
 public:
  struct Reply {
    std::string bytes;         // written back as they are
    bool close = true;         // close the connection after writing
    bool neverAnswer = false;  // write nothing and hold the connection until the client leaves
  };
  // Given one whole request (head and Content-Length body), decides the reply.
  using Script = std::function<Reply(const std::string& request)>;

  explicit RawServer(Script script);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return port_; }
  // A curl connect-to route sending requests for host:port to this server.
  std::string routeFrom(std::string_view host, int port) const;
  // Every request received, raw, in arrival order.
  std::vector<std::string> requests() const;

  // A complete HTTP/1.1 answer with a Content-Length body.
  static std::string response(int status, std::string_view body);

 private:
  void serve();
  void serveConnection(int fd);
  bool waitReadable(int fd);

  Script script_;
  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  int port_ = -1;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
};

}  // namespace velmar::testing
