#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "bench_world.hpp"

namespace velmar::bench {

// What a host would write without the SDK: one libcurl easy handle, kept for every request
// so its connection stays open, sending the game-list request with the SDK's own headers,
// route, CA file and HTTP version.
class CurlClient {
 public:
  CurlClient(const World& world, Server server, const std::string& token);

  // Fetches game-list page 1 into `body`; false unless it came back 200.
  bool fetchPage(std::string& body);
  // Body bytes of the last answer as they crossed the network (compressed when it was).
  std::uint64_t bytesOnTheWire() const;

 private:
  struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
  };
  struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
  };
  using ListPtr = std::unique_ptr<curl_slist, ListDeleter>;

  void append(ListPtr& list, const std::string& line);

  std::unique_ptr<CURL, EasyDeleter> easy_;
  ListPtr headers_;
  ListPtr routes_;
  std::string url_;
  std::string caBundle_;
};

}  // namespace velmar::bench
