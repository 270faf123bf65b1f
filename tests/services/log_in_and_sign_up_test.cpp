#include <gtest/gtest.h>

#include <string>

#include "support/json.hpp"
#include "data/service/log_in_service.hpp"
#include "data/service/sign_up_service.hpp"
#include "service_test_util.hpp"

namespace velmar {
namespace {

using testing::ScriptedProvider;

using testing::Outcome;
using testing::ServiceTest;

struct Row {
  std::optional<std::int64_t> status;
  std::optional<std::string> body;
  std::optional<LogInServiceError> error;  // absent: success expected
  std::optional<std::string> token;        // of the success
};

const char* kPlayerBody = R"({"result":{"token":"t-1","player":{"id":"42","email":"a@b.c"}}})";

class LogInServiceTest : public ServiceTest {};

TEST_F(LogInServiceTest, OutcomeTable) {
  const std::vector<Row> rows = {
      {200, kPlayerBody, std::nullopt, "t-1"},
      {200, R"({"result":{}})", std::nullopt, std::nullopt},
      {400, R"({"result":{"token":"t-400"}})", std::nullopt, "t-400"},
      {401, R"({"result":{"token":"t-401"},"error":"ignored"})", std::nullopt, "t-401"},
      {503, R"({"result":{"token":"t-503"}})", std::nullopt, "t-503"},
      {200, R"({"result":[]})", LogInServiceError::serverError("200"), std::nullopt},
      {200, R"({"error":"x"})", LogInServiceError::serverError("200"), std::nullopt},
      {200, std::nullopt, LogInServiceError::serverError("200"), std::nullopt},
      {200, R"({"result":{"token":5}})", LogInServiceError::serverError("200"), std::nullopt},
      {200, R"({"result":{"player":{"offer_email":"yes"}}})", LogInServiceError::serverError("200"),
       std::nullopt},
      {201, "not json", LogInServiceError::serverError("201"), std::nullopt},
      {400, "", LogInServiceError::serverError("400"), std::nullopt},
      {401, R"({"message":"bad password"})", LogInServiceError::serverError("500"), std::nullopt},
      {404, std::nullopt, LogInServiceError::serverError("500"), std::nullopt},
      {500, R"({"result":"x"})", LogInServiceError::serverError("500"), std::nullopt},
      {std::nullopt, std::nullopt, LogInServiceError::createURLError("Error"), std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body.value_or("<no body>") + " / " +
                 (row.status ? std::to_string(*row.status) : "no status"));
    network_->answerAll({row.status, row.body});
    auto service = std::make_shared<LogInService>(LogInServiceDependencies(nullptr, network_));
    Outcome<LogInResult> outcome;
    service->logInRequest("a@b.c", "pw", outcome.callback(network_));
    const auto& result = outcome.await();
    if (row.error) {
      ASSERT_FALSE(result.isSuccess());
      EXPECT_EQ(result.error(), *row.error);
    } else {
      ASSERT_TRUE(result.isSuccess());
      EXPECT_EQ(result.value().token(), row.token);
    }
  }
}

TEST_F(LogInServiceTest, SendsOneLogInRequestAndDeliversInItsOwnTask) {
  network_->setDelivery(ScriptedProvider::Delivery::inlineCall);
  network_->answerAll({200, kPlayerBody});
  auto service = std::make_shared<LogInService>(LogInServiceDependencies(nullptr, network_));
  Outcome<LogInResult> outcome;
  service->logInRequest("player@example.com", "", outcome.callback(network_));
  EXPECT_EQ(outcome.calls, 0) << "delivered only through the main queue";
  const auto& result = outcome.await();
  EXPECT_FALSE(outcome.duringProviderCallback);
  ASSERT_TRUE(result.isSuccess());
  ASSERT_TRUE(result.value().player().has_value());
  EXPECT_EQ(result.value().player()->identifier(), "42");

  ASSERT_EQ(network_->requests().size(), 1u);
  const auto& request = network_->requests()[0].request;
  EXPECT_EQ(request.method, "POST");
  EXPECT_TRUE(request.url.ends_with("/login"));
  ASSERT_TRUE(request.body.has_value());
  EXPECT_EQ(json::parse(*request.body),
            nlohmann::json({{"email", "player@example.com"}, {"password", ""}}));
  EXPECT_TRUE(store_->string("token") == std::nullopt) << "the service stores nothing";
}

TEST_F(LogInServiceTest, ProcessWideServiceIsShared) {
  EXPECT_NE(LogInService::inject(), nullptr);
  EXPECT_EQ(LogInService::inject(), LogInService::inject());
}

class SignUpServiceTest : public ServiceTest {};

SignUpEntity signUpRecord(std::optional<std::string> email, std::optional<std::string> password) {
  nlohmann::json value = {{"company_id", "7"}, {"first_name", "Ana"}, {"offer_email", true}};
  if (email) value["email"] = *email;
  if (password) value["password"] = *password;
  return SignUpEntity::decode(value);
}

TEST_F(SignUpServiceTest, OutcomeTableAndCredentialWrites) {
  const std::string created = R"({"result":{"id":"7","email":"new@example.com"}})";
  struct SignUpRow {
    std::optional<std::int64_t> status;
    std::optional<std::string> body;
    std::optional<SignUpServiceError> error;
  };
  const std::vector<SignUpRow> rows = {
      {201, created, std::nullopt},
      {201, std::nullopt, std::nullopt},
      {200, created, SignUpServiceError::serverError("200")},
      {400, "{}", SignUpServiceError::serverError("400")},
      {409, R"({"error":"exists"})", SignUpServiceError::serverError("500")},
      {500, std::nullopt, SignUpServiceError::serverError("500")},
      {std::nullopt, std::nullopt, SignUpServiceError::createURLError("Error")},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.status ? std::to_string(*row.status) : "no status");
    KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
    auto store = KeychainWrapper::standard().backend();
    store->set("old-token", "token");
    store->set("9", "userId");
    network_->answerAll({row.status, row.body});
    auto service =
        std::make_shared<SignUpService>(SignUpServiceDependencies(nullptr, nullptr, network_));
    bool storedBeforeResult = false;
    Outcome<SignUpResult> outcome;
    auto collect = outcome.callback(network_);
    service->signUpRequest(signUpRecord("new@example.com", "s3cret"), [&](SignUpResult result) {
      storedBeforeResult = store->string("email") == std::optional<std::string>("new@example.com");
      collect(std::move(result));
    });
    const auto& result = outcome.await();
    if (row.error) {
      ASSERT_FALSE(result.isSuccess());
      EXPECT_EQ(result.error(), *row.error);
    } else {
      ASSERT_TRUE(result.isSuccess());
      std::optional<Bytes> expected;
      if (row.body) expected = Bytes(row.body->begin(), row.body->end());
      EXPECT_EQ(result.value(), expected) << "the body is passed on undecoded";
    }
    EXPECT_TRUE(storedBeforeResult);
    EXPECT_EQ(store->string("password"), "s3cret");
    EXPECT_EQ(store->string("token"), "") << "an earlier token is replaced";
    EXPECT_EQ(store->string("userId"), "");
  }
}

TEST_F(SignUpServiceTest, SendsTheRecordUnchanged) {
  network_->answerAll({201, "{}"});
  auto service =
      std::make_shared<SignUpService>(SignUpServiceDependencies(nullptr, nullptr, network_));
  Outcome<SignUpResult> outcome;
  auto record = signUpRecord("e@x.io", "p");
  service->signUpRequest(record, outcome.callback(network_));
  outcome.await();
  ASSERT_EQ(network_->requests().size(), 1u);
  const auto& request = network_->requests()[0].request;
  EXPECT_EQ(request.method, "POST");
  EXPECT_TRUE(request.url.ends_with("/players"));
  EXPECT_EQ(json::parse(*request.body), record.jsonDictonary());
}

TEST_F(SignUpServiceTest, WithoutEmailOrPasswordTheStoreIsUntouched) {
  for (auto record : {signUpRecord(std::nullopt, "p"), signUpRecord("e@x.io", std::nullopt)}) {
    KeychainWrapper::standard().setBackend(std::make_shared<MemoryKeyStore>());
    auto store = KeychainWrapper::standard().backend();
    store->set("keep", "token");
    network_->answerAll({201, "{}"});
    auto service =
        std::make_shared<SignUpService>(SignUpServiceDependencies(nullptr, nullptr, network_));
    Outcome<SignUpResult> outcome;
    service->signUpRequest(record, outcome.callback(network_));
    EXPECT_TRUE(outcome.await().isSuccess());
    EXPECT_EQ(store->string("token"), "keep");
    EXPECT_EQ(store->string("email"), std::nullopt);
  }
}

TEST_F(SignUpServiceTest, AnAbsentRecordFailsAtOnceAndSendsNothing) {
  auto service =
      std::make_shared<SignUpService>(SignUpServiceDependencies(nullptr, nullptr, network_));
  Outcome<SignUpResult> outcome;
  service->signUpRequest(std::nullopt, outcome.callback(network_));
  ASSERT_EQ(outcome.calls, 1) << "reported before the operation returns";
  EXPECT_EQ(outcome.value->error(), SignUpServiceError::createURLError("Error creating URL"));
  EXPECT_TRUE(network_->requests().empty());
  EXPECT_EQ(MainQueue::main().drain(), 0u);
  EXPECT_EQ(store_->string("email"), std::nullopt);
}

}  // namespace
}  // namespace velmar
