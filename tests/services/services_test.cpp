// The four services between the provider's answer and the outcome they report: one table over
// the six operations, each outcome written as one line ("ok ..." or the error), followed by
// what the service keeps ("[...]").
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/mapper/data_domain_mapper.hpp"
#include "data/service/base_service.hpp"
#include "data/service/game_service.hpp"
#include "data/service/log_in_service.hpp"
#include "data/service/sign_up_service.hpp"
#include "data/service/utils_service.hpp"
#include "support/session.hpp"
#include "velmar/testing/scripted_provider.hpp"
#include "support/entities/record_access.hpp"
#include "support/json.hpp"

namespace velmar {
namespace {

using testing::Operation;
using testing::ScriptedProvider;

template <typename List, typename Field>
std::string joined(const List& list, Field field) {
  std::string out;
  for (const auto& item : list) out += (out.empty() ? "" : ",") + field(item).value_or("?");
  return out;
}

std::string text(const std::optional<std::string>& value) { return value.value_or("none"); }

SignUpEntity newPlayer(std::optional<std::string> email = "new@example.com",
                       std::optional<std::string> password = "s3cret") {
  nlohmann::json value = {{"company_id", "7"}, {"first_name", "Ana"}};
  if (email) value["email"] = *email;
  if (password) value["password"] = *password;
  return SignUpEntity::decode(value);
}

const auto kLaunch = LaunchGameEntity::decode({{"game_id", "g"}, {"is_demo", true}});

class ServicesTest : public testing::SessionTest {
 protected:
  // Starts `operation` with the answer scripted, delivered inline by the provider (the
  // service must still report in a task of its own), and describes what came out, followed by
  // what the service keeps.
  std::string run(Operation operation) {
    const auto games = std::make_shared<GameService>(GameServiceDependencies(nullptr, network_));
    games->setGameList({GameEntity::decode({{"name", "earlier"}})});
    const auto utils =
        std::make_shared<UtilsService>(UtilsServiceDependencies(nullptr, nullptr, network_));
    const auto names = [](const std::vector<GameEntity>& list) {
      return joined(list, [](const GameEntity& game) { return game.name(); });
    };
    const auto codes = [](const std::vector<CurrencyEntity>& list) {
      return joined(list, [](const CurrencyEntity& c) { return c.alphabeticCode(); });
    };
    const auto amount = [](const BalanceEntity& balance) {
      const auto value = internal::RecordAccess::amount(balance);
      return value ? nlohmann::json(*value).dump() : std::string("none");
    };
    std::string outcome;  // before what is kept: the two are read in this order
    switch (operation) {
      case Operation::logIn: {
        auto service = std::make_shared<LogInService>(LogInServiceDependencies(nullptr, network_));
        return await<LogInResult>(
            [&](auto done) { service->logInRequest("a@b.c", "pw", done); },
            [](const LogInEntity& entity) {
              return "token=" + text(entity.token()) + " player=" +
                     text(entity.player() ? entity.player()->identifier() : std::nullopt);
            });
      }
      case Operation::signUp: {
        auto service = std::make_shared<SignUpService>(
            SignUpServiceDependencies(nullptr, nullptr, network_));
        std::string storedAtResult;
        outcome = await<SignUpResult>(
            [&](auto done) {
              service->signUpRequest(newPlayer(), [&, done](SignUpResult result) {
                storedAtResult = stored();
                done(std::move(result));
              });
            },
            [](const std::optional<Bytes>& body) {
              return body ? std::string(body->begin(), body->end()) : std::string("none");
            });
        return outcome + " [" + storedAtResult + "]";
      }
      case Operation::gameList:
        outcome = await<GameListResult>([&](auto done) { games->gameListRequest(1, done); }, names);
        return outcome + " [" + names(games->gameList()) + "]";
      case Operation::launchGame:
        return await<LaunchGameResult>(
            [&](auto done) { games->launchGameRequest(kLaunch, done); },
            [](const LaunchGameResponseEntity& launch) { return text(launch.playForFun()); });
      case Operation::currencies:
        outcome = await<CurrencyListResult>([&](auto done) { utils->getCurriencies(done); }, codes);
        return outcome + " [" + codes(utils->currencyList()) + "]";
      case Operation::balance:
        outcome = await<BalanceResult>([&](auto done) { utils->getBalance("42", done); }, amount);
        return outcome + " [" + amount(utils->balance()) + "]";
    }
    return "unknown operation";
  }

  // Starts an operation: its one outcome must come in a main-queue task of its own, not inside
  // the provider's answer. Gives "ok <the value described>" or the error.
  template <typename R, typename Describe>
  std::string await(const std::function<void(std::function<void(R)>)>& start, Describe describe) {
    std::optional<R> result;
    int calls = 0;
    bool inside = false;
    start([&](R r) { ++calls, inside = network_->inCallback(), result.emplace(std::move(r)); });
    EXPECT_EQ(calls, 0) << "reported before the operation returned";
    EXPECT_TRUE(testing::runMainUntil([&] { return calls > 0; }));
    MainQueue::main().drain();
    EXPECT_TRUE(calls == 1 && !inside) << calls << " outcomes, inside the answer: " << inside;
    if (!result) return "no outcome";
    return result->isSuccess() ? "ok " + describe(result->value()) : result->error().what();
  }

  std::shared_ptr<ScriptedProvider> network_ = std::make_shared<ScriptedProvider>();

  std::string stored() {
    std::string out;
    for (const char* key : {"email", "password", "token", "userId"}) {
      out += (out.empty() ? "" : ",") + store_->string(key).value_or("-");
    }
    return out;
  }
};

std::string game(int id, const std::string& name) {
  return R"({"id":)" + std::to_string(id) + R"(,"name":")" + name + R"("})";
}
std::string currency(const std::string& code) { return R"({"alphabetic_code":")" + code + "\"}"; }
std::string balance(const std::string& amount) { return R"({"amount":)" + amount + "}"; }

TEST_F(ServicesTest, OutcomeOfEachAnswer) {
  struct Row {
    Operation operation;
    std::optional<std::int64_t> status;
    std::optional<std::string> body;
    std::string outcome;
  };
  const std::string player = R"({"result":{"token":"t-1","player":{"id":"42"}}})";
  const std::string games = R"({"result":[)" + game(1, "A") + "," + game(2, "B") + "]}";
  const std::string fun = R"({"result":{"play_for_fun":"https://fun","user_id":42}})";
  const std::string created = R"({"result":{"id":"7"}})";
  const std::string afterSignUp = "new@example.com,s3cret,,";
  const std::vector<Row> rows = {
      // Log-in: a decodable result object succeeds under any status; the rest by status.
      {Operation::logIn, 200, player, "ok token=t-1 player=42"},
      {Operation::logIn, 401, R"({"result":{"token":"t-401"},"error":"x"})", "ok token=t-401 player=none"},
      {Operation::logIn, 200, R"({"result":[]})", R"(LogInServiceError.serverError("200"))"},
      {Operation::logIn, 200, R"({"result":{"token":5}})", R"(LogInServiceError.serverError("200"))"},
      {Operation::logIn, 200, "{\"result\":{\"token\":\"\xff\"}}", R"(LogInServiceError.serverError("200"))"},
      {Operation::logIn, 201, "not json", R"(LogInServiceError.serverError("201"))"},
      {Operation::logIn, 401, R"({"message":"no"})", R"(LogInServiceError.serverError("500"))"},
      {Operation::logIn, 404, std::nullopt, R"(LogInServiceError.serverError("500"))"},
      {Operation::logIn, std::nullopt, std::nullopt, R"(LogInServiceError.createURLError("Error"))"},
      // Sign-up: only 201 succeeds, with the body undecoded; the credentials are written
      // before the outcome whatever it is.
      {Operation::signUp, 201, created, "ok " + created + " [" + afterSignUp + "]"},
      {Operation::signUp, 200, created, R"(SignUpServiceError.serverError("200") [)" + afterSignUp + "]"},
      {Operation::signUp, 409, "{}", R"(SignUpServiceError.serverError("500") [)" + afterSignUp + "]"},
      {Operation::signUp, std::nullopt, std::nullopt, R"(SignUpServiceError.createURLError("Error") [)" + afterSignUp + "]"},
      // Game list: a decodable result array under any status, elements that fail skipped;
      // a page replaces the kept list, a failure keeps it.
      {Operation::gameList, 200, R"({"result":[]})", "ok  []"},
      {Operation::gameList, 500, games, "ok A,B [A,B]"},
      {Operation::gameList, 200, R"({"result":[7,)" + game(4, "D") + R"(,{"id":"x"},null]})", "ok D [D]"},
      {Operation::gameList, 200, R"({"games":[]})", R"(GameServiceError.serverError("200") [earlier])"},
      {Operation::gameList, 400, std::nullopt, R"(GameServiceError.serverError("400") [earlier])"},
      {Operation::gameList, std::nullopt, std::nullopt, R"(GameServiceError.createURLError("Error") [earlier])"},
      // Launch: 200 with a decodable result object only.
      {Operation::launchGame, 200, fun, "ok https://fun"},
      {Operation::launchGame, 201, fun, R"(GameServiceError.serverError("201"))"},
      {Operation::launchGame, 401, fun, R"(GameServiceError.serverError("500"))"},
      {Operation::launchGame, 200, R"({"result":{"user_id":"42"}})", R"(GameServiceError.serverError("200"))"},
      {Operation::launchGame, std::nullopt, fun, R"(GameServiceError.createURLError("Error"))"},
      // Currencies and balance: the list rule; the balance is the first record that decodes.
      {Operation::currencies, 500, R"({"result":[)" + currency("EUR") + "," + currency("USD") + "]}", "ok EUR,USD [EUR,USD]"},
      {Operation::currencies, 200, R"({"result":[{"id":1},)" + currency("SEK") + "]}", "ok SEK [SEK]"},
      {Operation::currencies, 404, std::nullopt, R"(UtilsServiceError.serverError("500") [])"},
      {Operation::balance, 200, R"({"result":[)" + balance("12.5") + "," + balance("99") + "]}", "ok 12.5 [12.5]"},
      {Operation::balance, 400, R"({"result":[{"amount":"x"},)" + balance("3") + "]}", "ok 3.0 [3.0]"},
      {Operation::balance, 200, R"({"result":[]})", R"(UtilsServiceError.serverError("200") [0.0])"},
      {Operation::balance, std::nullopt, std::nullopt, R"(UtilsServiceError.createURLError("Error") [0.0])"},
  };
  network_->setDelivery(ScriptedProvider::Delivery::inlineCall);
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(testing::name(row.operation)) + " " +
                 (row.status ? std::to_string(*row.status) : "-") + " " +
                 nlohmann::json(row.body.value_or("<none>"))
                     .dump(-1, ' ', true, nlohmann::json::error_handler_t::replace));
    KeychainWrapper::standard().setBackend(store_ = std::make_shared<MemoryKeyStore>());
    KeychainWrapper::standard().setAll({{"token", "old"}, {"userId", "9"}});
    network_->answer(row.operation, {row.status, row.body});
    EXPECT_EQ(run(row.operation), row.outcome);
  }
}

// A sign-up without e-mail or password stores nothing; a form that cannot become a request
// fails before the operation returns, with nothing sent.
TEST_F(ServicesTest, SignUpStoresOnlyACompletePairAndRefusesWhatCannotBeSent) {
  auto signUp =
      std::make_shared<SignUpService>(SignUpServiceDependencies(nullptr, nullptr, network_));
  network_->answerAll({201, "{}"});
  for (auto record : {newPlayer(std::nullopt), newPlayer("e@x.io", std::nullopt)}) {
    EXPECT_EQ(await<SignUpResult>([&](auto done) { signUp->signUpRequest(record, done); },
                                  [&](const auto&) { return "stored " + stored(); }),
              "ok stored -,-,-,-");
  }
  std::vector<std::string> failures;
  signUp->signUpRequest(std::nullopt, [&](auto result) { failures.push_back(result.error().what()); });
  EXPECT_EQ(failures, std::vector<std::string>{R"(SignUpServiceError.createURLError("Error creating URL"))"});
  EXPECT_EQ(network_->requests().size(), 2u);
}

// The status mapper, which hosts may replace: every classification becomes serverError with
// its raw value, except that refused credentials are their own case for log-in and utilities.
// The envelope helpers every service inherits: the "result" member or nothing.
TEST(BaseServiceTest, UnwrapsTheResultMemberOrGivesNothing) {
  const BaseService base;
  const auto bytes = [](std::string_view text) {
    return std::optional<Bytes>(Bytes(text.begin(), text.end()));
  };
  EXPECT_EQ(base.mapJsonResult(bytes(R"({"result":[1,{"a":2}]})")),
            (std::vector<nlohmann::json>{1, {{"a", 2}}}));
  EXPECT_EQ(json::parse(*base.mapJsonResultEntity(bytes(R"({"result":{"a":2}})"))),
            (nlohmann::json{{"a", 2}}));
  for (auto body : {R"({"results":[]})", R"({"result":{}})", "[1]", "no"}) {
    EXPECT_EQ(base.mapJsonResult(bytes(body)), std::nullopt) << body;
  }
  EXPECT_EQ(base.mapJsonResultEntity(bytes(R"({"result":[]})")), std::nullopt);
  EXPECT_EQ(base.mapJsonResult(std::nullopt), std::nullopt);
}

// A host reads a raw status back as one of the named codes, and nothing else as one.
TEST(APIStatusCodeTest, RawValuesReadBackAsTheirNamedCodes) {
  using C = APIStatusCode;
  for (C code : {C::SUCCESS, C::CREATED, C::INTERNALSERVERERROR, C::SERVICEUNAVAILABLE,
                 C::BADREQUEST, C::UNAUTHORIZED, C::FORBIDDEN, C::NOTFOUND, C::CONFLICT,
                 C::APPERROR, C::INVALIDUSER, C::BLOCK, C::ACCESSDENIED, C::INVALIDUSERSECONDARY}) {
    EXPECT_EQ(APIStatusCode::fromRawValue(code.rawValue()), code) << code.rawValue();
  }
  for (std::int64_t raw : {0, 202, 302, 418, 502}) {
    EXPECT_EQ(APIStatusCode::fromRawValue(raw), std::nullopt);
  }
}

TEST(DataDomainMapperTest, ClassificationsBecomeServiceErrors) {
  auto mapper = DataDomainMapper::inject();
  for (auto code : {APIStatusCode::SUCCESS, APIStatusCode::CREATED, APIStatusCode::BADREQUEST,
                    APIStatusCode::INTERNALSERVERERROR, APIStatusCode::APPERROR}) {
    const auto raw = std::to_string(APIStatusCode(code).rawValue());
    EXPECT_EQ(mapper->apiStatusCodeToLogInServiceError(code), LogInServiceError::serverError(raw));
    EXPECT_EQ(mapper->apiStatusCodeToSignUpServiceError(code), SignUpServiceError::serverError(raw));
    EXPECT_EQ(mapper->apiStatusCodeToGameListServiceError(code), GameServiceError::serverError(raw));
    EXPECT_EQ(mapper->apiStatusCodeToUtilsServiceError(code), UtilsServiceError::serverError(raw));
  }
  EXPECT_EQ(mapper->apiStatusCodeToLogInServiceError(APIStatusCode::UNAUTHORIZED),
            LogInServiceError::invalidCredencials());
  EXPECT_EQ(mapper->apiStatusCodeToUtilsServiceError(APIStatusCode::UNAUTHORIZED),
            UtilsServiceError::invalidCredencials());
}

}  // namespace
}  // namespace velmar
