#include "support/json.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using nlohmann::json;
namespace vj = velmar::json;

json nested(std::size_t depth) {
  json value = json::array();
  for (std::size_t i = 1; i < depth; ++i) value = json::array({value});
  return value;
}

// Parsing gives the value or nothing; writing gives only containers JSON can hold, and what it
// writes parses back equal, large integers included. Both stop at the same depth.
TEST(JsonTest, ParseAndWriteAgree) {
  const std::string ok = R"({"a":[1,2.5,"x",true,null],"b":{"c":-3},"n":9007199254740993})";
  const auto value = vj::parse(Bytes(ok.begin(), ok.end()));
  EXPECT_EQ(value, json::parse(ok));
  EXPECT_EQ(vj::parse(*vj::write(*value)), value);
  EXPECT_TRUE((*vj::parse(*vj::write(*value)))["n"].is_number_integer());
  EXPECT_EQ(vj::parse(std::string_view("42")), json(42));
  for (const std::string text : {"", "{", "nul", "{\"a\":1} trailing", "\xff", "[1,]"})
    EXPECT_FALSE(vj::parse(text).has_value()) << text;
  EXPECT_TRUE(vj::parse(nested(vj::kMaxDepth).dump()).has_value());
  EXPECT_FALSE(vj::parse(nested(vj::kMaxDepth + 1).dump()).has_value());
  for (const json& refused : {json(1), json("x"), json(nullptr), nested(vj::kMaxDepth + 1),
                              json{{"name", std::string("bad \xff byte")}}}) {
    EXPECT_FALSE(vj::write(refused).has_value()) << refused.type_name();
  }
}

}  // namespace
}  // namespace velmar
