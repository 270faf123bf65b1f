#include "sandbox_client.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace velmar::sandbox::testing {
namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

size_t collect(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

}  // namespace

std::vector<std::string> platformHeaders(const std::string& token) {
  return {"Authentication-Type: default", "Content-Type: application/json",
          "Authorization: Bearer " + token};
}

SandboxClient::SandboxClient(const Sandbox& sandbox)
    : host(sandbox.tls() ? environmentHosts().front() : "127.0.0.1"), sandbox_(sandbox) {
  if (sandbox.tls()) caFile = sandbox.caFile().string();
}

Reply SandboxClient::send(const std::string& method, const std::string& path,
                          const std::vector<std::string>& headers,
                          const std::optional<std::string>& body) const {
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  std::unique_ptr<curl_slist, ListDeleter> headerList;
  for (const auto& header : headers) {
    headerList.reset(curl_slist_append(headerList.release(), header.c_str()));
  }
  Reply reply;
  const bool tls = sandbox_.tls();
  const std::string port = std::to_string(sandbox_.port());
  const std::string url = tls ? "https://" + host + path : "http://127.0.0.1:" + port + path;
  // Lives until the transfer ends: curl keeps the pointer, not a copy.
  std::unique_ptr<curl_slist, ListDeleter> route(
      curl_slist_append(nullptr, (host + ":443:127.0.0.1:" + port).c_str()));
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT, 20L);
  curl_easy_setopt(easy.get(), CURLOPT_CUSTOMREQUEST, method.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headerList.get());
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &reply.body);
  if (body) {
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, body->data());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
  }
  if (tls) {
    curl_easy_setopt(easy.get(), CURLOPT_CONNECT_TO, route.get());
    if (caFile) {
      curl_easy_setopt(easy.get(), CURLOPT_CAINFO, caFile->c_str());
      // Only the sandbox's authority, so a pass cannot come from the system's store.
      curl_easy_setopt(easy.get(), CURLOPT_CAPATH, nullptr);
    }
  }
  reply.transport = curl_easy_perform(easy.get());
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &reply.status);
  return reply;
}

Reply SandboxClient::get(const std::string& path, const std::string& token) const {
  return send("GET", path, platformHeaders(token));
}

Reply SandboxClient::post(const std::string& path, const std::string& body,
                          const std::string& token) const {
  return send("POST", path, platformHeaders(token), body);
}

std::string SandboxClient::logIn(const std::string& email, const std::string& password) const {
  Reply reply =
      post("/api/v1/login", nlohmann::json{{"email", email}, {"password", password}}.dump());
  EXPECT_EQ(reply.status, 200) << reply.body;
  nlohmann::json json = reply.json();
  if (!json.is_object() || !json["result"].is_object() || !json["result"]["token"].is_string()) {
    ADD_FAILURE() << "no token in " << reply.body;
    return "";
  }
  return json["result"]["token"].get<std::string>();
}

}  // namespace velmar::sandbox::testing
