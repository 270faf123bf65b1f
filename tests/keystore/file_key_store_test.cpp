#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {
namespace {

namespace fs = std::filesystem;
using Values = std::map<std::string, std::string>;

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The file's values when it is a JSON object of texts; absent for anything else.
std::optional<Values> fileValues(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  auto document = nlohmann::json::parse(text.str(), nullptr, false);
  if (!document.is_object()) return std::nullopt;
  Values values;
  for (const auto& [key, value] : document.items()) {
    if (!value.is_string()) return std::nullopt;
    values[key] = value.get<std::string>();
  }
  return values;
}

// A forked child running `body` (its return value is the exit code), killed and reaped
// however the test ends.
class Child {
 public:
  template <typename Body>
  explicit Child(Body&& body) : pid_(::fork()) {
    if (pid_ == 0) ::_exit(body());
  }
  ~Child() {
    if (pid_ > 0) kill(), wait();
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  int wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }
  void kill() { ::kill(pid_, SIGKILL); }

 private:
  pid_t pid_;
};

bool exitedCleanly(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

class FileKeyStoreTest : public ::testing::Test {
 protected:
  fs::path file() const { return tmp_.path() / "data" / "velmar" / "credentials.json"; }
  TempDir tmp_;
};

TEST_F(FileKeyStoreTest, DefaultPathFollowsXdgDataHomeThenHome) {
  const fs::path fromHome = "/home/p/.local/share/velmar/credentials.json";
  const std::vector<std::tuple<std::optional<std::string>, std::optional<std::string>, fs::path>>
      cases = {
          {"/xdg/data", "/home/p", "/xdg/data/velmar/credentials.json"},
          {std::nullopt, "/home/p", fromHome},
          {"", "/home/p", fromHome},
          {"relative/dir", "/home/p", fromHome},
          {std::nullopt, std::nullopt,
           fs::path(::getpwuid(::getuid())->pw_dir) / ".local/share/velmar/credentials.json"},
      };
  for (const auto& [dataHomeValue, homeValue, expected] : cases) {
    SCOPED_TRACE(dataHomeValue.value_or("(unset)") + " " + homeValue.value_or("(unset)"));
    ScopedEnv dataHome("XDG_DATA_HOME", dataHomeValue);
    ScopedEnv home("HOME", homeValue);
    EXPECT_EQ(FileKeyStore().path(), expected);
  }
}

TEST_F(FileKeyStoreTest, NothingIsWrittenUntilTheFirstSaveThenOnlyPrivately) {
  ScopedEnv home("HOME", tmp_.path().string());
  ScopedEnv dataHome("XDG_DATA_HOME", std::nullopt);
  FileKeyStore store;
  EXPECT_EQ(store.string("token"), std::nullopt);
  EXPECT_TRUE(store.removeObject("token"));
  EXPECT_FALSE(fs::exists(tmp_.path() / ".local"));

  const mode_t old = ::umask(0);
  const bool stored = store.set("secret", "password");
  ::umask(old);
  ASSERT_TRUE(stored);
  EXPECT_EQ(modeOf(store.path()), 0600u);
  EXPECT_EQ(modeOf(store.path().parent_path()), 0700u);
  EXPECT_EQ(modeOf(tmp_.path() / ".local"), 0700u);
  EXPECT_EQ(fileValues(store.path()), (Values{{"password", "secret"}}));
}

TEST_F(FileKeyStoreTest, DamagedFileHoldsNothingAndNextSaveReplacesIt) {
  auto withText = [](std::string text) {
    return [text](const fs::path& path) { writeText(path, text); };
  };
  const std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> cases = {
      {"garbage", withText("\x01\x02not json at all")},
      {"empty", withText("")},
      {"truncated", withText(R"({"email": "a@b.c", "token": "abc)")},
      {"array", withText(R"(["email", "a@b.c"])")},
      {"number", withText("42")},
      {"non-text value", withText(R"({"email": "a@b.c", "token": 5})")},
      {"null value", withText(R"({"email": "a@b.c", "token": null})")},
      {"nested value", withText(R"({"email": {"x": "a@b.c"}})")},
      {"directory in its place", [](const fs::path& path) { fs::create_directory(path); }},
      {"fifo in its place", [](const fs::path& path) { ::mkfifo(path.c_str(), 0600); }},
      {"dangling link", [](const fs::path& path) { fs::create_symlink("nowhere", path); }},
  };
  for (const auto& [name, damage] : cases) {
    SCOPED_TRACE(name);
    TempDir tmp;
    const auto path = tmp.path() / "credentials.json";
    damage(path);
    FileKeyStore store(path);
    EXPECT_EQ(store.string("email"), std::nullopt);
    EXPECT_EQ(store.string("token"), std::nullopt);
    ASSERT_TRUE(store.set("new@example.com", "email"));
    EXPECT_EQ(store.string("token"), std::nullopt);
    EXPECT_EQ(fileValues(path), (Values{{"email", "new@example.com"}}));
  }
}

TEST_F(FileKeyStoreTest, EditsMadeOutsideTheStoreAfterAReadAreNoticed) {
  FileKeyStore store(file());
  ASSERT_TRUE(store.set("abc", "token"));
  ASSERT_EQ(store.string("token"), "abc");
  writeText(file(), "{\"token\": ");  // edited in place, not renamed
  EXPECT_EQ(store.string("token"), std::nullopt);
  fs::remove(file());
  EXPECT_EQ(store.string("token"), std::nullopt);
  writeText(file(), R"({"token": "restored"})");
  EXPECT_EQ(store.string("token"), "restored");
}

TEST_F(FileKeyStoreTest, TextThatIsNotUtf8IsRefusedAndNoneOfItsBatchLands) {
  FileKeyStore store(file());
  ASSERT_TRUE(store.setAll({{"email", "old@example.com"}, {"password", "good"}}));
  EXPECT_FALSE(store.set("\xff\xfe bad", "password"));
  EXPECT_FALSE(store.setAll({{"email", "new@example.com"}, {"password", "\xff\xfe bad"}}));
  EXPECT_EQ(fileValues(file()), (Values{{"email", "old@example.com"}, {"password", "good"}}));
}

// A signed-out account leaves no credentials file behind, not even an empty one.
TEST_F(FileKeyStoreTest, StoreLeftEmptyHasNoFile) {
  FileKeyStore store(file());
  FileKeyStore other(file());
  ASSERT_TRUE(store.setAll({{"email", "e"}, {"password", "p"}, {"token", "t"}}));
  ASSERT_EQ(other.string("token"), "t");
  EXPECT_TRUE(store.removeAll({"email", "password"}));
  EXPECT_TRUE(fs::exists(file()));
  EXPECT_TRUE(store.removeAll({"token", "userId"}));
  EXPECT_FALSE(fs::exists(file()));
  EXPECT_EQ(other.string("token"), std::nullopt);
  ASSERT_TRUE(other.set("again", "token"));
  EXPECT_EQ(store.string("token"), "again");
}

// Two threads on two instances here and a child process write at once; a reader that had
// read before sees every value afterwards.
TEST_F(FileKeyStoreTest, ConcurrentWritersInThreadsAndProcessesLoseNothing) {
  constexpr int kWrites = 30;
  FileKeyStore reader(file());
  ASSERT_TRUE(reader.set("r", "r"));
  auto writeAll = [&](const std::string& side) {
    FileKeyStore store(file());
    for (int i = 0; i < kWrites; ++i) {
      if (!store.set(side + std::to_string(i), side + std::to_string(i))) return 1;
      store.string("r");
    }
    return 0;
  };
  Child child([&] { return writeAll("c"); });
  std::thread a([&] { writeAll("a"); });
  std::thread b([&] { writeAll("b"); });
  a.join();
  b.join();
  ASSERT_TRUE(exitedCleanly(child.wait()));
  for (const char* side : {"a", "b", "c"}) {
    for (int i = 0; i < kWrites; ++i) {
      ASSERT_EQ(reader.string(side + std::to_string(i)), side + std::to_string(i));
    }
  }
  EXPECT_EQ(fileValues(file())->size(), 3u * kWrites + 1);
}

// Its length varies with n, so a torn file could not pass for a complete one.
std::string nthValue(int n) { return std::to_string(n) + ":" + std::string(n % 700, 'x'); }

TEST_F(FileKeyStoreTest, WriterKilledMidBurstLeavesACompleteState) {
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    constexpr int kBeforeSignal = 20;
    Child child([&] {
      ::close(pipeFds[0]);
      FileKeyStore store(file());
      for (int n = 1;; ++n) {
        store.set(nthValue(n), "counter");
        store.set(std::to_string(n), "last");
        const char byte = 1;
        if (n == kBeforeSignal && ::write(pipeFds[1], &byte, 1) != 1) return 1;
      }
    });
    ::close(pipeFds[1]);
    char byte = 0;
    ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1);
    ::close(pipeFds[0]);
    child.kill();
    ASSERT_TRUE(WIFSIGNALED(child.wait()));

    auto values = fileValues(file());
    ASSERT_TRUE(values);
    // "last" trails "counter" by at most one write.
    const int last = std::stoi(values->at("last"));
    const auto& counter = values->at("counter");
    const int n = std::stoi(counter.substr(0, counter.find(':')));
    EXPECT_GE(last, kBeforeSignal);
    EXPECT_TRUE(n == last || n == last + 1) << n << " vs " << last;
    EXPECT_EQ(counter, nthValue(n));

    // The next writer clears whatever temporary file the killed one left.
    ASSERT_TRUE(FileKeyStore(file()).set("after", "last"));
    for (const auto& entry : fs::directory_iterator(file().parent_path())) {
      EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace velmar::testing
