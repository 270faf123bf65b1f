#include "data/network/network_mock.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/json.hpp"
#include "platform/resources.hpp"
#include "support/temp_dir.hpp"

namespace velmar {
namespace {

struct Answer {
  int calls = 0;
  std::optional<std::int64_t> status;
  std::optional<Bytes> body;
};

using Operation = void (NetworkMock::*)(const http::Request&, DataCallback);

struct DataOperation {
  const char* file;
  Operation operation;
  bool resultIsArray;
};

const std::vector<DataOperation> kDataOperations = {
    {"UserInformation", &NetworkMock::logInRequest, false},
    {"GameList", &NetworkMock::gameListRequest, true},
    {"LaunchGame", &NetworkMock::launchGameRequest, false},
    {"CurrencyList", &NetworkMock::getCurrencyList, true},
    {"Balance", &NetworkMock::getBalance, true},
};

Answer call(NetworkMock& mock, Operation operation) {
  Answer answer;
  (mock.*operation)(http::Request{}, [&](auto status, auto body) {
    ++answer.calls;
    answer.status = status;
    answer.body = std::move(body);
  });
  return answer;  // the mock answers before returning
}

TEST(NetworkMockTest, ShippedFilesAreFoundAndAnswerInlineWithStatus200) {
  ASSERT_TRUE(resources::bundleDirectory().has_value());
  NetworkMock mock;
  for (const auto& op : kDataOperations) {
    Answer answer = call(mock, op.operation);
    ASSERT_EQ(answer.calls, 1) << op.file;
    EXPECT_EQ(answer.status, 200);
    ASSERT_TRUE(answer.body.has_value()) << op.file;
    auto envelope = json::parse(*answer.body);
    ASSERT_TRUE(envelope && envelope->is_object()) << op.file;
    ASSERT_TRUE(envelope->contains("result")) << op.file;
    EXPECT_EQ((*envelope)["result"].is_array(), op.resultIsArray) << op.file;
  }
}

TEST(NetworkMockTest, SignUpCarriesTheFileAsASuccessResult) {
  NetworkMock mock;
  int calls = 0;
  mock.signUpRequest(http::Request{}, [&](auto status, auto result) {
    ++calls;
    EXPECT_EQ(status, 200);
    ASSERT_TRUE(result.isSuccess());
    ASSERT_TRUE(result.value().has_value());
    EXPECT_TRUE(json::parse(*result.value()).has_value());
  });
  EXPECT_EQ(calls, 1);
}

TEST(NetworkMockTest, AMissingFileAnswersOnceWithNothingAndTheOthersKeepWorking) {
  testing::TempDir dir;
  const auto source = *resources::bundleDirectory() / "MockData";
  for (const auto& entry : std::filesystem::directory_iterator(source)) {
    if (entry.path().stem() != "Balance") {
      std::filesystem::copy_file(entry.path(), dir.path() / entry.path().filename());
    }
  }
  NetworkMock mock(dir.path());
  for (const auto& op : kDataOperations) {
    Answer answer = call(mock, op.operation);
    EXPECT_EQ(answer.calls, 1) << op.file;
    if (std::string(op.file) == "Balance") {
      EXPECT_FALSE(answer.status.has_value());
      EXPECT_FALSE(answer.body.has_value());
    } else {
      EXPECT_EQ(answer.status, 200) << op.file;
      EXPECT_TRUE(answer.body.has_value()) << op.file;
    }
  }
  std::filesystem::remove(dir.path() / "LaunchGame.json");
  std::filesystem::create_directory(dir.path() / "LaunchGame.json");
  Answer unreadable = call(mock, &NetworkMock::launchGameRequest);
  EXPECT_EQ(unreadable.calls, 1);
  EXPECT_FALSE(unreadable.status.has_value());

  NetworkMock nowhere(dir.path() / "absent");
  int calls = 0;
  nowhere.signUpRequest(http::Request{}, [&](auto status, auto result) {
    ++calls;
    EXPECT_FALSE(status.has_value());
    EXPECT_FALSE(result.isSuccess());
  });
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace velmar
