#include "support/raw_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace velmar::testing {
namespace {

// The value of Content-Length in a request head, or 0.
std::size_t contentLength(std::string_view head) {
  std::string lower(head);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return std::stoul(lower.substr(at + 17));
}

// A zero linger time makes the next close() send a reset and drop unsent data.
void abortOnClose(int fd) {
  linger abort{};
  abort.l_onoff = 1;
  abort.l_linger = 0;
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
}

}  // namespace

RawServer::RawServer(Script script) : script_(std::move(script)) {
  if (pipe(stopPipe_) != 0) throw std::runtime_error("RawServer: pipe");
  listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (listenFd_ < 0 ||
      bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listenFd_, 64) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("RawServer: cannot listen");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

RawServer::~RawServer() {
  const char stop = 's';
  (void)!write(stopPipe_[1], &stop, 1);
  thread_.join();
  close(listenFd_);
  close(stopPipe_[0]);
  close(stopPipe_[1]);
}

std::string RawServer::routeFrom(std::string_view host, int port) const {
  return std::string(host) + ":" + std::to_string(port) + ":127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> RawServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::string RawServer::response(int status, std::string_view body) {
  return "HTTP/1.1 " + std::to_string(status) +
         " Scripted\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nContent-Type: application/json\r\n\r\n" + std::string(body);
}

bool RawServer::writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytesWritten_ += static_cast<std::size_t>(n);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool RawServer::waitReadable(int fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) return false;
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

void RawServer::serve() {
  while (waitReadable(listenFd_)) {
    const int fd = accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    serveConnection(fd);
    close(fd);
  }
}

void RawServer::serveConnection(int fd) {
  std::string buffer;
  char chunk[4096];
  auto readMore = [&] {
    if (!waitReadable(fd)) return false;
    const ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(n));
    return true;
  };
  for (;;) {
    std::size_t headEnd;
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
      if (!readMore()) return;
    }
    const std::size_t total = headEnd + 4 + contentLength(buffer.substr(0, headEnd + 2));
    while (buffer.size() < total) {
      if (!readMore()) return;
    }
    const std::string request = buffer.substr(0, total);
    buffer.erase(0, total);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const Reply reply = script_(request);
    if (reply.neverAnswer) {
      while (readMore()) {
      }
      return;
    }
    const bool sent = writeAll(fd, reply.bytes);
    if (sent && reply.stream) {
      reply.stream([this, fd](std::string_view bytes) { return writeAll(fd, bytes); });
    }
    if (reply.reset) abortOnClose(fd);
    if (reply.close || reply.reset) return;
  }
}

}  // namespace velmar::testing
