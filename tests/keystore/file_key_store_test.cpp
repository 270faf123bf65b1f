#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "keystore/key_store_contract.hpp"
#include "support/scoped_env.hpp"

namespace velmar::testing {
namespace {

namespace fs = std::filesystem;

std::shared_ptr<KeyStore> openFile(const fs::path& dir) {
  return std::make_shared<FileKeyStore>(dir / "credentials.json");
}
INSTANTIATE_TEST_SUITE_P(File, KeyStoreContractTest, ::testing::Values(OpenStore(openFile)));

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class FileKeyStoreTest : public ::testing::Test {
 protected:
  fs::path file() const { return tmp_.path() / "data" / "velmar" / "credentials.json"; }
  TempDir tmp_;
};

// Nothing is written before the first save, and then only privately; a writer clears the
// temporary file a crashed one left; a signed-out account leaves no file, not even an empty one.
// A relative XDG_DATA_HOME counts for nothing.
TEST_F(FileKeyStoreTest, FileExistsPrivatelyAndOnlyWhileItHoldsSomething) {
  ScopedEnv home("HOME", tmp_.path().string()), relative("XDG_DATA_HOME", "relative/dir");
  FileKeyStore store;
  const fs::path path = store.path();
  EXPECT_EQ(path, tmp_.path() / ".local/share/velmar/credentials.json");
  EXPECT_TRUE(store.removeObject("token") && !fs::exists(tmp_.path() / ".local"));
  ASSERT_TRUE(store.setAll({{"email", "e"}, {"token", "t"}}));
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_EQ(modeOf(path.parent_path()), 0700u);
  std::ofstream(path.string() + ".tmp-crashed") << "{\"tok";
  EXPECT_TRUE(store.removeAll({"email"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), {}), 2) << "and a lock";
  EXPECT_TRUE(store.removeAll({"token", "userId"}));
  EXPECT_FALSE(fs::exists(path));
}

// A damaged file holds nothing and the next save replaces it; a write that cannot land says
// so and leaves what was stored before.
TEST_F(FileKeyStoreTest, DamagedFilesHoldNothingAndFailedWritesChangeNothing) {
  fs::create_directories(file().parent_path());
  for (const std::string damage :
       {R"({"email": "a@b.c", "token": "abc)", R"({"email": "a@b.c", "token": 5})", "folder"}) {
    SCOPED_TRACE(damage);
    damage == "folder" ? void(fs::create_directory(file())) : void(std::ofstream(file()) << damage);
    EXPECT_EQ(FileKeyStore(file()).string("email"), std::nullopt);
    ASSERT_TRUE(FileKeyStore(file()).set("new@example.com", "email"));
    EXPECT_EQ(FileKeyStore(file()).string("email"), "new@example.com");
    fs::remove(file());
  }
  FileKeyStore store(file());
  ASSERT_TRUE(store.set("good", "password"));
  EXPECT_FALSE(store.setAll({{"token", "t"}, {"e", "\xff"}})) << "text that is not UTF-8";
  EXPECT_TRUE(store.string("token") == std::nullopt && store.string("password") == "good");
  fs::remove(file());
  fs::create_directories(file() / "inside");
  EXPECT_FALSE(store.set("new", "token")) << "a full folder in its place";
  EXPECT_EQ(store.string("token"), std::nullopt);
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
