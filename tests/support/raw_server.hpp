#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/certificates.hpp"

namespace velmar::testing {

// A bare HTTP/1.1 server on 127.0.0.1, plain or over TLS, one thread per connection: it shows
// each request byte for byte and answers with whatever bytes a test scripts, however broken.
class RawServer {
 public:
  using Writer = std::function<bool(std::string_view)>;
  struct Reply {
    std::string bytes;         // written back as they are
    bool close = true;         // close the connection after writing
    bool neverAnswer = false;  // write nothing and hold the connection until the client leaves
    bool reset = false;        // end with a TCP reset instead of a clean close
    std::function<void(const Writer&)> stream = nullptr;  // writes more; false: client gone
  };
  // Given one whole request (head and Content-Length body), decides the reply.
  using Script = std::function<Reply(const std::string& request)>;

  // Over TLS, showing `tls`'s server certificate, when given.
  explicit RawServer(Script script, const TestCertificates* tls = nullptr);
  ~RawServer();  // also the end of every connection

  int port() const { return port_; }
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::size_t bytesWritten() const { return bytesWritten_; }
  // Connections accepted; over TLS, those whose handshake completed.
  std::size_t connections() const { return connections_; }
  static std::string response(int status, std::string_view body) {
    return "HTTP/1.1 " + std::to_string(status) +
           " Scripted\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nContent-Type: application/json\r\n\r\n" + std::string(body);
  }

 private:
  void serve(int fd);
  Script script_;
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> tls_{nullptr, &SSL_CTX_free};
  int listenFd_ = -1, port_ = -1, stopPipe_[2] = {-1, -1};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::atomic<std::size_t> bytesWritten_{0}, connections_{0};
  std::vector<std::thread> connectionThreads_;  // the acceptor's alone until it ends
  std::thread acceptor_;
};

}  // namespace velmar::testing
