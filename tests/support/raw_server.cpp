#include "support/raw_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <stdexcept>

namespace velmar::testing {
namespace {
constexpr linger kAbort{1, 0};     // close() then resets the connection, dropping unsent data
bool readable(int fd, int stop) {  // false once `stop` is: the server is going
  pollfd fds[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
  while (poll(fds, 2, -1) < 0) {
  }
  return fds[1].revents == 0;
}
}  // namespace

RawServer::RawServer(Script script, const TestCertificates* tls) : script_(std::move(script)) {
  if (tls) {
    std::signal(SIGPIPE, SIG_IGN);  // OpenSSL writes to sockets the client may have closed
    tls_.reset(SSL_CTX_new(TLS_server_method()));
    if (!tls_ || SSL_CTX_use_certificate(tls_.get(), tls->server->certificate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(tls_.get(), tls->server->key.get()) != 1) {
      throw std::runtime_error("RawServer: bad certificate or key");
    }
  }
  sockaddr_in address{
      .sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  socklen_t length = sizeof(address);
  listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
  if (pipe(stopPipe_) != 0 || listenFd_ < 0 ||
      bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listenFd_, 64) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("RawServer: cannot listen");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] {
    while (readable(listenFd_, stopPipe_[0])) {
      const int fd = accept(listenFd_, nullptr, nullptr);
      if (fd >= 0) connectionThreads_.emplace_back([this, fd] { serve(fd); });
    }
  });
}

RawServer::~RawServer() {
  (void)!write(stopPipe_[1], "s", 1);  // never read: every thread sees it
  acceptor_.join();
  for (auto& thread : connectionThreads_) thread.join();
  for (int fd : {listenFd_, stopPipe_[0], stopPipe_[1]}) close(fd);
}

void RawServer::serve(int fd) {
  std::unique_ptr<SSL, decltype(&SSL_free)> tls(tls_ ? SSL_new(tls_.get()) : nullptr, &SSL_free);
  bool open = !tls || (SSL_set_fd(tls.get(), fd) == 1 && SSL_accept(tls.get()) == 1);
  if (open) ++connections_;
  std::string buffer;
  char chunk[16384];
  auto readMore = [&] {
    if (!(tls && SSL_pending(tls.get()) > 0) && !readable(fd, stopPipe_[0])) return false;
    const auto n =
        tls ? SSL_read(tls.get(), chunk, sizeof(chunk)) : recv(fd, chunk, sizeof(chunk), 0);
    if (n > 0) buffer.append(chunk, static_cast<std::size_t>(n));
    return n > 0;
  };
  const Writer writeAll = [&](std::string_view bytes) {
    while (!bytes.empty()) {
      const auto n = tls ? SSL_write(tls.get(), bytes.data(), static_cast<int>(bytes.size()))
                         : send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytesWritten_ += static_cast<std::size_t>(n);
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  };
  for (std::size_t headEnd; open;) {
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos && (open = readMore())) {
    }
    const std::string head = open ? buffer.substr(0, headEnd + 2) : "";
    const char* field = strcasestr(head.c_str(), "\r\ncontent-length:");
    const std::size_t total = headEnd + 4 + (field ? std::stoul(field + 17) : 0);
    while (open && buffer.size() < total) open = readMore();
    if (!open) break;
    const std::string request = buffer.substr(0, total);
    buffer.erase(0, total);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const Reply reply = script_(request);
    while (reply.neverAnswer && readMore()) {
    }
    if (reply.neverAnswer) break;
    if (writeAll(reply.bytes) && reply.stream) reply.stream(writeAll);
    if (reply.reset) setsockopt(fd, SOL_SOCKET, SO_LINGER, &kAbort, sizeof(kAbort));
    open = !reply.close && !reply.reset;
  }
  close(fd);
}

}  // namespace velmar::testing
