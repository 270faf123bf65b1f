#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "entities/record_test_support.hpp"

namespace velmar::json {
namespace {

using nlohmann::json;
using testing::bytesOf;

std::string gamePage(int count, const std::string& broken = "") {
  std::string body = R"({"status": "ok", "result": [)";
  for (int i = 0; i < count; ++i) {
    if (i) body += ",";
    body += i == 1 && !broken.empty() ? broken
                                      : R"({"id": )" + std::to_string(i) + R"(, "name": "G)" +
                                            std::to_string(i) + R"(", "is_new": true})";
  }
  return body + "]}";
}

TEST(JsonDocumentTest, ResultListKeepsEveryElementsOutcome) {
  auto games = decodeResultList<GameEntity>(bytesOf(gamePage(3, R"({"id": 1, "is_new": "no"})")));
  ASSERT_TRUE(games.has_value());
  ASSERT_EQ(games->size(), 3u);
  EXPECT_TRUE((*games)[0].isSuccess());
  EXPECT_FALSE((*games)[1].isSuccess());
  EXPECT_EQ((*games)[1].error().key(), "is_new");
  ASSERT_TRUE((*games)[2].isSuccess());
  EXPECT_EQ((*games)[2].value().name(), "G2");
}

TEST(JsonDocumentTest, EnvelopeShapes) {
  struct Case {
    std::string body;
    bool hasList;
    bool hasObject;
  };
  const Case cases[] = {
      {R"({"result": []})", true, false},
      {R"({"result": [1, "a", null, {}]})", true, false},
      {R"({"result": {}})", false, true},
      {R"({"result": {"token": "t"}, "message": "ignored"})", false, true},
      {R"({"result": null})", false, false},
      {R"({"result": "x"})", false, false},
      {R"({"data": []})", false, false},
      {R"([{"result": []}])", false, false},
      {"", false, false},
      {"not json", false, false},
      {R"({"result": [], "big": 123456789012345678901234567890})", true, false},
      {R"({"result": {}, "result": []})", true, false},  // the last one counts
  };
  for (const auto& c : cases) {
    auto list = decodeResultList<CurrencyEntity>(bytesOf(c.body));
    auto object = decodeResultObject<LaunchGameResponseEntity>(bytesOf(c.body));
    EXPECT_EQ(list.has_value(), c.hasList) << c.body;
    EXPECT_EQ(object.has_value(), c.hasObject) << c.body;
  }
  // Elements that are not objects fail alone.
  auto mixed = decodeResultList<CurrencyEntity>(bytesOf(R"({"result": [1, {"id": "a"}, []]})"));
  ASSERT_TRUE(mixed.has_value());
  ASSERT_EQ(mixed->size(), 3u);
  EXPECT_FALSE((*mixed)[0].isSuccess());
  EXPECT_TRUE((*mixed)[1].isSuccess());
  EXPECT_FALSE((*mixed)[2].isSuccess());
}

TEST(JsonDocumentTest, ResultMemberMatchesNlohmannsOwnParse) {
  const std::string bodies[] = {
      R"({"result": {"a": [1, -2, 3.5, "x", true, null, {"b": {}}], "n": 18446744073709551615}})",
      R"({"result": [{"id": 1}, {"id": -1}], "big": 123456789012345678901234567890})",
      R"({"result": "text"})",
  };
  for (const auto& body : bodies) {
    auto member = resultMember(bytesOf(body));
    ASSERT_TRUE(member.has_value()) << body;
    auto expected = json::parse(body)["result"];
    EXPECT_EQ(*member, expected) << body;
    EXPECT_EQ(member->dump(), expected.dump()) << "integer forms differ: " << body;
  }
  EXPECT_EQ(resultMember(bytesOf(R"({"data": 1})")), std::nullopt);
}

TEST(JsonDocumentTest, FallsBackToNlohmannOnlyWhereSimdjsonRefuses) {
  auto plain = JsonDocument::parse(bytesOf(R"({"result": {"user_id": 7}})"));
  ASSERT_TRUE(plain.isValid());
  EXPECT_FALSE(plain.parsedByFallback());

  auto bigInteger =
      JsonDocument::parse(bytesOf(R"({"result": {"user_id": 7, "x": 1234567890123456789012}})"));
  ASSERT_TRUE(bigInteger.isValid());
  EXPECT_TRUE(bigInteger.parsedByFallback());
  auto decoded = bigInteger.result()->decode<LaunchGameResponseEntity>();
  ASSERT_TRUE(decoded.isSuccess());
  EXPECT_EQ(decoded.value().userID(), 7);

  auto deep = std::string(100000, '[') + std::string(100000, ']');
  auto refused = JsonDocument::parse(bytesOf(deep));
  EXPECT_FALSE(refused.isValid());
  EXPECT_EQ(refused.root(), std::nullopt);
}

TEST(JsonDocumentTest, DocumentsAliveTogetherOnOneThreadStayIntact) {
  auto first = JsonDocument::parse(bytesOf(gamePage(2)));
  auto second = JsonDocument::parse(bytesOf(R"({"result": {"token": "t"}})"));
  std::vector<JsonDocument> moved;
  moved.push_back(std::move(first));
  auto third = JsonDocument::parse(bytesOf(gamePage(1)));  // parsed while two are alive
  auto games = moved[0].result()->decodeEach<GameEntity>();
  ASSERT_TRUE(games.has_value());
  ASSERT_EQ(games->size(), 2u);
  EXPECT_EQ((*games)[1].value().name(), "G1");
  EXPECT_EQ(second.result()->decode<LogInEntity>().value().token(), "t");
  EXPECT_EQ(third.result()->decodeEach<GameEntity>()->size(), 1u);
}

TEST(JsonDocumentTest, LargeBodiesDecode) {
  std::string longText(10 << 20, 'a');
  auto body = R"({"result": [{"name": ")" + longText + R"("}]})";
  auto games = decodeResultList<GameEntity>(bytesOf(body));
  ASSERT_TRUE(games.has_value());
  ASSERT_TRUE((*games)[0].isSuccess());
  EXPECT_EQ((*games)[0].value().name()->size(), longText.size());
}

// The body ends right before an inaccessible page: the parser must not read past it.
TEST(JsonDocumentTest, ReadsNothingPastTheCallersBuffer) {
  const std::string body = gamePage(5);
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t span = ((body.size() + page - 1) / page + 1) * page;
  void* region = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  auto* guard = static_cast<std::uint8_t*>(region) + span - page;
  ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);
  std::memcpy(guard - body.size(), body.data(), body.size());
  auto games = decodeResultList<GameEntity>({guard - body.size(), body.size()});
  munmap(region, span);
  ASSERT_TRUE(games.has_value());
  EXPECT_EQ(games->size(), 5u);
}

TEST(JsonDocumentTest, ThreadsDecodeIndependently) {
  const std::string body = gamePage(50);
  std::vector<std::thread> threads;
  std::vector<int> decoded(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        auto games = decodeResultList<GameEntity>(bytesOf(body));
        if (games && games->size() == 50 && (*games)[49].value().name() == "G49") ++decoded[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(decoded, std::vector<int>(4, 50));
}

}  // namespace
}  // namespace velmar::json
