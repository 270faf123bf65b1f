#include "curl_client.hpp"

#include <stdexcept>

namespace velmar::bench {
namespace {

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

}  // namespace

CurlClient::CurlClient(const World& world, Server server, const std::string& token)
    : easy_(curl_easy_init()), url_(world.pageUrl(server)), caBundle_(world.caBundle()) {
  if (!easy_) throw std::runtime_error("curl_easy_init failed");
  append(headers_, "Authentication-Type: default");
  append(headers_, "Content-Type: application/json");
  append(headers_, "Authorization: Bearer " + token);
  append(headers_, "Accept:");
  append(headers_, "Expect:");
  append(routes_, world.route(server));
  CURL* h = easy_.get();
  curl_easy_setopt(h, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
  curl_easy_setopt(h, CURLOPT_CAINFO, caBundle_.c_str());
  curl_easy_setopt(h, CURLOPT_CONNECT_TO, routes_.get());
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers_.get());
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, 60000L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &collect);
  // The SDK offers every encoding libcurl decodes; so do the clients it is compared with.
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
}

void CurlClient::append(ListPtr& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (grown == nullptr) throw std::runtime_error("curl_slist_append failed");
  (void)list.release();
  list.reset(grown);
}

bool CurlClient::fetchPage(std::string& body) {
  body.clear();
  curl_easy_setopt(easy_.get(), CURLOPT_WRITEDATA, &body);
  if (curl_easy_perform(easy_.get()) != CURLE_OK) return false;
  long status = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
  return status == 200 && !body.empty();
}

std::uint64_t CurlClient::bytesOnTheWire() const {
  curl_off_t bytes = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_SIZE_DOWNLOAD_T, &bytes);
  return static_cast<std::uint64_t>(bytes);
}

}  // namespace velmar::bench
