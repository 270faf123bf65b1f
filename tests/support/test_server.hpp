#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace velmar::testing {

// One request as a TestServer received it.
struct RecordedRequest {
  std::string method;
  std::string target;  // path and query exactly as sent on the request line
  // As the HTTP parser kept them: sorted by name, surrounding blanks trimmed. Tests that need
  // the wire order or trailing spaces use RawServer.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  int remotePort = -1;  // the client's side of the connection it came on

  // The first value of `name` (any case); empty when absent.
  std::string header(std::string_view name) const;
  bool hasHeader(std::string_view name) const;
};

// What a TestServer answers.
struct ScriptedResponse {
  int status = 200;
  std::string body = "{}";
  std::string contentType = "application/json";
};

// A cpp-httplib server on 127.0.0.1 with an ephemeral port, on its own threads, over HTTP or
// HTTPS. It records every request, answers through a replaceable handler and counts the
// TCP connections requests arrived on. Keep-alive is unlimited and Nagle is off, so it
// behaves like a production server for connection reuse and latency.
class TestServer {
 public:
  using Handler = std::function<ScriptedResponse(const RecordedRequest&)>;

  // Plain HTTP.
  TestServer();
  // HTTPS with a PEM certificate (chain) and key, e.g. from generateCertificates().
  TestServer(const std::filesystem::path& certFile, const std::filesystem::path& keyFile);
  // Stops accepting, closes connections and joins the server's threads.
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int port() const { return port_; }
  // A curl connect-to route sending requests for host:port to this server.
  std::string routeFrom(std::string_view host, int port) const;

  // Replaces the answer for every later request. The default is 200 with "{}".
  void setHandler(Handler handler);
  // Answers every later request with `response`.
  void respondWith(ScriptedResponse response);

  std::vector<RecordedRequest> requests() const;
  std::size_t requestCount() const;
  // Distinct client connections seen so far (by the client's port).
  std::size_t connectionCount() const;

 private:
  void start();

  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = -1;
  mutable std::mutex mutex_;
  Handler handler_;
  std::vector<RecordedRequest> requests_;
  std::set<int> clientPorts_;
};

// A port on 127.0.0.1 that nothing listens on (bound once, then released).
int unusedPort();

}  // namespace velmar::testing
