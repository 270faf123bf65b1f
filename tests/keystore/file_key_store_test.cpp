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

class FileKeyStoreTest : public ::testing::Test {
 protected:
  fs::path file() const { return tmp_.path() / "data" / "velmar" / "credentials.json"; }
  TempDir tmp_;
};

// Under an absolute XDG_DATA_HOME, else under HOME; nothing written before the first save.
TEST_F(FileKeyStoreTest, DefaultFileIsWrittenOnlyOnTheFirstSaveAndOnlyPrivately) {
  ScopedEnv home("HOME", tmp_.path().string()), data("XDG_DATA_HOME", "/xdg/data");
  EXPECT_EQ(FileKeyStore().path(), "/xdg/data/velmar/credentials.json");
  ScopedEnv relative("XDG_DATA_HOME", "relative/dir");
  FileKeyStore store;
  EXPECT_EQ(store.path(), tmp_.path() / ".local/share/velmar/credentials.json");
  EXPECT_TRUE(store.removeObject("token"));
  EXPECT_FALSE(fs::exists(tmp_.path() / ".local"));
  const mode_t old = ::umask(0);
  const bool stored = store.set("secret", "password");
  ::umask(old);
  ASSERT_TRUE(stored);
  EXPECT_EQ(modeOf(store.path()), 0600u);
  EXPECT_EQ(modeOf(store.path().parent_path()), 0700u);
  EXPECT_EQ(fileValues(store.path()), (Values{{"password", "secret"}}));
}

TEST_F(FileKeyStoreTest, DamagedFileHoldsNothingAndNextSaveReplacesIt) {
  auto text = [](std::string t) { return [t](const fs::path& path) { std::ofstream(path) << t; }; };
  const std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> rows = {
      {"truncated", text(R"({"email": "a@b.c", "token": "abc)")},
      {"non-text value", text(R"({"email": "a@b.c", "token": 5})")},
      {"empty directory in its place", [](const fs::path& path) { fs::create_directory(path); }},
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
      {"in a batch",
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
    EXPECT_EQ(store.string("password"),
              fs::is_directory(file()) ? std::optional<std::string>() : "good");
  }
}

// A signed-out account leaves no credentials file behind, not even an empty one; a writer
// clears the temporary file one that crashed left.
TEST_F(FileKeyStoreTest, StoreLeftEmptyHasNoFile) {
  FileKeyStore store(file()), other(file());
  ASSERT_TRUE(store.setAll({{"email", "e"}, {"token", "t"}}));
  ASSERT_EQ(other.string("token"), "t");
  std::ofstream(file().string() + ".tmp-crashed") << "{\"tok";
  EXPECT_TRUE(store.removeAll({"email"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(file().parent_path()), {}), 2) << "and a lock";
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
  const pid_t child = ::fork();
  if (child == 0) ::_exit(writeAll("c"));
  std::jthread(writeAll, "a"), std::jthread(writeAll, "b");
  int status = -1;
  ASSERT_TRUE(::waitpid(child, &status, 0) == child && status == 0);
  for (const std::string side : {"a", "b", "c"})
    for (int i = 0; i < kWrites; ++i)
      ASSERT_EQ(reader.string(side + std::to_string(i)), side + std::to_string(i));
  EXPECT_EQ(fileValues(file())->size(), 3u * kWrites + 1);
}

}  // namespace
}  // namespace velmar::testing
