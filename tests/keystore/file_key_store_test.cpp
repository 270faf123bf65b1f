#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "keystore/key_store_contract.hpp"
#include "support/scoped_env.hpp"

namespace velmar::testing {
namespace {

namespace fs = std::filesystem;
using Values = std::map<std::string, std::string>;

std::shared_ptr<KeyStore> openMemory(const fs::path&) { return std::make_shared<MemoryKeyStore>(); }
std::shared_ptr<KeyStore> openFile(const fs::path& dir) {
  return std::make_shared<FileKeyStore>(dir / "velmar" / "credentials.json");
}
INSTANTIATE_TEST_SUITE_P(Local, KeyStoreContractTest,
                         ::testing::Values(ContractBackend{"Memory", openMemory, false},
                                           ContractBackend{"File", openFile}),
                         [](const auto& info) { return info.param.name; });

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The file's values when it is a JSON object of texts; absent for anything else.
std::optional<Values> fileValues(const fs::path& path) try {
  return nlohmann::json::parse(std::ifstream(path)).get<Values>();
} catch (const nlohmann::json::exception&) {
  return std::nullopt;
}

// A forked child whose exit status is what `body` returns; killed and reaped however the test
// ends.
struct Child {
  explicit Child(const std::function<int()>& body) : pid(::fork()) {
    if (pid == 0) ::_exit(body());
  }
  ~Child() { pid > 0 && ::kill(pid, SIGKILL) == 0 && wait(); }
  int wait() {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    return status;
  }
  pid_t pid;
};

class FileKeyStoreTest : public ::testing::Test {
 protected:
  fs::path file() const { return tmp_.path() / "data" / "velmar" / "credentials.json"; }
  TempDir tmp_;
};

TEST_F(FileKeyStoreTest, DefaultPathFollowsXdgDataHomeThenHome) {
  const fs::path home = ::getpwuid(::getuid())->pw_dir;
  for (const auto& [dataHome, homeDir, expected] :
       std::vector<std::tuple<std::optional<std::string>, std::optional<std::string>, fs::path>>{
           {"/xdg/data", "/home/p", "/xdg/data/velmar/credentials.json"},
           {std::nullopt, "/home/p", "/home/p/.local/share/velmar/credentials.json"},
           {"relative/dir", "/home/p", "/home/p/.local/share/velmar/credentials.json"},
           {std::nullopt, std::nullopt, home / ".local/share/velmar/credentials.json"}}) {
    ScopedEnv data("XDG_DATA_HOME", dataHome), homeEnv("HOME", homeDir);
    EXPECT_EQ(FileKeyStore().path(), expected) << dataHome.value_or("-") << homeDir.value_or("-");
  }
}

TEST_F(FileKeyStoreTest, NothingIsWrittenUntilTheFirstSaveThenOnlyPrivately) {
  FileKeyStore store(tmp_.path() / ".local" / "velmar" / "credentials.json");
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
  auto text = [](std::string t) { return [t](const fs::path& path) { std::ofstream(path) << t; }; };
  const std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> rows = {
      {"garbage", text("\x01\x02not json")},
      {"truncated", text(R"({"email": "a@b.c", "token": "abc)")},
      {"array", text(R"(["email", "a@b.c"])")},
      {"non-text value", text(R"({"email": "a@b.c", "token": 5})")},
      {"empty directory in its place", [](const fs::path& path) { fs::create_directory(path); }},
      {"fifo in its place", [](const fs::path& path) { ::mkfifo(path.c_str(), 0600); }},
      {"dangling link", [](const fs::path& path) { fs::create_symlink("nowhere", path); }},
  };
  for (const auto& [name, damage] : rows) {
    SCOPED_TRACE(name);
    fs::create_directories(file().parent_path());
    damage(file());
    FileKeyStore store(file());
    EXPECT_EQ(store.string("email"), std::nullopt);
    ASSERT_TRUE(store.set("new@example.com", "email"));
    EXPECT_EQ(fileValues(file()), (Values{{"email", "new@example.com"}}));
    fs::remove(file());
  }
}

// A write that cannot land says so and leaves what was stored before.
TEST_F(FileKeyStoreTest, FailedWritesReportFailureAndChangeNothing) {
  const std::vector<std::pair<std::string, std::function<bool(FileKeyStore&)>>> rows = {
      {"text that is not UTF-8", [](auto& s) { return s.set("\xff\xfe", "password"); }},
      {"a batch with such text",
       [](auto& s) {
         return s.setAll({{"token", "t"}, {"e", "\xff"}});
       }},
      {"a full directory in its place", [this](auto& s) {
         fs::remove(file());
         fs::create_directories(file() / "inside");
         return s.set("new", "token");
       }}};
  for (const auto& [name, write] : rows) {
    SCOPED_TRACE(name);
    fs::remove_all(file());
    FileKeyStore store(file());
    ASSERT_TRUE(store.set("good", "password"));
    EXPECT_FALSE(write(store));
    EXPECT_EQ(store.string("token"), std::nullopt);
    EXPECT_EQ(store.string("password"), fs::is_directory(file()) ? std::optional<std::string>() : "good");
  }
}

// A signed-out account leaves no credentials file behind, not even an empty one.
TEST_F(FileKeyStoreTest, StoreLeftEmptyHasNoFile) {
  FileKeyStore store(file()), other(file());
  ASSERT_TRUE(store.setAll({{"email", "e"}, {"token", "t"}}));
  ASSERT_EQ(other.string("token"), "t");
  EXPECT_TRUE(store.removeAll({"email"}));
  EXPECT_TRUE(fs::exists(file()));
  EXPECT_TRUE(store.removeAll({"token", "userId"}));
  EXPECT_FALSE(fs::exists(file()));
  EXPECT_EQ(other.string("token"), std::nullopt);
}

// Two threads here and a child process write at once, each through a store of its own; a
// reader that had read before sees every value afterwards.
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
  std::jthread(writeAll, "a"), std::jthread(writeAll, "b");
  ASSERT_EQ(child.wait(), 0);
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
  for (int round = 0; round < 3; ++round) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    Child child([&] {
      FileKeyStore store(file());
      for (int n = 1;; ++n) {
        store.set(nthValue(n), "counter");
        store.set(std::to_string(n), "last");
        if (n == 20 && ::write(pipeFds[1], "!", 1) != 1) return 1;
      }
    });
    char byte = 0;
    ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1);
    ::close(pipeFds[0]), ::close(pipeFds[1]);
    ::kill(child.pid, SIGKILL);
    ASSERT_TRUE(WIFSIGNALED(child.wait()));
    // "last" trails "counter" by at most one write.
    const Values values = fileValues(file()).value_or(Values{{"last", "0"}, {"counter", "0:"}});
    const int last = std::stoi(values.at("last"));
    const int n = std::stoi(values.at("counter"));
    EXPECT_GE(last, 20) << round;
    EXPECT_TRUE(n == last || n == last + 1) << n << " vs " << last;
    EXPECT_EQ(values.at("counter"), nthValue(n));
    // The next writer clears whatever temporary file the killed one left.
    ASSERT_TRUE(FileKeyStore(file()).set("after", "last"));
    EXPECT_EQ(std::distance(fs::directory_iterator(file().parent_path()), {}), 2) << "and a lock";
  }
}

}  // namespace
}  // namespace velmar::testing
