#include "support/json.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using nlohmann::json;
namespace vj = velmar::json;

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonTest, ParseGivesTheValueOrAbsent) {
  const std::string ok = R"({"a":[1,2.5,"x",true,null],"b":{"c":-3}})";
  EXPECT_EQ(vj::parse(Bytes(ok.begin(), ok.end())), json::parse(ok));
  EXPECT_EQ(vj::parse(std::string_view("42")), json(42));
  const std::string bad[] = {"", "{", "nul", "{\"a\":1} trailing", "\xff", "[1,]", nested(100000)};
  for (const auto& text : bad) EXPECT_FALSE(vj::parse(text).has_value()) << text.substr(0, 20);
  EXPECT_TRUE(vj::parse(nested(vj::kMaxDepth)).has_value());
}

TEST(JsonTest, WritesOnlyWritableContainersAndTheyParseBackEqual) {
  const json value = json::parse(R"({"email": "a\"b\\c\n\u00e9", "n": 9007199254740993,
                                     "f": 0.1, "list": [1, 2, {"k": null}]})");
  for (auto option : {vj::WriteOption::compact, vj::WriteOption::prettyPrinted}) {
    auto back = vj::parse(*vj::write(value, option));
    EXPECT_EQ(back, value);
    EXPECT_TRUE((*back)["n"].is_number_integer());
  }
  EXPECT_EQ(vj::writeString(json{{"a", 1}}), R"({"a":1})");
  json tooDeep = json::array();
  for (std::size_t i = 0; i < vj::kMaxDepth; ++i) tooDeep = json::array({tooDeep});
  for (const json& refused :
       {json(1), json("x"), json(nullptr), tooDeep, json{{"name", std::string("bad \xff byte")}}}) {
    EXPECT_FALSE(vj::write(refused).has_value()) << refused.type_name();
  }
}

}  // namespace
}  // namespace velmar
