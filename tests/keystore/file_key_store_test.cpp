#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "keystore/scoped_env.hpp"
#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

namespace velmar::testing {
namespace {

namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & 07777;
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The file's values when it is a JSON object of texts; absent for anything else.
std::optional<std::map<std::string, std::string>> fileValues(const fs::path& path) {
  auto document = nlohmann::json::parse(readText(path), nullptr, false);
  if (!document.is_object()) return std::nullopt;
  std::map<std::string, std::string> values;
  for (const auto& [key, value] : document.items()) {
    if (!value.is_string()) return std::nullopt;
    values[key] = value.get<std::string>();
  }
  return values;
}

std::vector<std::string> temporaries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    auto name = entry.path().filename().string();
    if (name.find(".tmp-") != std::string::npos) names.push_back(name);
  }
  return names;
}

// A forked child that is killed and reaped however the test ends.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) {}
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The wait status.
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

// Runs `body` in a child process; its return value is the exit code.
template <typename Body>
pid_t forkRunning(Body&& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  return pid;
}

class FileKeyStoreTest : public ::testing::Test {
 protected:
  fs::path dir() const { return tmp_.path() / "data" / "velmar"; }
  fs::path file() const { return dir() / "credentials.json"; }

  TempDir tmp_;
};

TEST_F(FileKeyStoreTest, DefaultPathFollowsXdgDataHomeThenHome) {
  struct Case {
    std::optional<std::string> dataHome;
    std::optional<std::string> home;
    fs::path expected;
  };
  const std::vector<Case> cases = {
      {"/xdg/data", "/home/p", "/xdg/data/velmar/credentials.json"},
      {std::nullopt, "/home/p", "/home/p/.local/share/velmar/credentials.json"},
      {"", "/home/p", "/home/p/.local/share/velmar/credentials.json"},
      // A relative XDG_DATA_HOME is invalid and ignored.
      {"relative/dir", "/home/p", "/home/p/.local/share/velmar/credentials.json"},
      // No HOME: the account's home directory.
      {std::nullopt, std::nullopt,
       fs::path(::getpwuid(::getuid())->pw_dir) / ".local/share/velmar/credentials.json"},
  };
  for (const auto& c : cases) {
    ScopedEnv dataHome("XDG_DATA_HOME", c.dataHome);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(FileKeyStore::defaultPath(), c.expected) << c.dataHome.value_or("(unset)");
    EXPECT_EQ(FileKeyStore().path(), c.expected);
  }
}

TEST_F(FileKeyStoreTest, NothingIsWrittenUntilTheFirstSave) {
  ScopedEnv home("HOME", tmp_.path().string());
  ScopedEnv dataHome("XDG_DATA_HOME", std::nullopt);
  FileKeyStore store;
  EXPECT_EQ(store.string("token"), std::nullopt);
  EXPECT_TRUE(store.removeObject("token"));
  EXPECT_FALSE(fs::exists(tmp_.path() / ".local"));

  ASSERT_TRUE(store.set("t", "token"));
  EXPECT_TRUE(fs::is_regular_file(tmp_.path() / ".local/share/velmar/credentials.json"));
}

TEST_F(FileKeyStoreTest, FileIsPrivateWhateverTheUmask) {
  const mode_t old = ::umask(0);
  FileKeyStore store(file());
  const bool stored = store.set("secret", "password");
  ::umask(old);
  ASSERT_TRUE(stored);
  EXPECT_EQ(modeOf(file()), 0600u);
  // Every directory the store created is private; the existing temp dir is left alone.
  EXPECT_EQ(modeOf(dir()), 0700u);
  EXPECT_EQ(modeOf(dir().parent_path()), 0700u);
  EXPECT_EQ(fileValues(file()), (std::map<std::string, std::string>{{"password", "secret"}}));
}

TEST_F(FileKeyStoreTest, DamagedFileHoldsNothingAndNextSaveReplacesIt) {
  struct Case {
    std::string name;
    std::function<void(const fs::path&)> damage;
  };
  auto withText = [](std::string text) {
    return [text](const fs::path& path) { writeText(path, text); };
  };
  const std::vector<Case> cases = {
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    const auto path = tmp.path() / "credentials.json";
    c.damage(path);

    FileKeyStore store(path);
    for (const char* key : {"email", "token", "password", "userId"}) {
      EXPECT_EQ(store.string(key), std::nullopt) << key;
    }
    ASSERT_TRUE(store.set("new@example.com", "email"));
    EXPECT_EQ(store.string("email"), "new@example.com");
    EXPECT_EQ(store.string("token"), std::nullopt);
    EXPECT_EQ(fileValues(path), (std::map<std::string, std::string>{{"email", "new@example.com"}}));
    EXPECT_EQ(FileKeyStore(path).string("email"), "new@example.com");
  }
}

TEST_F(FileKeyStoreTest, DamageAfterAReadIsNoticed) {
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

TEST_F(FileKeyStoreTest, TextThatIsNotUtf8IsRefusedAndTheEarlierValueStays) {
  FileKeyStore store(file());
  ASSERT_TRUE(store.set("good", "password"));
  EXPECT_FALSE(store.set("\xff\xfe bad", "password"));
  EXPECT_EQ(store.string("password"), "good");
  EXPECT_EQ(FileKeyStore(file()).string("password"), "good");
}

// Removing the last value removes the file: a signed-out account leaves no credentials file
// behind, not even an empty one.
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
  EXPECT_EQ(store.string("email"), std::nullopt);
  EXPECT_TRUE(store.removeAll({"token"}));
  ASSERT_TRUE(other.set("again", "token"));
  EXPECT_EQ(store.string("token"), "again");
}

// Another instance rewriting the value with one of the same size, faster than the file
// system's timestamp granularity, must still be seen: this is what would defeat a cache
// that trusted size and mtime alone.
TEST_F(FileKeyStoreTest, ReaderSeesEverySameSizedRewriteByAnotherInstance) {
  FileKeyStore reader(file());
  FileKeyStore writer(file());
  for (int i = 0; i < 60; ++i) {
    const std::string value = "token-" + std::to_string(1000 + i);
    ASSERT_TRUE(writer.set(value, "token"));
    ASSERT_EQ(reader.string("token"), value) << i;
  }
}

TEST_F(FileKeyStoreTest, ConcurrentThreadsLoseNoWrite) {
  FileKeyStore shared(file());
  FileKeyStore other(file());
  constexpr int kPerThread = 15;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      KeyStore& store = t % 2 == 0 ? static_cast<KeyStore&>(shared) : other;
      for (int i = 0; i < kPerThread; ++i) {
        const std::string key = "t" + std::to_string(t) + "-" + std::to_string(i);
        store.set(key, key);
        store.string("t0-0");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  auto values = fileValues(file());
  ASSERT_TRUE(values);
  EXPECT_EQ(values->size(), 4u * kPerThread);
  for (const auto& [key, value] : *values) EXPECT_EQ(key, value);
}

TEST_F(FileKeyStoreTest, ValuesWrittenByOneProcessAreReadByTheNext) {
  FileKeyStore parent(file());
  ASSERT_TRUE(parent.set("old", "token"));
  ASSERT_EQ(parent.string("token"), "old");  // cached now

  Child child(forkRunning([&] {
    FileKeyStore store(file());
    const bool ok = store.set("child-token", "token") && store.set("child@x", "email") &&
                    store.removeObject("absent");
    return ok ? 0 : 1;
  }));
  const int status = child.wait();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_EQ(parent.string("token"), "child-token");
  EXPECT_EQ(parent.string("email"), "child@x");
  EXPECT_EQ(FileKeyStore(file()).string("token"), "child-token");
}

TEST_F(FileKeyStoreTest, WritersInTwoProcessesLoseNothing) {
  constexpr int kWrites = 40;
  auto writeAll = [&](const std::string& side) {
    FileKeyStore store(file());
    for (int i = 0; i < kWrites; ++i) {
      if (!store.set(side, side + std::to_string(i))) return 1;
    }
    return 0;
  };
  Child a(forkRunning([&] { return writeAll("a"); }));
  Child b(forkRunning([&] { return writeAll("b"); }));
  const int statusA = a.wait();
  const int statusB = b.wait();
  ASSERT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
  ASSERT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0);

  auto values = fileValues(file());
  ASSERT_TRUE(values);
  EXPECT_EQ(values->size(), 2u * kWrites);
}

// The value written as the n-th state: its length varies, so a torn file could not pass for
// a complete one.
std::string nthValue(int n) { return std::to_string(n) + ":" + std::string(n % 700, 'x'); }

TEST_F(FileKeyStoreTest, WriterKilledMidBurstLeavesACompleteState) {
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    constexpr int kBeforeSignal = 20;
    Child child(forkRunning([&] {
      ::close(pipeFds[0]);
      FileKeyStore store(file());
      for (int n = 1;; ++n) {
        store.set(nthValue(n), "counter");
        store.set(std::to_string(n), "last");
        if (n == kBeforeSignal) {
          const char byte = 1;
          if (::write(pipeFds[1], &byte, 1) != 1) return 1;
        }
      }
    }));
    ::close(pipeFds[1]);
    char byte = 0;
    ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1);
    ::close(pipeFds[0]);
    child.kill();
    const int status = child.wait();
    ASSERT_TRUE(WIFSIGNALED(status));

    auto values = fileValues(file());
    ASSERT_TRUE(values) << readText(file());
    // Either pair of writes may be the last complete state: "last" trails "counter" by at
    // most one write.
    const int last = std::stoi(values->at("last"));
    const auto& counter = values->at("counter");
    const int n = std::stoi(counter.substr(0, counter.find(':')));
    EXPECT_GE(last, kBeforeSignal);
    EXPECT_TRUE(n == last || n == last + 1) << n << " vs " << last;
    EXPECT_EQ(counter, nthValue(n));

    // The next writer clears whatever temporary file the killed one left.
    FileKeyStore next(file());
    EXPECT_EQ(next.string("counter"), counter);
    ASSERT_TRUE(next.set("after", "last"));
    EXPECT_THAT(temporaries(file().parent_path()), ::testing::IsEmpty());
  }
}

}  // namespace
}  // namespace velmar::testing
