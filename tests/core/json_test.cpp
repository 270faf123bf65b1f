#include "support/json.hpp"

#include <gtest/gtest.h>

#include <string>

namespace velmar {
namespace {

using nlohmann::json;

std::string text(const std::optional<Bytes>& bytes) {
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<absent>";
}

TEST(JsonTest, ParseGivesGenericValuesOrAbsent) {
  const std::string ok = R"({"a":[1,2.5,"x",true,null],"b":{"c":-3}})";
  auto value = json::parse(ok);
  EXPECT_FALSE(value.is_discarded());
  auto parsed = velmar::json::parse(Bytes(ok.begin(), ok.end()));
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(*parsed, value);
  EXPECT_TRUE((*parsed)["b"]["c"].is_number_integer());

  for (std::string bad : {"", "{", "nul", "{\"a\":1} trailing", "\xff", "[1,]"}) {
    EXPECT_FALSE(velmar::json::parse(bad).has_value()) << bad;
  }
  // A bare scalar is a JSON document; whether it is usable is the caller's business.
  EXPECT_EQ(velmar::json::parse(std::string_view("42")), json(42));
}

TEST(JsonTest, WriteAcceptsOnlyObjectsAndArrays) {
  EXPECT_EQ(text(velmar::json::write(json::object())), "{}");
  EXPECT_EQ(text(velmar::json::write(json::array({1, "a"}))), R"([1,"a"])");
  for (const json& scalar : {json(1), json("x"), json(true), json(nullptr)}) {
    EXPECT_FALSE(velmar::json::write(scalar).has_value()) << scalar;
  }
}

TEST(JsonTest, CompactAndPrettyWritesParseBackEqual) {
  json value = {{"email", "a\"b\\c\n\u00e9"}, {"n", 9007199254740993LL}, {"f", 0.1},
                {"flag", false}, {"list", {1, 2, {{"k", nullptr}}}}};
  for (auto option : {velmar::json::WriteOption::compact,
                      velmar::json::WriteOption::prettyPrinted}) {
    auto bytes = velmar::json::write(value, option);
    ASSERT_TRUE(bytes.has_value());
    auto back = velmar::json::parse(*bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, value);
    EXPECT_TRUE((*back)["n"].is_number_integer()) << "integers stay integral";
  }
  EXPECT_EQ(text(velmar::json::write(json{{"a", 1}})), R"({"a":1})");
  EXPECT_NE(text(velmar::json::write(json{{"a", 1}}, velmar::json::WriteOption::prettyPrinted))
                .find('\n'),
            std::string::npos);
}

TEST(JsonTest, TextThatIsNotUtf8IsAnAbsentWriteNotAnException) {
  json value = {{"name", std::string("bad \xff\xfe byte")}};
  EXPECT_FALSE(velmar::json::write(value).has_value());
  EXPECT_FALSE(velmar::json::writeString(json::array({std::string("\xc3")})).has_value());
}

TEST(JsonTest, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  constexpr int kLevels = 100000;
  std::string deep(kLevels, '[');
  deep.append(kLevels, ']');
  EXPECT_FALSE(velmar::json::parse(deep).has_value());

  std::string fine(velmar::json::kMaxDepth, '[');
  fine.append(velmar::json::kMaxDepth, ']');
  auto value = velmar::json::parse(fine);
  ASSERT_TRUE(value.has_value());
  EXPECT_TRUE(velmar::json::write(*value).has_value());

  json tooDeep = json::array();
  for (std::size_t i = 0; i < velmar::json::kMaxDepth; ++i) tooDeep = json::array({tooDeep});
  EXPECT_FALSE(velmar::json::write(tooDeep).has_value());
}

}  // namespace
}  // namespace velmar
