// A host driving the SDK's main queue and keeping credentials in the key store.
#include <velmar/velmar.hpp>

#include <chrono>
#include <iostream>
#include <thread>

int main() {
  auto& queue = velmar::MainQueue::main();
  auto& keychain = velmar::KeychainWrapper::standard();

  // Work finished on another thread reaches the host as a task on the main queue.
  std::thread worker([&] {
    queue.post([&] {
      keychain.set("player@example.com", "email");
      std::cout << "stored e-mail: " << keychain.string("email").value_or("<none>") << "\n";
    });
  });
  bool idle = queue.runUntil([&] { return keychain.string("email").has_value(); },
                             std::chrono::seconds(5));
  worker.join();
  keychain.removeObject("email");
  std::cout << (idle ? "done" : "timed out") << "\n";
  return idle ? 0 : 1;
}
