#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "velmar/network_provider.hpp"

namespace velmar {

// Answers every request from the canned files in the library's "MockData" folder, with
// status 200, on the calling thread, before the operation returns. The request itself is
// never read.
class NetworkMock : public NetworkProvider {
 public:
  // Serves the files shipped beside the library.
  NetworkMock();
  // Serves the six files from `directory` instead (tests).
  explicit NetworkMock(std::filesystem::path directory);

  void logInRequest(const http::Request& url, DataCallback result) override;
  void signUpRequest(const http::Request& url, SignUpCallback result) override;
  void gameListRequest(const http::Request& url, DataCallback result) override;
  void launchGameRequest(const http::Request& url, DataCallback result) override;
  void getCurrencyList(const http::Request& url, DataCallback result) override;
  void getBalance(const http::Request& url, DataCallback result) override;

  // The status reported with every answer.
  const std::int64_t statusCode = 200;

 private:
  std::optional<Bytes> getData(std::string_view jsonName) const;
  void answer(std::string_view jsonName, const DataCallback& result) const;

  std::optional<std::filesystem::path> directory_;
};

}  // namespace velmar
