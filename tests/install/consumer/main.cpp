// Logs in on the canned answers of an installed VelmarSDK and waits for the first page.
#include <velmar/velmar.hpp>

#include <chrono>
#include <iostream>

int main() {
  velmar::KeychainWrapper::standard().setBackend(std::make_shared<velmar::MemoryKeyStore>());
  auto& sdk = velmar::Velmar::instance();
  sdk.useCannedAnswers();
  sdk.initialize(velmar::ApiEnvironment::DEV);
  std::size_t games = 0;
  sdk.arcade()->gameList()->observe(nullptr, [&](const velmar::GameListState& state) {
    if (state.isSuccess() && state.value()) games = state.value()->size();
  });
  sdk.player()->logIn("someone@example.com", "pw", [](velmar::Thunk<void> done) { done(); });
  const bool ok = velmar::MainQueue::main().runUntil([&] { return games > 0; },
                                                     std::chrono::seconds(10));
  std::cout << "games: " << games << "\n";
  return ok ? 0 : 1;
}
