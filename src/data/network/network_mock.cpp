#include "data/network/network_mock.hpp"

#include <utility>

#include "platform/resources.hpp"

namespace velmar {
namespace {

std::optional<std::filesystem::path> shippedMockData() {
  auto bundle = resources::bundleDirectory();
  if (!bundle) return std::nullopt;
  return *bundle / "MockData";
}

}  // namespace

NetworkMock::NetworkMock() : directory_(shippedMockData()) {}

NetworkMock::NetworkMock(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::optional<Bytes> NetworkMock::getData(std::string_view jsonName) const {
  if (!directory_) return std::nullopt;
  return resources::read(*directory_, jsonName, "json");  // read afresh on every call
}

// A missing or unreadable file still answers exactly once, with neither status nor body,
// which the services report as a transport failure.
void NetworkMock::answer(std::string_view jsonName, const DataCallback& result) const {
  auto bytes = getData(jsonName);
  if (!bytes) {
    result(std::nullopt, std::nullopt);
    return;
  }
  result(statusCode, std::move(bytes));
}

void NetworkMock::logInRequest(const http::Request&, DataCallback result) {
  answer("UserInformation", result);
}

void NetworkMock::signUpRequest(const http::Request&, SignUpCallback result) {
  auto bytes = getData("UserRegistration");
  if (!bytes) {
    result(std::nullopt, Result<std::optional<Bytes>, http::Error>::failure(
                             http::Error{"canned answer UserRegistration.json is missing"}));
    return;
  }
  result(statusCode, Result<std::optional<Bytes>, http::Error>::success(std::move(bytes)));
}

void NetworkMock::gameListRequest(const http::Request&, DataCallback result) {
  answer("GameList", result);
}

void NetworkMock::launchGameRequest(const http::Request&, DataCallback result) {
  answer("LaunchGame", result);
}

void NetworkMock::getCurrencyList(const http::Request&, DataCallback result) {
  answer("CurrencyList", result);
}

void NetworkMock::getBalance(const http::Request&, DataCallback result) {
  answer("Balance", result);
}

}  // namespace velmar
