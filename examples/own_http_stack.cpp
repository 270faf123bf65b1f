// A host that brings its own HTTP stack. Its NetworkProvider answers from memory here; a real
// one would send each ready-built request through the host's client (a proxy, a pinned
// connection) and post the status and body to the main queue. The SDK runs a log-in and two
// pages through it.
#include <velmar/velmar.hpp>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

namespace {

class OwnStack : public velmar::NetworkProvider {
 public:
  std::vector<std::string> urls;

  void logInRequest(const velmar::http::Request& url, velmar::DataCallback result) override {
    answer(url, R"({"result": {"token": "t", "player": {"id": "5", "email": "a@b.example"}}})",
           std::move(result));
  }
  void signUpRequest(const velmar::http::Request&, velmar::SignUpCallback result) override {
    velmar::MainQueue::main().post([result = std::move(result)] {
      result(std::nullopt, velmar::Result<std::optional<velmar::Bytes>, velmar::http::Error>::
                               failure(velmar::http::Error{"not served here"}));
    });
  }
  void gameListRequest(const velmar::http::Request& url, velmar::DataCallback result) override {
    answer(url, R"({"result": [{"id": 1, "name": "Roulette"}]})", std::move(result));
  }
  void launchGameRequest(const velmar::http::Request& url, velmar::DataCallback result) override {
    answer(url, "{}", std::move(result));
  }
  void getCurrencyList(const velmar::http::Request& url, velmar::DataCallback result) override {
    answer(url, R"({"result": []})", std::move(result));
  }
  void getBalance(const velmar::http::Request& url, velmar::DataCallback result) override {
    answer(url, "{}", std::move(result));
  }

 private:
  void answer(const velmar::http::Request& request, const std::string& body,
              velmar::DataCallback result) {
    urls.push_back(request.url);
    velmar::MainQueue::main().post([result = std::move(result), body] {
      result(200, velmar::Bytes(body.begin(), body.end()));
    });
  }
};

}  // namespace

int main() {
  velmar::KeychainWrapper::standard().setBackend(std::make_shared<velmar::MemoryKeyStore>());
  auto stack = std::make_shared<OwnStack>();
  auto& sdk = velmar::Velmar::instance();
  sdk.useNetworkProvider(stack);
  sdk.initialize(velmar::ApiEnvironment::DEV);
  int pages = 0;
  sdk.arcade()->gameList()->observe(nullptr, [&](const velmar::GameListState& state) {
    if (state.isSuccess() && state.value()) ++pages;
  });
  sdk.player()->logIn("a@b.example", "pw", [](velmar::Thunk<void> done) { done(); });
  auto& queue = velmar::MainQueue::main();
  bool ok = queue.runUntil([&] { return pages == 1; }, std::chrono::seconds(10));
  sdk.downloadMoreGameList();
  ok = ok && queue.runUntil([&] { return pages == 2; }, std::chrono::seconds(10));
  const bool secondPage =
      !stack->urls.empty() && stack->urls.back().find("page=2") != std::string::npos;
  std::cout << "own provider: " << stack->urls.size() << " requests, " << pages << " pages\n";
  return ok && secondPage ? 0 : 1;
}
