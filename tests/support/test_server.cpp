#include "support/test_server.hpp"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <stdexcept>

namespace velmar::testing {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

// httplib's workers wait out the whole keep-alive timeout on an idle connection before they
// notice the server stopped. Shutting down the server's side of every accepted connection
// (the sockets whose local port is ours) wakes them at once. Called after the listening
// socket is closed, so no new connection can appear meanwhile.
void closeAcceptedConnections(int port) {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ignored)) {
    int fd = -1;
    try {
      fd = std::stoi(entry.path().filename().string());
    } catch (const std::exception&) {
      continue;
    }
    sockaddr_in local{};
    sockaddr_in peer{};
    socklen_t localLength = sizeof(local);
    socklen_t peerLength = sizeof(peer);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) continue;
    if (local.sin_family != AF_INET || ntohs(local.sin_port) != port) continue;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) continue;
    shutdown(fd, SHUT_RDWR);
  }
}

// httplib reports the connection's addresses as if they were request headers.
bool isConnectionPseudoHeader(const std::string& name) {
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
         name == "LOCAL_PORT";
}

// Enough workers that every connection of a burst of concurrent requests is served at once;
// httplib's default pool would leave some waiting behind idle keep-alive connections.
constexpr std::size_t kWorkers = 64;

}  // namespace

std::string RecordedRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (sameName(key, name)) return value;
  }
  return "";
}

bool RecordedRequest::hasHeader(std::string_view name) const {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& field) { return sameName(field.first, name); });
}

TestServer::TestServer() : server_(std::make_unique<httplib::Server>()) { start(); }

TestServer::TestServer(const std::filesystem::path& certFile, const std::filesystem::path& keyFile)
    : server_(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())) {
  if (!server_->is_valid()) throw std::runtime_error("TestServer: bad certificate or key");
  start();
}

TestServer::~TestServer() {
  server_->stop();
  closeAcceptedConnections(port_);
  if (thread_.joinable()) thread_.join();
}

void TestServer::start() {
  respondWith(ScriptedResponse{});
  server_->new_task_queue = [] {
    // httplib takes ownership of the pool it is handed.
    return std::make_unique<httplib::ThreadPool>(kWorkers).release();
  };
  server_->set_tcp_nodelay(true);
  server_->set_keep_alive_max_count(1000000);
  auto handle = [this](const httplib::Request& in, httplib::Response& out) {
    RecordedRequest request{in.method, in.target, {}, in.body, in.remote_port};
    for (const auto& field : in.headers) {
      if (!isConnectionPseudoHeader(field.first)) {
        request.headers.emplace_back(field.first, field.second);
      }
    }
    Handler handler;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
      clientPorts_.insert(in.remote_port);
      handler = handler_;
    }
    ScriptedResponse answer = handler(request);
    out.status = answer.status;
    if (!answer.body.empty()) out.set_content(answer.body, answer.contentType.c_str());
  };
  server_->Get(".*", handle);
  server_->Post(".*", handle);
  server_->Put(".*", handle);
  server_->Delete(".*", handle);
  // Binding also listens, so clients may connect before the accept loop below runs.
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("TestServer: cannot bind");
  auto finished = std::make_shared<std::atomic<bool>>(false);
  thread_ = std::thread([this, finished] {
    server_->listen_after_bind();
    *finished = true;
  });
  // httplib's stop() is lost until the accept loop runs, and the destructor's join would then
  // hang; the loop begins at once, so wait for it here.
  while (!server_->is_running() && !*finished) std::this_thread::yield();
}

std::string TestServer::routeFrom(std::string_view host, int port) const {
  return std::string(host) + ":" + std::to_string(port) + ":127.0.0.1:" + std::to_string(port_);
}

void TestServer::setHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void TestServer::respondWith(ScriptedResponse response) {
  setHandler([response = std::move(response)](const RecordedRequest&) { return response; });
}

std::vector<RecordedRequest> TestServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t TestServer::requestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

std::size_t TestServer::connectionCount() const {
  std::lock_guard lock(mutex_);
  return clientPorts_.size();
}

int unusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("unusedPort: socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  close(fd);
  if (!ok) throw std::runtime_error("unusedPort: bind");
  return ntohs(address.sin_port);
}

}  // namespace velmar::testing
