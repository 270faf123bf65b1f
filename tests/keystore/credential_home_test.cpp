#include "platform/credential_home.hpp"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace velmar::internal {
namespace {

using Values = std::map<std::string, std::string>;
const Values kSession = {
    {"email", "p@example.com"}, {"password", "pw"}, {"token", "tok"}, {"userId", "42"}};

class RefusingStore : public MemoryKeyStore {
 public:
  bool set(const std::string&, const std::string&) override { return false; }
  bool setAll(const std::vector<Entry>&) override { return false; }
};

Values valuesOf(KeyStore& store) {
  Values values;
  for (const auto& [key, unused] : kSession) {
    if (auto value = store.string(key)) values[key] = *value;
  }
  return values;
}

void fill(KeyStore& store, const Values& values) {
  for (const auto& [key, value] : values) ASSERT_TRUE(store.set(value, key));
}

// One start of a process on this account: whether the Secret Service answers, and what the
// chosen store then holds, the file keeps and the log is told.
class CredentialHomeTest : public ::testing::Test {
 protected:
  testing::TempDir tmp_;
  std::shared_ptr<KeyStore> secretService_ = std::make_shared<MemoryKeyStore>();
  std::shared_ptr<FileKeyStore> file_ =
      std::make_shared<FileKeyStore>(tmp_.path() / "velmar" / "credentials.json");

  ChosenHome start(bool answers) {
    return chooseHome({[answers] { return answers; }, [this] { return secretService_; }, file_,
                       tmp_.path() / "velmar" / "credentials.home"});
  }
};

TEST_F(CredentialHomeTest, FileCredentialsMoveIntoTheSecretServiceWhole) {
  fill(*file_, kSession);
  const auto home = start(true);
  EXPECT_EQ(home.store, secretService_);
  EXPECT_EQ(home.notice, std::nullopt);
  EXPECT_EQ(valuesOf(*secretService_), kSession);
  EXPECT_FALSE(std::filesystem::exists(file_->path())) << "no plain-text password left";
}

TEST_F(CredentialHomeTest, ARefusedMoveKeepsTheFileInUse) {
  fill(*file_, kSession);
  secretService_ = std::make_shared<RefusingStore>();
  const auto home = start(true);
  EXPECT_EQ(home.store, file_);
  EXPECT_TRUE(home.notice.has_value());
  EXPECT_EQ(valuesOf(*file_), kSession);
  EXPECT_EQ(start(false).store, file_) << "not remembered as home";
}

// The run that starts while the key ring is locked must neither lose the session held there
// nor write the password to the plain file; the next run with the key ring finds it whole.
TEST_F(CredentialHomeTest, ASilentHomeIsNeitherReadNorReplacedByTheFile) {
  EXPECT_EQ(start(true).store, secretService_);
  fill(*secretService_, kSession);

  const auto locked = start(false);
  ASSERT_NE(locked.store, file_);
  ASSERT_TRUE(locked.notice.has_value());
  EXPECT_EQ(locked.notice->find("pw"), std::string::npos);
  EXPECT_EQ(locked.store->string("token"), std::nullopt);
  EXPECT_FALSE(locked.store->setAll({{"password", "new-pw"}, {"token", "new"}}));
  EXPECT_FALSE(locked.store->removeAll({"token"}));
  EXPECT_FALSE(std::filesystem::exists(file_->path()));

  EXPECT_EQ(valuesOf(*start(true).store), kSession);
}

TEST_F(CredentialHomeTest, WithoutAHomeASilentSecretServiceMeansTheFile) {
  const auto home = start(false);
  EXPECT_EQ(home.store, file_);
  EXPECT_EQ(home.notice, std::nullopt);
}

}  // namespace
}  // namespace velmar::internal
