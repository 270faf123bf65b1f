#include "sandbox_server.hpp"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

#include "certificates.hpp"

namespace velmar::sandbox {
namespace {

// Enough workers that a burst of concurrent clients is served at once: httplib gives each
// open connection a worker for as long as it stays open.
constexpr std::size_t kWorkers = 64;
constexpr std::size_t kMaxRequestsPerConnection = 100000;
constexpr time_t kKeepAliveSeconds = 30;
// Far above any real body; keeps a hostile client from making us buffer gigabytes.
constexpr std::size_t kMaxBodyBytes = 1 << 20;

// httplib's workers wait out the whole keep-alive timeout on an idle connection before they
// notice the server stopped. Shutting down our side of every accepted connection (the
// sockets whose local port is ours and that have a peer) wakes them at once. Runs after the
// listening socket is closed, so no new connection can appear meanwhile.
void closeAcceptedConnections(int port) {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ignored)) {
    char* end = nullptr;
    const std::string name = entry.path().filename().string();
    const long fd = std::strtol(name.c_str(), &end, 10);
    if (end == name.c_str() || *end != '\0') continue;
    sockaddr_in local{};
    sockaddr_in peer{};
    socklen_t localLength = sizeof(local);
    socklen_t peerLength = sizeof(peer);
    const int socket = static_cast<int>(fd);
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) continue;
    if (local.sin_family != AF_INET || ntohs(local.sin_port) != port) continue;
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) continue;
    shutdown(socket, SHUT_RDWR);
  }
}

// httplib reports the connection's addresses as if they were request headers.
bool isConnectionPseudoHeader(const std::string& name) {
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
         name == "LOCAL_PORT";
}

ApiRequest toApiRequest(const httplib::Request& in) {
  ApiRequest request;
  request.method = in.method;
  request.path = in.path;
  for (const auto& field : in.headers) {
    if (!isConnectionPseudoHeader(field.first)) request.headers.push_back(field);
  }
  // Params is a multimap: values of one name keep the order they were sent in.
  for (const auto& parameter : in.params) request.query.push_back(parameter);
  request.body = in.body;
  return request;
}

std::filesystem::path makePrivateDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmar-sandbox-XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a directory for the certificates");
  }
  return pattern;
}

// The body gzip-compressed at a fast level; absent when zlib fails.
std::optional<std::string> gzipped(const std::string& body) {
  z_stream stream{};
  // 15 + 16: a gzip wrapper around the deflate stream.
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return std::nullopt;
  }
  std::string out(deflateBound(&stream, body.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  stream.avail_in = static_cast<uInt>(body.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (!done) return std::nullopt;
  return out;
}

// Answers as a platform behind a compressing proxy does: gzip when the client offers it.
// Written here rather than left to httplib, whose brotli at its highest quality costs more
// time per answer than the rest of the sandbox together; the media type's parameter keeps
// httplib's own compression off.
void setJson(const httplib::Request& in, httplib::Response& out, const std::string& body) {
  constexpr const char* kJson = "application/json; charset=utf-8";
  const std::string offered = in.get_header_value("Accept-Encoding");
  if (body.size() > 256 && offered.find("gzip") != std::string::npos) {
    if (auto compressed = gzipped(body)) {
      out.set_header("Content-Encoding", "gzip");
      out.set_content(std::move(*compressed), kJson);
      return;
    }
  }
  out.set_content(body, kJson);
}

}  // namespace

std::vector<std::string> environmentHosts() {
  return {VELMAR_DEV_HOST, VELMAR_STG_HOST, VELMAR_PROD_HOST};
}

void logToStandardError(std::string_view line) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

Sandbox::Sandbox(SandboxOptions options) : options_(std::move(options)), api_(options_.seed) {}

Sandbox::~Sandbox() { stop(); }

std::string Sandbox::origin() const {
  return std::string(options_.tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

void Sandbox::start() {
  if (server_) throw std::runtime_error("the sandbox is already running");
  std::unique_ptr<httplib::Server> server;
  if (options_.tls) {
    ServerIdentity identity = generateServerIdentity(options_.hostNames);
    std::filesystem::path directory = options_.certDirectory;
    if (directory.empty()) {
      directory = ownDirectory_ = makePrivateDirectory();
    } else {
      std::filesystem::create_directories(directory);
    }
    caFile_ = std::filesystem::absolute(directory / "ca.pem");
    writePem(caFile_, identity.authority.get());
    // The server context takes its own references to the certificate and the key.
    server = std::make_unique<httplib::SSLServer>(identity.certificate.get(), identity.key.get());
  } else {
    server = std::make_unique<httplib::Server>();
  }
  if (!server->is_valid()) throw std::runtime_error("cannot set up the server's TLS context");

  server->new_task_queue = [] {
    // httplib takes ownership of the pool it is handed.
    return std::make_unique<httplib::ThreadPool>(kWorkers).release();
  };
  // Without these httplib delays every answer by ~40 ms and drops a connection after five
  // requests, which would make the sandbox useless for measuring a client.
  server->set_tcp_nodelay(true);
  server->set_keep_alive_max_count(kMaxRequestsPerConnection);
  server->set_keep_alive_timeout(kKeepAliveSeconds);
  server->set_payload_max_length(kMaxBodyBytes);
  // httplib's own options add SO_REUSEPORT, which lets a second server bind a port in use and
  // silently take half its connections. Address reuse alone still allows a quick restart.
  int listening = -1;
  server->set_socket_options([&listening](int socket) {
    int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    listening = socket;
  });

  auto handle = [this](const httplib::Request& in, httplib::Response& out) {
    const auto started = std::chrono::steady_clock::now();
    ApiResponse answer = api_.handle(toApiRequest(in));
    if (options_.latency.count() > 0) std::this_thread::sleep_for(options_.latency);
    out.status = answer.status;
    setJson(in, out, answer.body);
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - started;
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.2f ms", took.count());
    // The target holds no secret: tokens and passwords travel in headers and bodies.
    log(in.method + " " + in.target + " " + std::to_string(answer.status) + " " + duration);
  };
  // Every path and method reaches the platform, which answers unknown ones itself.
  server->Get(".*", handle);
  server->Post(".*", handle);
  server->Put(".*", handle);
  server->Delete(".*", handle);
  server->Patch(".*", handle);
  // Requests httplib refuses itself (oversized, malformed) still get a JSON error and a line.
  server->set_error_handler([this](const httplib::Request& in, httplib::Response& out) {
    if (!out.body.empty()) return;
    const std::string message = "request refused with HTTP " + std::to_string(out.status);
    setJson(in, out, nlohmann::json{{"error", message}}.dump());
    log(in.method + " " + in.target + " " + std::to_string(out.status));
  });

  const int port = options_.port == 0
                       ? server->bind_to_any_port("127.0.0.1")
                       : (server->bind_to_port("127.0.0.1", options_.port) ? options_.port : -1);
  if (port <= 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(options_.port));
  }
  // httplib listens with a backlog of 5: a burst of clients would see dropped SYNs and
  // second-long retransmission delays. Listening again only raises the backlog.
  if (listening >= 0) ::listen(listening, SOMAXCONN);
  server->set_socket_options([](int) {});  // drops the reference to `listening`
  port_ = port;
  server_ = std::move(server);
  // Binding also listens, so clients may connect before the accept loop below runs.
  auto finished = std::make_shared<std::atomic<bool>>(false);
  thread_ = std::thread([this, finished] {
    server_->listen_after_bind();
    *finished = true;
  });
  // httplib's stop() does nothing until the accept loop has begun, so a stop right after
  // start would be lost and the join would hang. Wait for the loop; it begins at once.
  while (!server_->is_running() && !*finished) {
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

void Sandbox::stop() {
  if (server_) {
    server_->stop();
    closeAcceptedConnections(port_);
    if (thread_.joinable()) thread_.join();
    server_.reset();
  }
  if (!ownDirectory_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(ownDirectory_, ignored);
    ownDirectory_.clear();
    caFile_.clear();
  }
}

void Sandbox::log(std::string_view line) {
  if (!options_.log) return;
  std::lock_guard lock(logMutex_);
  options_.log("velmar-sandbox: " + std::string(line));
}

}  // namespace velmar::sandbox
