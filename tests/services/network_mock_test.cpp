#include "data/network/network_mock.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/resources.hpp"
#include "support/json.hpp"
#include "support/temp_dir.hpp"

namespace velmar {
namespace {

using Operation = void (NetworkMock::*)(const http::Request&, DataCallback);

// What one operation answers, inline: "<status> array" or "<status> <first key of the result
// object>", or "nothing".
std::string answer(NetworkMock& mock, Operation operation) {
  std::string out = "no answer before returning";
  (mock.*operation)(http::Request{}, [&](auto status, auto body) {
    const auto envelope = body ? json::parse(*body) : std::nullopt;
    if (!status || !envelope) {
      out = status || body ? "undecodable" : "nothing";
    } else {
      const auto& result = (*envelope)["result"];
      out = std::to_string(*status) + " " + (result.is_array() ? "array" : result.begin().key());
    }
  });
  return out;
}

// Every canned file answers 200 with its result; a missing or unreadable one answers with
// nothing (a transport failure), and only for its own operation.
TEST(NetworkMockTest, EachOperationAnswersFromItsFileInline) {
  testing::TempDir dir;
  const auto shipped = *resources::bundleDirectory() / "MockData";
  std::filesystem::copy(shipped, dir.path());
  std::filesystem::remove(dir.path() / "Balance.json");
  std::filesystem::create_directory(dir.path() / "Balance.json");
  std::filesystem::remove(dir.path() / "CurrencyList.json");
  const std::vector<std::pair<Operation, std::string>> rows = {
      {&NetworkMock::logInRequest, "200 player"},     {&NetworkMock::gameListRequest, "200 array"},
      {&NetworkMock::launchGameRequest, "200 game_id"}, {&NetworkMock::getCurrencyList, "nothing"},
      {&NetworkMock::getBalance, "nothing"},
  };
  NetworkMock fromShipped;
  NetworkMock fromCopy(dir.path());
  for (const auto& [operation, expected] : rows) {
    EXPECT_EQ(answer(fromCopy, operation), expected);
    EXPECT_EQ(answer(fromShipped, operation).substr(0, 3), "200");
  }
  for (auto* mock : {&fromShipped, &fromCopy}) {
    int successes = 0;
    mock->signUpRequest(http::Request{}, [&](auto status, auto result) {
      if (status != 200 || !result.isSuccess()) return;
      const auto& body = result.value();
      if (body && json::parse(*body)) ++successes;
    });
    EXPECT_EQ(successes, 1);
  }
  NetworkMock nowhere(dir.path() / "absent");
  int failures = 0;
  nowhere.signUpRequest(http::Request{},
                        [&](auto status, auto result) { failures += !status && !result.isSuccess(); });
  EXPECT_EQ(failures, 1);
}

}  // namespace
}  // namespace velmar
