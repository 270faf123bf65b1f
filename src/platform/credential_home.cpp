#include "platform/credential_home.hpp"

#include <fstream>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "support/constants.hpp"
#include "support/no_destructor.hpp"

namespace velmar::internal {
namespace {

constexpr std::string_view kHomeText = "secret-service\n";

std::vector<std::string> credentialKeys() {
  std::vector<std::string> keys;
  for (auto constant : {Constants::EMAIL, Constants::PASSWORD, Constants::TOKEN,
                        Constants::USERID}) {
    keys.emplace_back(rawValue(constant));
  }
  return keys;
}

bool isHome(const std::filesystem::path& marker) {
  std::ifstream in(marker);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text == kHomeText;
}

// Written whole or not at all: a torn marker would read as "no home".
void rememberHome(const std::filesystem::path& marker) {
  if (isHome(marker)) return;
  std::error_code error;
  std::filesystem::create_directories(marker.parent_path(), error);
  std::filesystem::permissions(marker.parent_path(), std::filesystem::perms::owner_all, error);
  auto temporary = marker;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << kHomeText;
    if (!out.flush()) return;
  }
  std::filesystem::rename(temporary, marker, error);
}

// All the file's credentials, or none: a half-moved set would split one login in two.
bool moveCredentials(KeyStore& from, KeyStore& to) {
  std::vector<KeyStore::Entry> found;
  const auto keys = credentialKeys();
  for (const auto& key : keys) {
    if (auto value = from.string(key)) found.emplace_back(key, std::move(*value));
  }
  if (found.empty()) return true;
  if (!to.setAll(found)) return false;
  from.removeAll(keys);
  return true;
}

// The home that does not answer: nothing to read, and every write refused.
class UnreachableStore : public KeyStore {
 public:
  bool set(const std::string&, const std::string&) override { return false; }
  std::optional<std::string> string(const std::string&) override { return std::nullopt; }
  bool removeObject(const std::string&) override { return false; }
};

struct NoticeBoard {
  std::mutex mutex;
  std::optional<std::string> notice;
};

NoticeBoard& noticeBoard() {
  static NoDestructor<NoticeBoard> board;
  return board.value;
}

}  // namespace

ChosenHome chooseHome(const HomeCandidates& candidates) {
  if (candidates.secretServiceAnswers()) {
    auto secretService = candidates.secretService();
    if (moveCredentials(*candidates.file, *secretService)) {
      rememberHome(candidates.marker);
      return {std::move(secretService), std::nullopt};
    }
    return {candidates.file,
            "key store: the Secret Service refused the credentials kept in the file; this run "
            "keeps using the file"};
  }
  if (isHome(candidates.marker)) {
    return {std::make_shared<UnreachableStore>(),
            "key store: the Secret Service holds this account's credentials and does not "
            "answer (locked or not running); no session is restored and none is saved"};
  }
  return {candidates.file, std::nullopt};
}

HomeCandidates standardCandidates() {
  auto file = std::make_shared<FileKeyStore>();
  auto marker = file->path().parent_path() / "credentials.home";
  return {[] { return SecretServiceKeyStore::available(); },
          [] { return std::make_shared<SecretServiceKeyStore>(); }, std::move(file),
          std::move(marker)};
}

void postKeyStoreNotice(std::string notice) {
  auto& board = noticeBoard();
  std::lock_guard lock(board.mutex);
  board.notice = std::move(notice);
}

std::optional<std::string> takeKeyStoreNotice() {
  auto& board = noticeBoard();
  std::lock_guard lock(board.mutex);
  return std::exchange(board.notice, std::nullopt);
}

}  // namespace velmar::internal
