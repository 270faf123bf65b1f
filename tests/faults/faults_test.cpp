// Every request held to transport and payload faults, from the public use cases to a server that
// misbehaves on purpose: one right outcome, the rest of what the host had kept, then recovery.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "support/raw_server.hpp"
#include "support/session.hpp"
#include "velmar/game_use_case.hpp"
#include "velmar/player_use_case.hpp"
#include "velmar/preference_data.hpp"
#include "velmar/use_case_errors.hpp"
#include "velmar/utils_use_case.hpp"

namespace velmar {
namespace {

using testing::RawServer;
using namespace std::chrono_literals;

// The text a valid answer carries in one of its string fields, and what the host then sees.
constexpr const char* kText = "velmar-ok";
constexpr std::size_t kHugeBody = std::size_t{100} * 1000 * 1000;  // well over the default cap
const std::size_t kDefaultCap = SessionConfiguration{}.maxResponseBytes;
constexpr std::size_t kStreamedCap = std::size_t{4} << 20;  // filling 64 MiB is slow under TSan
constexpr std::size_t kDeep = 100000;

struct Host {  // the public use cases with their default collaborators
  std::shared_ptr<PlayerUseCase> player = PlayerUseCase::make();
  std::shared_ptr<GameUseCase> games = GameUseCase::make();
  std::shared_ptr<UtilsUseCase> utils = UtilsUseCase::make();
  std::string lastLaunch;  // the URL the last launch gave
};

// Everything the host can read. An answered sign-up rewrites the stored credentials and a
// failed page is published as a failure, so those are not read for their own request.
std::string snapshot(Host& host, const std::string& failing = "") {
  std::ostringstream out;
  const auto player = host.player->userInformation()->value();
  out << (player ? player->email().value_or("?") : "none") << " balance "
      << host.utils->balance()->value().value_or(-1) << " currencies";
  for (const auto& c :
       host.utils->currencyList()->value().value_or(std::vector<CurrencyEntity>{})) {
    out << " " << c.alphabeticCode().value_or("?");
  }
  out << " page " << host.games->pageNumber() << " launched " << host.lastLaunch << " games";
  const GameListState games = host.games->gameList()->value();
  for (const auto& game : games.isSuccess() && failing != "GameList"
                              ? games.value().value_or(std::vector<GameEntity>{})
                              : std::vector<GameEntity>{}) {
    out << " " << game.name().value_or("?");
  }
  if (failing != "SignUp")
    out << " token " << host.player->getToken() << " id " << PreferenceData().getUserId();
  out << (host.player->islogin()->value() ? " in" : " out");
  return out.str();
}

struct Outcome {
  int calls = 0;                                        // outcomes once the SDK went idle
  std::optional<std::error_code> error = std::nullopt;  // raised by the last one
};

// One of the six requests: its target, a valid answer, how the host starts it and what it sees.
struct Operation {
  std::string name;
  const char* target;  // the start of its request target
  int successStatus;
  std::string result;  // a valid "result", with % for a string field's raw bytes
  std::function<void(Host&, ResultCallback<void>)> start;
  std::string seen;  // part of the host's snapshot after a success
  std::error_code failure;  // what any fault makes of it

  std::string resultWith(const std::string& text) const {
    return result.substr(0, result.find('%')) + '"' + text + '"' +
           result.substr(result.find('%') + 1);
  }
  Outcome run(Host& host) const {
    testing::Results<void> results;
    start(host, results.callback());
    // Then until idle, so that a late second outcome counts too.
    testing::runMainUntil([&] { return !results.thunks.empty(); });
    EXPECT_TRUE(MainQueue::main().runUntilIdle(testing::kWait)) << "the SDK never went idle";
    Outcome outcome{static_cast<int>(results.thunks.size())};
    if (outcome.calls > 0) outcome.error = testing::raisedBy(results.thunks.back());
    return outcome;
  }
};

const std::vector<Operation>& operations() {
  const auto kPlayer = make_error_code(PlayerUseCaseError::internalError);
  const auto kGames = make_error_code(GameUseCaseError::internalError);
  const auto kUtils = make_error_code(UtilsUseCaseError::internalError);
  static const std::vector<Operation> table = {
      {"LogIn", "/api/v1/login", 200, R"({"token":%,"player":{"id":"9","email":"a@b.c"}})",
       [](Host& host, auto done) { host.player->logIn("a@b.c", "pw", done); },
       std::string("token ") + kText + " id 9 in", kPlayer},
      // The registration's body is not read; the log-in that follows is the outcome.
      {"SignUp", "/api/v1/players", 201, R"({"id":"9","email":%})",
       [](Host& host, auto done) {
         host.player->signUp(SignUpEntity::decode({{"email", "a@b.c"}, {"password", "pw"}}), done);
       },
       std::string("token ") + kText + " id 9 in", kPlayer},
      {"GameList", "/api/v1/list_games", 200, R"([{"id":1,"name":%},{"id":2,"name":"Beta"}])",
       [](Host& host, ResultCallback<void> done) {
         auto owner = std::make_shared<int>(0);
         host.games->gameList()->observe(owner, [&host, owner, done](const GameListState& state) {
           if ((*owner)++ == 0) return;  // the delivery of the value already there
           host.games->gameList()->remove(owner);
           done([state] {
             if (!state.isSuccess()) throw std::system_error(make_error_code(state.error()));
           });
         });
         host.games->getMoreGamesList();
       },
       std::string("games ") + kText + " Beta", kGames},
      {"LaunchGame", "/api/v1/launch_game", 200, R"({"play_for_fun":%})",
       [](Host& host, ResultCallback<void> done) {
         host.games->launchGame("g-1", 3, "prov", [&host, done](auto url) {
           done([&host, url] { host.lastLaunch = url().value_or("(none)"); });
         });
       },
       std::string("launched ") + kText, kGames},
      {"Balance", "/api/v1/balances/player/9", 200, R"([{"amount":12.25,"alphabetic_code":%}])",
       [](Host& host, auto done) { host.utils->getBalance(done); }, "balance 12.25 ", kUtils},
      {"Currencies", "/api/v1/currencies", 200,
       R"([{"alphabetic_code":%},{"alphabetic_code":"USD"}])",
       [](Host& host, auto done) { host.utils->getCurrencyList(done); },
       std::string("currencies ") + kText + " USD ", kUtils},
  };
  return table;
}

std::string head(int status, const std::string& fields, const char* version = "HTTP/1.1") {
  return std::string(version) + " " + std::to_string(status) + " Fault\r\n" +
         "Content-Type: application/json\r\n" + fields + "\r\n";
}
std::string length(std::size_t size) { return "Content-Length: " + std::to_string(size) + "\r\n"; }
constexpr const char* kChunked = "Transfer-Encoding: chunked\r\n";
std::string answer(int status, const std::string& body) {
  return head(status, length(body.size())) + body;
}
std::string envelope(const std::string& result) { return R"({"result":)" + result + "}"; }
std::string validBody(const Operation& op) { return envelope(op.resultWith(kText)); }
std::string chunk(std::string_view data) {
  char size[20];
  std::snprintf(size, sizeof(size), "%zx\r\n", data.size());
  return size + std::string(data) + "\r\n";
}
bool list(const Operation& op) { return op.result[0] == '['; }  // else an object
std::string deepArray() { return std::string(kDeep, '[') + std::string(kDeep, ']'); }

using Body = const std::string&;  // the request's valid body
using Op = const Operation&;

// After the bytes: keep, close or reset the connection, say nothing, or stream filler.
enum class End { keep, close, reset, silence, filler, chunks };

struct Fault {
  const char* name;
  std::function<std::string(int status, Body body)> bytes;  // status: its success status
  End end = End::close;
  bool succeeds = false;  // else each request fails with its use case's internalError
  std::optional<std::chrono::milliseconds> timeout = std::nullopt;
  std::optional<std::size_t> cap = std::nullopt;     // the filler must be cut off there
  std::function<std::string(Op)> payload = nullptr;  // else the body of a proper answer
};

RawServer::Reply reply(const Fault& fault, Op op) {
  const std::string bytes = fault.payload ? answer(op.successStatus, fault.payload(op))
                                          : fault.bytes(op.successStatus, validBody(op));
  RawServer::Reply reply{bytes, fault.end != End::keep, fault.end == End::silence,
                         fault.end == End::reset};
  if (fault.end != End::filler && fault.end != End::chunks) return reply;
  reply.stream = [chunked = fault.end == End::chunks](const RawServer::Writer& write) {
    const std::string block(64 * 1024, 'x'), framed = chunk(block);
    for (std::size_t sent = 0; sent < kHugeBody; sent += block.size()) {
      if (!write(chunked ? framed : block)) return;
    }
    if (chunked) write("0\r\n\r\n");
  };
  return reply;
}

// An answer with the request's own success status and a body it cannot use.
Fault payload(const char* name, std::function<std::string(Op)> body) {
  return {name, nullptr, End::keep, false, std::nullopt, std::nullopt, body};
}
Fault withText(const char* name, std::string bytes) {
  return payload(name, [bytes](Op op) { return envelope(op.resultWith(bytes)); });
}

std::string chunked(int status, Body body, std::size_t size) {
  std::string out = head(status, kChunked);
  for (std::size_t at = 0; at < body.size(); at += size) out += chunk(body.substr(at, size));
  return out + "0\r\n\r\n";
}
std::string nothing(int, Body) { return ""; }
std::string headers(int status, Body body) { return head(status, length(body.size())); }
std::string cut(int status, Body body) {
  return answer(status, body).substr(0, answer(status, body).size() - body.size() / 2);
}

const std::vector<Fault>& faults() {
  const char* close = "Connection: close\r\n";
  static const std::vector<Fault> table = {
      {"ResetBeforeStatusLine", nothing, End::reset},
      {"ResetAfterHeaders", headers, End::reset},
      {"ResetMidBody", cut, End::reset},
      {"CloseAfterHeaders", headers},
      {"CloseMidBody", cut},
      {"NeverAnswers", nothing, End::silence, false, 300ms},
      {"HugeBodyWithLength", [=](int s, Body) { return head(s, length(kHugeBody) + close); },
       End::filler, false, std::nullopt, kDefaultCap},
      {"HugeBodyChunked", [=](int s, Body) { return head(s, kChunked + std::string(close)); },
       End::chunks, false, std::nullopt, kStreamedCap},
      {"HugeBodyCloseDelimited", [=](int s, Body) { return head(s, close); }, End::filler, false,
       std::nullopt, kStreamedCap},
      {"NoStatusLine", [](int, Body b) { return b; }},
      {"MalformedStatusLine",
       [](int, Body b) { return "HTTP/1.1 OK\r\n" + length(b.size()) + "\r\n" + b; }},
      {"OversizedHeaders",
       [](int s, Body b) {
         return head(s, "X-Filler: " + std::string(1 << 20, 'h') + "\r\n" + length(b.size())) + b;
       }},
      {"MalformedChunk",
       [](int s, Body b) { return head(s, kChunked) + "zz\r\n" + b + "\r\n0\r\n\r\n"; }},
      payload("EmptyBody", [](Op) { return std::string(); }),
      payload("TruncatedJson",
              [](Op op) { return validBody(op).substr(0, validBody(op).size() - 2); }),
      payload("GarbageBody",
              [](Op) { return std::string("\x8f\0\xff{[\x9c", 7) + std::string(4096, '\xc1'); }),
      withText("InvalidUtf8", "ok\xff"),
      withText("LoneSurrogateEscape", "\\ud800"),
      // One deep member or element beside valid ones: the whole body is refused.
      payload("DeepNestingInResult",
              [](Op op) {
                const auto deep = (list(op) ? "" : R"("deep":)") + deepArray() + ",";
                return envelope(op.resultWith(kText).insert(1, deep));
              }),
      payload("DeepNestingBesideResult",
              [](Op op) {
                return R"({"result":)" + op.resultWith(kText) + R"(,"deep":)" + deepArray() + "}";
              }),
      payload("DeepNestingTopLevel", [](Op) { return deepArray(); }),
      payload("ResultOfTheOtherStructure",
              [](Op op) {
                return envelope(list(op) ? R"({"id":1})" : "[" + op.resultWith(kText) + "]");
              }),
      {"Http10CloseDelimited", [](int s, Body b) { return head(s, "", "HTTP/1.0") + b; },
       End::close, true},
      {"ChunkedValid", [](int s, Body b) { return chunked(s, b, b.size() / 3 + 1); }, End::keep,
       true},
      {"ChunkedOneByteChunks", [](int s, Body b) { return chunked(s, b, 1); }, End::keep, true},
      // Bytes beyond the announced length must not be read as the answer to the next request.
      {"ExcessBytesAfterBody", [](int s, Body b) { return answer(s, b) + answer(500, "{}"); },
       End::keep, true},
  };
  return table;
}

class FaultTest : public testing::SessionTest,
                  public ::testing::WithParamInterface<std::tuple<std::size_t, std::size_t>> {
 protected:
  FaultTest() : SessionTest(Environment::PROD) {}
  const Fault& fault() const { return faults()[std::get<0>(GetParam())]; }
  const Operation& operation() const { return operations()[std::get<1>(GetParam())]; }
  // Only the request under test misbehaves, and only while `faulty`.
  void configure(bool faulty) {
    faulty_ = faulty;
    SessionConfiguration config;
    config.timeoutOverride = faulty ? fault().timeout : std::nullopt;
    config.maxResponseBytes = faulty ? fault().cap.value_or(kDefaultCap) : kDefaultCap;
    routeTo(server_.port(), std::move(config));
  }
  static void expectSuccess(Host& host, Op op, const Outcome& outcome, const char* when) {
    EXPECT_EQ(outcome.calls, 1) << op.name << " " << when;
    EXPECT_EQ(outcome.error, std::nullopt) << op.name << " " << when;
    EXPECT_THAT(snapshot(host), ::testing::HasSubstr(op.seen)) << op.name << " " << when;
  }

  std::atomic<bool> faulty_{false};
  // Healthy answers keep the connection open: a fault usually lands on a reused one.
  RawServer server_{[this](const std::string& request) {
    for (const auto& op : operations()) {
      if (!request.substr(request.find(' ') + 1).starts_with(op.target)) continue;
      if (faulty_ && &op == &operation()) return reply(fault(), op);
      return RawServer::Reply{answer(op.successStatus, validBody(op)), false};
    }
    return RawServer::Reply{answer(404, "{}"), false};
  }};
};

TEST_P(FaultTest, OneRightOutcomeTheRestKeptThenRecovery) {
  Host host;
  const Operation& op = operation();
  configure(false);
  // Every request once, so the host has something of each to lose.
  for (const auto& each : operations())
    expectSuccess(host, each, each.run(host), "before the fault");

  const std::string kept = snapshot(host, op.name);
  configure(true);
  const Outcome outcome = op.run(host);
  // A sign-up's answer is never read: a body it cannot use does not fail it.
  if (fault().succeeds || (fault().payload && op.name == "SignUp")) {
    expectSuccess(host, op, outcome, "under the fault");
  } else {
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(outcome.error, op.failure);
    EXPECT_EQ(snapshot(host, op.name), kept) << "a failure changed what the host had";
  }
  EXPECT_TRUE(!fault().cap || server_.bytesWritten() < kHugeBody) << "the client read past its cap";

  configure(false);
  expectSuccess(host, op, op.run(host), "after the fault");
}

INSTANTIATE_TEST_SUITE_P(AllRequests, FaultTest,
                         ::testing::Combine(::testing::Range<std::size_t>(0, faults().size()),
                                            ::testing::Range<std::size_t>(0, operations().size())),
                         [](const auto& info) {
                           return std::string(faults()[std::get<0>(info.param)].name) + "_" +
                                  operations()[std::get<1>(info.param)].name;
                         });

}  // namespace
}  // namespace velmar
