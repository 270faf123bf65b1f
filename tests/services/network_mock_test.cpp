#include "data/network/network_mock.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "data/network/repository.hpp"
#include "platform/resources.hpp"
#include "support/json.hpp"
#include "support/temp_dir.hpp"
#include "velmar/key_store.hpp"

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
  // Sign-up answers through its own callback shape: 200 and the body, or a transport failure.
  NetworkMock nowhere(dir.path() / "absent");
  std::vector<std::string> signUps;
  for (auto* mock : {&fromShipped, &fromCopy, &nowhere}) {
    mock->signUpRequest(http::Request{}, [&](auto status, auto result) {
      const bool body = result.isSuccess() && result.value() && json::parse(*result.value());
      signUps.push_back(std::to_string(status.value_or(0)) + (body ? " body" : " none"));
    });
  }
  EXPECT_EQ(signUps, (std::vector<std::string>{"200 body", "200 body", "0 none"}));
}

// Nothing in this process chooses an environment: requests then go to DEV.
TEST(DefaultEnvironmentTest, RequestsBeforeAnyChoiceGoToDev) {
  KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
  EXPECT_EQ(Repository::getCurrencies().asURLRequest().value().url,
            std::string(rawValue(Environment::DEV)) + "/currencies");
  KeychainWrapper::standard().setBackend(nullptr);
}

}  // namespace
}  // namespace velmar
