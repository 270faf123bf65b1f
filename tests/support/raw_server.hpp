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
// the middle of a body, reset the connection, stream more than fits in memory, or never
// answer. Serves one connection at a time, on its own thread.
class RawServer {
 public:
  // Writes bytes to the client; false once the client has gone.
  using Writer = std::function<bool(std::string_view)>;

  struct Reply {
    std::string bytes;         // written back as they are
    bool close = true;         // close the connection after writing
    bool neverAnswer = false;  // write nothing and hold the connection until the client leaves
    bool reset = false;        // end with a TCP reset (SO_LINGER 0) instead of a clean close
    // Called after `bytes` are written, to write more (a body too large to hold at once).
    std::function<void(const Writer&)> stream = nullptr;
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
  // Bytes written to clients so far, over every connection.
  std::size_t bytesWritten() const { return bytesWritten_.load(); }

  // A complete HTTP/1.1 answer with a Content-Length body.
  static std::string response(int status, std::string_view body);

 private:
  void serve();
  void serveConnection(int fd);
  bool waitReadable(int fd);
  bool writeAll(int fd, std::string_view bytes);

  Script script_;
  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  int port_ = -1;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::atomic<std::size_t> bytesWritten_{0};
};

}  // namespace velmar::testing
