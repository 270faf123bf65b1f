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

std::shared_ptr<KeyStore> openFile(const fs::path& dir) {
  return std::make_shared<FileKeyStore>(dir / "credentials.json");
}
INSTANTIATE_TEST_SUITE_P(Local, KeyStoreContractTest,
                         ::testing::Values(ContractBackend{"File", openFile}),
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

// A relative XDG_DATA_HOME counts for nothing; nothing written before the first save.
TEST_F(FileKeyStoreTest, DefaultFileIsWrittenOnlyOnTheFirstSaveAndOnlyPrivately) {
  ScopedEnv home("HOME", tmp_.path().string()), relative("XDG_DATA_HOME", "relative/dir");
  FileKeyStore store;
  EXPECT_EQ(store.path(), tmp_.path() / ".local/share/velmar/credentials.json");
  EXPECT_TRUE(store.removeObject("token") && !fs::exists(tmp_.path() / ".local"));
  ASSERT_TRUE(store.set("secret", "password"));
  EXPECT_EQ(modeOf(store.path()), 0600u);
  EXPECT_EQ(modeOf(store.path().parent_path()), 0700u);
  EXPECT_EQ(fileValues(store.path()), (Values{{"password", "secret"}}));
}

TEST_F(FileKeyStoreTest, DamagedFileHoldsNothingAndNextSaveReplacesIt) {
  for (const std::string damage :
       {R"({"email": "a@b.c", "token": "abc)", R"({"email": "a@b.c", "token": 5})", "folder"}) {
    SCOPED_TRACE(damage);
    fs::create_directories(file().parent_path());
    damage == "folder" ? void(fs::create_directory(file())) : void(std::ofstream(file()) << damage);
    FileKeyStore store(file());
    EXPECT_EQ(store.string("email"), std::nullopt);
    ASSERT_TRUE(store.set("new@example.com", "email"));
    EXPECT_EQ(fileValues(file()), (Values{{"email", "new@example.com"}}));
    fs::remove(file());
  }
}

// A write that cannot land says so and leaves what was stored before.
TEST_F(FileKeyStoreTest, FailedWritesReportFailureAndChangeNothing) {
  FileKeyStore store(file());
  ASSERT_TRUE(store.set("good", "password"));
  EXPECT_FALSE(store.setAll({{"token", "t"}, {"e", "\xff"}})) << "text that is not UTF-8";
  EXPECT_TRUE(store.string("token") == std::nullopt && store.string("password") == "good");
  fs::remove(file());
  fs::create_directories(file() / "inside");
  EXPECT_FALSE(store.set("new", "token")) << "a full folder in its place";
  EXPECT_EQ(store.string("token"), std::nullopt);
}

// A signed-out account leaves no credentials file behind, not even an empty one; a writer
// clears the temporary file one that crashed left.
TEST_F(FileKeyStoreTest, StoreLeftEmptyHasNoFile) {
  FileKeyStore store(file());
  ASSERT_TRUE(store.setAll({{"email", "e"}, {"token", "t"}}));
  std::ofstream(file().string() + ".tmp-crashed") << "{\"tok";
  EXPECT_TRUE(store.removeAll({"email"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(file().parent_path()), {}), 2) << "and a lock";
  EXPECT_TRUE(store.removeAll({"token", "userId"}));
  EXPECT_FALSE(fs::exists(file()));
}

// Two threads here and a child process write at once, each through a store of its own; a
// reader made before sees every value afterwards.
TEST_F(FileKeyStoreTest, ConcurrentWritersInThreadsAndProcessesLoseNothing) {
  FileKeyStore reader(file());
  auto writeAll = [&](const std::string& side) {
    FileKeyStore store(file());
    for (int i = 0; i < 30; ++i)
      if (!store.set(side, side + std::to_string(i))) return 1;
    return 0;
  };
  const pid_t child = ::fork();
  if (child == 0) ::_exit(writeAll("c"));
  std::jthread(writeAll, "a"), std::jthread(writeAll, "b");
  int status = -1;
  ASSERT_TRUE(::waitpid(child, &status, 0) == child && status == 0);
  for (const std::string side : {"a", "b", "c"})
    for (int i = 0; i < 30; ++i) ASSERT_EQ(reader.string(side + std::to_string(i)), side);
}

}  // namespace
}  // namespace velmar::testing
