#include "data/network/network_service.hpp"

#include <utility>

#include "support/no_destructor.hpp"
#include "platform/http_session.hpp"

namespace velmar {
namespace {

// Status codes and bodies pass through untouched: a 4xx or 5xx is no failure here.
void send(const http::Request& request, DataCallback result) {
  http::Session::shared().request(request, [result = std::move(result)](http::Response response) {
    result(response.statusCode, std::move(response.body));
  });
}

}  // namespace

NetworkProvider::~NetworkProvider() = default;

std::shared_ptr<NetworkProvider> NetworkService::inject() {
  static NoDestructor<std::shared_ptr<NetworkProvider>> instance(
      std::make_shared<NetworkService>());
  return instance.value;
}

void NetworkService::logInRequest(const http::Request& url, DataCallback result) {
  send(url, std::move(result));
}

void NetworkService::signUpRequest(const http::Request& url, SignUpCallback result) {
  http::Session::shared().request(url, [result = std::move(result)](http::Response response) {
    result(response.statusCode, std::move(response).takeResult());
  });
}

void NetworkService::gameListRequest(const http::Request& url, DataCallback result) {
  send(url, std::move(result));
}

void NetworkService::launchGameRequest(const http::Request& url, DataCallback result) {
  send(url, std::move(result));
}

void NetworkService::getCurrencyList(const http::Request& url, DataCallback result) {
  send(url, std::move(result));
}

void NetworkService::getBalance(const http::Request& url, DataCallback result) {
  send(url, std::move(result));
}

}  // namespace velmar
