#pragma once

// Where this account's credentials live when the host and the environment chose nothing.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "velmar/key_store.hpp"

namespace velmar::internal {

// What the automatic choice looks at, injected so that the rule runs without a desktop.
struct HomeCandidates {
  std::function<bool()> secretServiceAnswers;
  std::function<std::shared_ptr<KeyStore>()> secretService;
  std::shared_ptr<KeyStore> file;
  // Beside the credentials file, holding no secret: present once the Secret Service is home.
  std::filesystem::path marker;
};

// The store to use, and a line for the host's log when the credentials cannot be reached.
struct ChosenHome {
  std::shared_ptr<KeyStore> store;
  std::optional<std::string> notice;
};

// The Secret Service when it answers (after moving the file's credentials into it, and
// remembering it as home); while it is home and silent, a store that holds nothing and
// refuses every write, so the password never lands in the plain file; else the file.
ChosenHome chooseHome(const HomeCandidates& candidates);

// The candidates of this machine: the session's Secret Service and the default file store.
HomeCandidates standardCandidates();

// Keeps `notice` until the facade takes it for its log; the latest one wins.
void postKeyStoreNotice(std::string notice);
std::optional<std::string> takeKeyStoreNotice();

}  // namespace velmar::internal
