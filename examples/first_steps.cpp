// A host application: drives the SDK's main queue, watches the game list, logs a player in.
// It runs on the canned answers shipped with the library, so it needs no server.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <velmar/velmar.hpp>

int main() {
  auto& queue = velmar::MainQueue::main();
  auto& sdk = velmar::Velmar::instance();
  // A throwaway store keeps this demo away from the desktop's real key ring.
  velmar::KeychainWrapper::standard().setBackend(std::make_shared<velmar::MemoryKeyStore>());
  sdk.useCannedAnswers();
  sdk.initialize(velmar::ApiEnvironment::DEV);

  auto screen = std::make_shared<int>(0);  // stands for the host's games screen
  std::size_t games = 0;
  sdk.arcade()->gameList()->observe(screen, [&](const velmar::GameListState& state) {
    if (!state.isSuccess()) {
      std::cout << "game list failed\n";
    } else if (state.value() && !state.value()->empty()) {
      games += state.value()->size();
      std::cout << "page of " << state.value()->size()
                << " games, first: " << state.value()->front().name().value_or("?") << "\n";
    }
  });

  bool loggedIn = false;
  sdk.player()->logIn("ana.moreau@example.com", "correct horse", [&](velmar::Thunk<void> done) {
    try {
      done();  // sets islogin; a failure throws std::system_error
      loggedIn = true;
      auto player = sdk.player()->userInformation()->value();
      std::cout << "logged in as " << (player ? player->email().value_or("?") : "?") << "\n";
    } catch (const std::system_error& error) {
      std::cout << "log-in failed: " << error.what() << "\n";
    }
  });

  // A real host runs its own loop; here the queue runs until the first page has arrived.
  const bool done = queue.runUntil([&] { return loggedIn && games > 0; }, std::chrono::seconds(10));
  sdk.player()->logOut();
  queue.runUntilIdle(std::chrono::seconds(5));
  std::cout << (done ? "done" : "timed out") << "\n";
  return done ? 0 : 1;
}
