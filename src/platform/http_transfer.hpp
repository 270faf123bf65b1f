#pragma once

// One HTTP transfer: an easy handle set up from a request and its configuration, its body.

#include <curl/curl.h>

#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/http_configuration.hpp"
#include "platform/http_session.hpp"
#include "platform/http_types.hpp"

namespace velmar::http {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

// A Response that carries only a transport failure.
Response transportFailure(std::string message);

// Everything one request needs while libcurl owns it; freed on the I/O thread when done.
struct Transfer {
  Request request;  // owns the body libcurl sends from
  Session::Completion completion;
  ConfigurationPtr config;  // as it was when the request was made
  EasyPtr easy;
  SlistPtr headers;
  SlistPtr routes;
  Bytes body;
  bool overCap = false;
  std::array<char, CURL_ERROR_SIZE> error{};

  // Applies the request and its configuration to `handle`, a fresh or reset easy handle,
  // which the transfer keeps; false when the request cannot go out as it is.
  bool prepare(EasyPtr handle);
  // The outcome once libcurl has finished with `code`.
  Response response(CURLcode code);
  // Tells the configuration's observer, if any, how the request ended. Call before the
  // handle is recycled, since the timings and version come from it.
  void reportEnd(const Response& response, CURLcode code) const;

 private:
  bool answeredBeforeClose(CURLcode code) const;
  static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user);
  void reserveAnnounced(std::size_t firstPiece, std::size_t maxBytes);
  bool setMethodAndBody(CURL* h);
  bool setHeaders(CURL* h);
};

}  // namespace velmar::http
