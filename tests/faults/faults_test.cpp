// Every request of the platform held to transport and payload faults, end to end: through the
// public use cases, the real network provider and HTTP session, to a local server that
// misbehaves on purpose. Each case checks that exactly one right outcome reaches the host and
// that the next request, answered properly, succeeds.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

#include "data/network/api_environment.hpp"
#include "support/queue.hpp"
#include "support/raw_server.hpp"
#include "support/session.hpp"
#include "velmar/game_use_case.hpp"
#include "velmar/key_store.hpp"
#include "velmar/main_queue.hpp"
#include "velmar/player_use_case.hpp"
#include "velmar/session_configuration.hpp"
#include "velmar/use_case_errors.hpp"
#include "velmar/utils_use_case.hpp"

namespace velmar {
namespace {

using testing::RawServer;
using namespace std::chrono_literals;

// The text a valid answer carries in one of its string fields, and what the host then sees.
constexpr const char* kText = "velmar-ok";
// Larger than the default response cap (64 MiB) by a wide margin.
constexpr std::size_t kHugeBody = std::size_t{100} * 1000 * 1000;
const std::size_t kDefaultCap = SessionConfiguration{}.maxResponseBytes;
// The cap for bodies that stream in without a length. Filling the default 64 MiB costs the
// client seconds per request under ThreadSanitizer, so these rows lower it; the announced
// length row keeps the default.
constexpr std::size_t kStreamedCap = std::size_t{4} * 1024 * 1024;
constexpr std::size_t kDeep = 100000;

// The public use cases with their default collaborators: the real services, NetworkService
// and the process-wide HTTP session.
struct Host {
  std::shared_ptr<PlayerUseCase> player = PlayerUseCase::make();
  std::shared_ptr<GameUseCase> games = GameUseCase::make();
  std::shared_ptr<UtilsUseCase> utils = UtilsUseCase::make();
};

// What reached the host for one operation.
struct Outcome {
  int calls = 0;                         // result callbacks (or list deliveries) after going idle
  std::optional<std::error_code> error;  // raised by the last thunk / held by the last state
  std::string seen;                      // the values the host can read after a success
};

// Counts result callbacks and keeps the last thunk.
template <typename T>
struct Received {
  int calls = 0;
  Thunk<T> last;
};

template <typename T>
ResultCallback<T> counting(const std::shared_ptr<Received<T>>& received) {
  return [received](Thunk<T> thunk) {
    ++received->calls;
    received->last = std::move(thunk);
  };
}

// Drives the main queue until the first outcome and then until the SDK is idle, so a second,
// late outcome would be counted too.
bool settle(const std::function<bool()>& arrived) {
  const bool any = testing::runMainUntil(arrived);
  EXPECT_TRUE(MainQueue::main().runUntilIdle(testing::kWait)) << "the SDK never went idle";
  return any;
}

// Runs `start` with a counting callback and calls the last thunk; its value goes through
// `describe` into Outcome::seen.
template <typename T>
Outcome awaitThunk(const std::function<void(ResultCallback<T>)>& start,
                   const std::function<std::string(const T*)>& describe) {
  auto received = std::make_shared<Received<T>>();
  start(counting(received));
  Outcome outcome;
  settle([&] { return received->calls > 0; });
  outcome.calls = received->calls;
  if (outcome.calls == 0) return outcome;
  try {
    if constexpr (std::is_void_v<T>) {
      received->last();
      outcome.seen = describe(nullptr);
    } else {
      const T value = received->last();
      outcome.seen = describe(&value);
    }
  } catch (const std::system_error& error) {
    outcome.error = error.code();
  }
  return outcome;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& part : parts) out += (out.empty() ? "" : ",") + part;
  return out;
}

std::string loggedIn(Host& host) {
  return host.player->getToken() + (host.player->islogin()->value() ? " in" : " out");
}

std::string playerShown(Host& host) {
  const auto player = host.player->userInformation()->value();
  return (player ? player->email().value_or("?") : "none") +
         (host.player->islogin()->value() ? " in" : " out");
}

// One of the platform's six requests: where it goes, what a valid answer looks like, and how
// the host starts it and reads its outcome.
struct Operation {
  const char* name;
  const char* target;  // the start of its request target
  int successStatus;
  bool listResult;  // "result" is an array (else an object)
  // The JSON text of a valid "result" with `text` as the raw bytes of one string field.
  std::function<std::string(const std::string& text)> result;
  std::error_code internalError;
  std::function<Outcome(Host&)> run;
  std::string expectedSeen;  // Outcome::seen after a success
  // What a failure of this request must leave as it was.
  std::function<std::string(Host&)> kept;
};

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// A valid log-in answer, also what the log-in after a sign-up receives.
std::string logInResult(const std::string& text) {
  return R"({"token":)" + quoted(text) + R"(,"player":{"id":"9","email":"a@b.c"}})";
}

const std::vector<Operation>& operations() {
  static const std::vector<Operation> table = {
      {"LogIn", "/api/v1/login", 200, false, logInResult,
       make_error_code(PlayerUseCaseError::internalError),
       [](Host& host) {
         return awaitThunk<void>([&](auto done) { host.player->logIn("a@b.c", "pw", done); },
                                 [&](const void*) { return loggedIn(host); });
       },
       std::string(kText) + " in",
       [](Host& host) { return loggedIn(host) + " " + playerShown(host); }},
      {"SignUp", "/api/v1/players", 201, false,
       [](const std::string& text) { return R"({"id":"9","email":)" + quoted(text) + "}"; },
       make_error_code(PlayerUseCaseError::internalError),
       [](Host& host) {
         const auto entity = SignUpEntity::decode({{"email", "a@b.c"}, {"password", "pw"}});
         return awaitThunk<void>([&](auto done) { host.player->signUp(entity, done); },
                                 [&](const void*) { return loggedIn(host); });
       },
       // The registration's body is not read; the log-in that follows is the outcome.
       std::string(kText) + " in",
       // Every answered sign-up rewrites the stored credentials; the player and flag stay.
       playerShown},
      {"GameList", "/api/v1/list_games", 200, true,
       [](const std::string& text) {
         return R"([{"id":1,"name":)" + quoted(text) + R"(},{"id":2,"name":"Beta"}])";
       },
       make_error_code(GameUseCaseError::internalError),
       [](Host& host) {
         // The page arrives in `gameList`: count deliveries after the initial one.
         auto deliveries = std::make_shared<int>(0);
         host.games->gameList()->observe(nullptr,
                                         [deliveries](const GameListState&) { ++*deliveries; });
         EXPECT_TRUE(MainQueue::main().runUntilIdle(testing::kWait));
         *deliveries = 0;
         host.games->getGameList();
         Outcome outcome;
         settle([&] { return *deliveries > 0; });
         outcome.calls = *deliveries;
         const GameListState state = host.games->gameList()->value();
         if (!state.isSuccess()) {
           outcome.error = make_error_code(state.error());
         } else if (state.value()) {
           std::vector<std::string> names;
           for (const auto& game : *state.value()) names.push_back(game.name().value_or("?"));
           outcome.seen = joined(names);
         }
         return outcome;
       },
       std::string(kText) + ",Beta",
       // A failed page is itself published, as a failure; getGameList() restarts at page 1
       // whatever the answer, so nothing else is kept.
       [](Host&) { return std::string(); }},
      {"LaunchGame", "/api/v1/launch_game", 200, false,
       [](const std::string& text) { return R"({"play_for_fun":)" + quoted(text) + "}"; },
       make_error_code(GameUseCaseError::internalError),
       [](Host& host) {
         return awaitThunk<std::optional<std::string>>(
             [&](auto done) { host.games->launchGame("g-1", 3, "prov", done); },
             [](const std::optional<std::string>* url) { return url->value_or("(none)"); });
       },
       kText, [](Host&) { return std::string(); }},
      {"Balance", "/api/v1/balances/player/9", 200, true,
       [](const std::string& text) {
         return R"([{"amount":12.25,"alphabetic_code":)" + quoted(text) + "}]";
       },
       make_error_code(UtilsUseCaseError::internalError),
       [](Host& host) {
         return awaitThunk<void>([&](auto done) { host.utils->getBalance(done); },
                                 [&](const void*) {
                                   std::ostringstream out;
                                   out << host.utils->balance()->value().value_or(-1);
                                   return out.str();
                                 });
       },
       "12.25",
       [](Host& host) {
         std::ostringstream out;
         out << host.utils->balance()->value().value_or(-1);
         return out.str();
       }},
      {"Currencies", "/api/v1/currencies", 200, true,
       [](const std::string& text) {
         return R"([{"alphabetic_code":)" + quoted(text) + R"(},{"alphabetic_code":"USD"}])";
       },
       make_error_code(UtilsUseCaseError::internalError),
       [](Host& host) {
         return awaitThunk<void>(
             [&](auto done) { host.utils->getCurrencyList(done); },
             [&](const void*) {
               std::vector<std::string> codes;
               for (const auto& c :
                    host.utils->currencyList()->value().value_or(std::vector<CurrencyEntity>{})) {
                 codes.push_back(c.alphabeticCode().value_or("?"));
               }
               return joined(codes);
             });
       },
       std::string(kText) + ",USD",
       [](Host& host) {
         return std::to_string(
             host.utils->currencyList()->value().value_or(std::vector<CurrencyEntity>{}).size());
       }},
  };
  return table;
}

std::string head(const char* version, int status, const std::string& fields) {
  return std::string(version) + " " + std::to_string(status) + " Fault\r\n" +
         "Content-Type: application/json\r\n" + fields + "\r\n";
}

// A complete, well-formed answer; the connection stays open for the next request.
std::string answer(int status, const std::string& body) {
  return head("HTTP/1.1", status, "Content-Length: " + std::to_string(body.size()) + "\r\n") + body;
}

RawServer::Reply keepAlive(std::string bytes) {
  RawServer::Reply reply{std::move(bytes)};
  reply.close = false;
  return reply;
}

std::string envelope(const std::string& result) { return R"({"result":)" + result + "}"; }

std::string validBody(const Operation& op) { return envelope(op.result(kText)); }

std::string nested(char open, char close, const std::string& inner = "") {
  return std::string(kDeep, open) + inner + std::string(kDeep, close);
}

std::string deepObject() {
  std::string out;
  out.reserve(kDeep * 6 + 4);
  for (std::size_t i = 0; i < kDeep; ++i) out += R"({"a":)";
  out += "null";
  out.append(kDeep, '}');
  return out;
}

std::string chunk(std::string_view data) {
  std::ostringstream size;
  size << std::hex << data.size();
  return size.str() + "\r\n" + std::string(data) + "\r\n";
}

// Writes `total` bytes of filler, as one body or as chunks, until done or the client leaves.
std::function<void(const RawServer::Writer&)> filler(std::size_t total, bool chunked) {
  return [total, chunked](const RawServer::Writer& write) {
    static const std::string block(64 * 1024, 'x');
    const std::string framed = chunk(block);
    for (std::size_t sent = 0; sent < total; sent += block.size()) {
      if (!write(chunked ? framed : block)) return;
    }
    if (chunked) write("0\r\n\r\n");
  };
}

// What the host must see for a fault.
enum class Expected {
  internalError,           // every request fails with its use case's internalError
  internalErrorButSignUp,  // sign-up succeeds: its answer's body is never read
  success,                 // the valid answer's values
};

struct Fault {
  const char* name;
  // The server's reply to the request under test.
  std::function<RawServer::Reply(const Operation&)> reply;
  Expected expected;
  std::optional<std::chrono::milliseconds> timeout = std::nullopt;  // session timeout for this case
  // For a body over the response cap: the cap in force. The server must then not manage to
  // write the whole body.
  std::optional<std::size_t> cap = std::nullopt;
};

// A payload fault: an answer with the request's own success status and this body.
Fault payload(const char* name, std::function<std::string(const Operation&)> body,
              Expected expected = Expected::internalErrorButSignUp) {
  return {name,
          [body = std::move(body)](const Operation& op) {
            return keepAlive(answer(op.successStatus, body(op)));
          },
          expected};
}

// A valid "result" whose text field holds `bytes`.
std::function<std::string(const Operation&)> withText(std::string bytes) {
  return [bytes = std::move(bytes)](const Operation& op) { return envelope(op.result(bytes)); };
}

RawServer::Reply resetAfter(std::string bytes) {
  RawServer::Reply reply{std::move(bytes)};
  reply.reset = true;
  return reply;
}

const std::vector<Fault>& faults() {
  static const std::vector<Fault> table = {
      {"ResetBeforeStatusLine", [](const Operation&) { return resetAfter(""); },
       Expected::internalError},
      {"ResetAfterHeaders",
       [](const Operation& op) {
         return resetAfter(
             head("HTTP/1.1", op.successStatus,
                  "Content-Length: " + std::to_string(validBody(op).size()) + "\r\n"));
       },
       Expected::internalError},
      {"ResetMidBody",
       [](const Operation& op) {
         const std::string body = validBody(op);
         const std::string whole = answer(op.successStatus, body);
         return resetAfter(whole.substr(0, whole.size() - body.size() / 2));
       },
       Expected::internalError},
      {"CloseAfterHeaders",
       [](const Operation& op) {
         return RawServer::Reply{
             head("HTTP/1.1", op.successStatus,
                  "Content-Length: " + std::to_string(validBody(op).size()) + "\r\n")};
       },
       Expected::internalError},
      {"CloseMidBody",
       [](const Operation& op) {
         const std::string body = validBody(op);
         const std::string whole = answer(op.successStatus, body);
         return RawServer::Reply{whole.substr(0, whole.size() - body.size() / 2)};
       },
       Expected::internalError},
      {"NeverAnswers",
       [](const Operation&) {
         RawServer::Reply reply;
         reply.neverAnswer = true;
         return reply;
       },
       Expected::internalError, 300ms},
      {"HugeBodyWithLength",
       [](const Operation& op) {
         RawServer::Reply reply{
             head("HTTP/1.1", op.successStatus,
                  "Content-Length: " + std::to_string(kHugeBody) + "\r\nConnection: close\r\n")};
         reply.stream = filler(kHugeBody, false);
         return reply;
       },
       Expected::internalError, std::nullopt, kDefaultCap},
      {"HugeBodyChunked",
       [](const Operation& op) {
         RawServer::Reply reply{head("HTTP/1.1", op.successStatus,
                                     "Transfer-Encoding: chunked\r\nConnection: close\r\n")};
         reply.stream = filler(kHugeBody, true);
         return reply;
       },
       Expected::internalError, std::nullopt, kStreamedCap},
      {"HugeBodyCloseDelimited",
       [](const Operation& op) {
         RawServer::Reply reply{head("HTTP/1.1", op.successStatus, "Connection: close\r\n")};
         reply.stream = filler(kHugeBody, false);
         return reply;
       },
       Expected::internalError, std::nullopt, kStreamedCap},
      {"NoStatusLine", [](const Operation& op) { return RawServer::Reply{validBody(op)}; },
       Expected::internalError},
      {"MalformedStatusLine",
       [](const Operation& op) {
         const std::string body = validBody(op);
         return RawServer::Reply{"HTTP/1.1 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                 "\r\n\r\n" + body};
       },
       Expected::internalError},
      {"OversizedHeaders",
       [](const Operation& op) {
         const std::string body = validBody(op);
         return RawServer::Reply{head("HTTP/1.1", op.successStatus,
                                      "X-Filler: " + std::string(1 << 20, 'h') +
                                          "\r\nContent-Length: " + std::to_string(body.size()) +
                                          "\r\n") +
                                 body};
       },
       Expected::internalError},
      {"MalformedChunk",
       [](const Operation& op) {
         return RawServer::Reply{
             head("HTTP/1.1", op.successStatus, "Transfer-Encoding: chunked\r\n") + "zz\r\n" +
             validBody(op) + "\r\n0\r\n\r\n"};
       },
       Expected::internalError},
      payload("EmptyBody", [](const Operation&) { return std::string(); }),
      payload("TruncatedJson",
              [](const Operation& op) {
                const std::string body = validBody(op);
                return body.substr(0, body.size() - 2);
              }),
      payload("GarbageBody",
              [](const Operation&) {
                std::string bytes;
                for (int i = 0; i < 4096; ++i)
                  bytes.push_back(static_cast<char>((i * 131 + 7) % 256));
                return bytes;
              }),
      payload("InvalidUtf8StrayByte", withText("ok\xff")),
      payload("InvalidUtf8Overlong", withText("\xc0\xaf")),
      payload("InvalidUtf8EncodedSurrogate", withText("\xed\xa0\x80")),
      payload("InvalidUtf8Truncated", withText("\xe2\x82")),
      payload("InvalidUtf8LoneContinuation", withText("a\x80z")),
      payload("LoneSurrogateEscape", withText("\\ud800")),
      payload("DeepNestingInResult",
              [](const Operation& op) {
                // One deep member or element beside valid ones: the whole body is refused.
                const std::string valid = op.result(kText);
                const std::string deep =
                    op.listResult ? nested('[', ']') + "," : R"("deep":)" + deepObject() + ",";
                return envelope(valid.substr(0, 1) + deep + valid.substr(1));
              }),
      payload("DeepNestingBesideResult",
              [](const Operation& op) {
                return R"({"result":)" + op.result(kText) + R"(,"deep":)" + deepObject() + "}";
              }),
      payload("DeepNestingTopLevel", [](const Operation&) { return nested('[', ']'); }),
      payload("ResultIsString", [](const Operation&) { return envelope(R"("text")"); }),
      payload("ResultIsNumber", [](const Operation&) { return envelope("42"); }),
      payload("ResultIsNull", [](const Operation&) { return envelope("null"); }),
      payload("ResultOfTheOtherStructure",
              [](const Operation& op) {
                return envelope(op.listResult ? "{" + std::string(R"("id":1)") + "}"
                                              : "[" + op.result(kText) + "]");
              }),
      {"Http10CloseDelimited",
       [](const Operation& op) {
         return RawServer::Reply{head("HTTP/1.0", op.successStatus, "") + validBody(op)};
       },
       Expected::success},
      {"ChunkedValid",
       [](const Operation& op) {
         const std::string body = validBody(op);
         const std::size_t third = body.size() / 3;
         return keepAlive(head("HTTP/1.1", op.successStatus, "Transfer-Encoding: chunked\r\n") +
                          chunk(body.substr(0, third)) + chunk(body.substr(third, third)) +
                          chunk(body.substr(2 * third)) + "0\r\n\r\n");
       },
       Expected::success},
      // Bytes beyond the announced length must not be read as the answer to the next request.
      {"ExcessBytesAfterBody",
       [](const Operation& op) {
         return keepAlive(answer(op.successStatus, validBody(op)) +
                          answer(500, R"({"result":"stale"})"));
       },
       Expected::success},
      {"ChunkedOneByteChunks",
       [](const Operation& op) {
         std::string chunks;
         for (char c : validBody(op)) chunks += chunk(std::string(1, c));
         return keepAlive(head("HTTP/1.1", op.successStatus, "Transfer-Encoding: chunked\r\n") +
                          chunks + "0\r\n\r\n");
       },
       Expected::success},
  };
  return table;
}

// The target of a raw request: the second word of its request line.
std::string targetOf(const std::string& request) {
  const auto start = request.find(' ') + 1;
  return request.substr(start, request.find(' ', start) - start);
}

class FaultTest : public ::testing::TestWithParam<std::tuple<std::size_t, std::size_t>> {
 protected:
  const Fault& fault() const { return faults()[std::get<0>(GetParam())]; }
  const Operation& operation() const { return operations()[std::get<1>(GetParam())]; }

  void SetUp() override {
    MainQueue::main().drain();
    store_ = std::make_shared<MemoryKeyStore>();
    KeychainWrapper::standard().setBackend(store_);
    KeychainWrapper::standard().set("9", "userId");  // the player whose balance is asked for
    APIEnvironment::shared().setApiEnvironment(Environment::PROD);
    // Only the request under test misbehaves, and only while faulty_ holds; every other
    // request (the log-in after a sign-up) is answered properly. Healthy answers keep the
    // connection open, so a fault usually lands on a connection the session reuses.
    server_ = std::make_unique<RawServer>([this](const std::string& request) {
      const std::string target = targetOf(request);
      for (const auto& op : operations()) {
        if (!target.starts_with(op.target)) continue;
        if (faulty_ && &op == &operation()) return fault().reply(op);
        return keepAlive(answer(op.successStatus, validBody(op)));
      }
      return keepAlive(answer(404, "{}"));
    });
  }

  void TearDown() override {
    EXPECT_TRUE(MainQueue::main().runUntilIdle(testing::kWait));
    configureSession({});
    APIEnvironment::shared().setApiEnvironment(Environment::DEV);
  }

  // PROD is plain HTTP: its host and port are routed to the raw server.
  void configure(std::optional<std::chrono::milliseconds> timeout = std::nullopt,
                 std::size_t maxResponseBytes = kDefaultCap) {
    const auto [host, port] = testing::authorityOf(Environment::PROD);
    SessionConfiguration config;
    config.connectTo = {server_->routeFrom(host, port)};
    config.timeoutOverride = timeout;
    config.maxResponseBytes = maxResponseBytes;
    configureSession(std::move(config));
  }

  void expectSuccess(const Outcome& outcome, const char* when) {
    EXPECT_EQ(outcome.calls, 1) << when;
    EXPECT_EQ(describe(outcome.error), "no error") << when;
    EXPECT_EQ(outcome.seen, operation().expectedSeen) << when;
  }

  static std::string describe(const std::optional<std::error_code>& error) {
    return error ? std::string(error->category().name()) + "::" + error->message() : "no error";
  }

  std::shared_ptr<MemoryKeyStore> store_;
  std::atomic<bool> faulty_{false};
  std::unique_ptr<RawServer> server_;
};

TEST_P(FaultTest, OneRightOutcomeThenRecovery) {
  Host host;
  const Operation& op = operation();
  configure();
  expectSuccess(op.run(host), "before the fault");

  const std::size_t before = server_->requests().size();
  const std::string kept = op.kept(host);
  faulty_ = true;
  configure(fault().timeout, fault().cap.value_or(kDefaultCap));
  const Outcome outcome = op.run(host);

  const bool succeeds = fault().expected == Expected::success ||
                        (fault().expected == Expected::internalErrorButSignUp &&
                         std::string_view(op.name) == "SignUp");
  if (succeeds) {
    expectSuccess(outcome, "under the fault");
  } else {
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(describe(outcome.error), describe(op.internalError)) << "seen: " << outcome.seen;
    EXPECT_EQ(op.kept(host), kept) << "a failure changed what the host had";
  }
  const auto requests = server_->requests();
  ASSERT_GT(requests.size(), before);
  EXPECT_TRUE(targetOf(requests[before]).starts_with(op.target)) << requests[before];
  if (fault().cap) {
    EXPECT_LT(server_->bytesWritten(), kHugeBody) << "the client read past its cap";
  }

  // The same session, the same use cases, a healthy answer: the next request succeeds.
  faulty_ = false;
  configure();
  expectSuccess(op.run(host), "after the fault");
}

std::string caseName(const ::testing::TestParamInfo<FaultTest::ParamType>& info) {
  return std::string(faults()[std::get<0>(info.param)].name) + "_" +
         operations()[std::get<1>(info.param)].name;
}

INSTANTIATE_TEST_SUITE_P(AllRequests, FaultTest,
                         ::testing::Combine(::testing::Range<std::size_t>(0, faults().size()),
                                            ::testing::Range<std::size_t>(0, operations().size())),
                         caseName);

}  // namespace
}  // namespace velmar
