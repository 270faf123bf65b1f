#include "platform/http_url.hpp"

#include <curl/curl.h>

#include <memory>
#include <string>

namespace velmar::http {
namespace {
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlPtr = std::unique_ptr<CURLU, UrlDeleter>;

struct FreeDeleter {
  void operator()(char* text) const { curl_free(text); }
};
}  // namespace

bool isValidURL(std::string_view url) {
  // curl_url_set reads a C string: an embedded NUL would cut the text short unnoticed.
  if (url.find('\0') != std::string_view::npos) return false;
  UrlPtr handle(curl_url());
  if (!handle) return false;
  const std::string text(url);
  if (curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
  char* raw = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &raw, 0) != CURLUE_OK) return false;
  std::unique_ptr<char, FreeDeleter> scheme(raw);
  const std::string_view name(scheme.get());
  return name == "http" || name == "https";
}

}  // namespace velmar::http
