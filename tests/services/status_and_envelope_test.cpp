#include <gtest/gtest.h>

#include <string>

#include "data/service/base_service.hpp"
#include "support/json.hpp"
#include "velmar/api_status_code.hpp"
#include "data/mapper/data_domain_mapper.hpp"

namespace velmar {
namespace {

using nlohmann::json;

std::optional<Bytes> bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

TEST(APIStatusCodeTest, RawValuesAndExactConstruction) {
  const std::vector<std::pair<APIStatusCode::Value, std::int64_t>> table = {
      {APIStatusCode::SUCCESS, 200},
      {APIStatusCode::CREATED, 201},
      {APIStatusCode::INTERNALSERVERERROR, 500},
      {APIStatusCode::SERVICEUNAVAILABLE, 503},
      {APIStatusCode::BADREQUEST, 400},
      {APIStatusCode::UNAUTHORIZED, 401},
      {APIStatusCode::FORBIDDEN, 403},
      {APIStatusCode::NOTFOUND, 404},
      {APIStatusCode::CONFLICT, 409},
      {APIStatusCode::APPERROR, -1001},
      {APIStatusCode::INVALIDUSER, 1002},
      {APIStatusCode::BLOCK, 4},
      {APIStatusCode::ACCESSDENIED, 1005},
      {APIStatusCode::INVALIDUSERSECONDARY, 3}};
  for (auto [code, raw] : table) {
    EXPECT_EQ(APIStatusCode(code).rawValue(), raw);
    auto back = APIStatusCode::fromRawValue(raw);
    ASSERT_TRUE(back.has_value()) << raw;
    EXPECT_EQ(*back, code);
  }
  for (std::int64_t raw : {0, 1001, -1, 202, 402}) {
    EXPECT_FALSE(APIStatusCode::fromRawValue(raw).has_value()) << raw;
  }
}

TEST(APIStatusCodeTest, LookupKnowsOnlyFourClassifications) {
  EXPECT_EQ(APIStatusCode::get(200), APIStatusCode::SUCCESS);
  EXPECT_EQ(APIStatusCode::get(201), APIStatusCode::CREATED);
  EXPECT_EQ(APIStatusCode::get(400), APIStatusCode::BADREQUEST);
  EXPECT_EQ(APIStatusCode::get(500), APIStatusCode::INTERNALSERVERERROR);
  for (std::int64_t other : {401, 403, 404, 409, 503, 0, -1, -1001, 3, 4, 1002, 204, 999}) {
    EXPECT_EQ(APIStatusCode::get(other), APIStatusCode::INTERNALSERVERERROR) << other;
  }
}

TEST(DataDomainMapperTest, EveryServiceMapsAlike) {
  auto mapper = DataDomainMapper::inject();
  EXPECT_EQ(mapper, DataDomainMapper::inject()) << "one process-wide instance";
  const std::vector<std::pair<APIStatusCode::Value, std::string>> table = {
      {APIStatusCode::INTERNALSERVERERROR, "500"},
      {APIStatusCode::BADREQUEST, "400"},
      {APIStatusCode::SUCCESS, "200"},
      {APIStatusCode::CREATED, "201"},
      {APIStatusCode::APPERROR, "-1001"},
      {APIStatusCode::CONFLICT, "409"},
      {APIStatusCode::BLOCK, "4"}};
  for (const auto& [code, text] : table) {
    EXPECT_EQ(mapper->apiStatusCodeToLogInServiceError(code), LogInServiceError::serverError(text));
    EXPECT_EQ(mapper->apiStatusCodeToSignUpServiceError(code),
              SignUpServiceError::serverError(text));
    EXPECT_EQ(mapper->apiStatusCodeToGameListServiceError(code),
              GameServiceError::serverError(text));
    EXPECT_EQ(mapper->apiStatusCodeToUtilsServiceError(code), UtilsServiceError::serverError(text));
  }
  const APIStatusCode unauthorized = APIStatusCode::UNAUTHORIZED;
  EXPECT_EQ(mapper->apiStatusCodeToLogInServiceError(unauthorized),
            LogInServiceError::invalidCredencials());
  EXPECT_EQ(mapper->apiStatusCodeToUtilsServiceError(unauthorized),
            UtilsServiceError::invalidCredencials());
  EXPECT_STREQ(GameServiceError::serverError("500").what(),
               "GameServiceError.serverError(\"500\")");
}

TEST(EnvelopeTest, MapJsonResultGivesTheResultArrayOrAbsent) {
  BaseService base;
  auto list = base.mapJsonResult(bytes(R"({"result":[1,"a",{"k":null}],"error":"ignored"})"));
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(json(*list), json::parse(R"([1,"a",{"k":null}])"));
  for (const char* body : {R"({"result":{}})", R"({"data":[]})", "[]", "", "not json",
                           R"({"result":null})", R"({"result":"[]"})", "[{\"result\":[]}]"}) {
    EXPECT_FALSE(base.mapJsonResult(bytes(body)).has_value()) << body;
  }
  EXPECT_FALSE(base.mapJsonResult(std::nullopt).has_value());
  auto empty = base.mapJsonResult(bytes(R"({"result":[]})"));
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
}

TEST(EnvelopeTest, MapJsonResultEntityWritesTheResultObjectAgain) {
  BaseService base;
  for (const char* result : {R"({"token":"t"})", R"({})",
                             R"({"player":{"id":"1","offer_email":true},"n":1.5,"u":"\u00e9"})"}) {
    auto body = std::string(R"({"result":)") + result + "}";
    auto out = base.mapJsonResultEntity(bytes(body));
    ASSERT_TRUE(out.has_value()) << body;
    EXPECT_EQ(json::parse(out->begin(), out->end()), json::parse(result));
  }
  for (const char* body :
       {R"({"result":[]})", R"({"result":1})", R"({"other":{}})", "{}", "[]", "garbage", ""}) {
    EXPECT_FALSE(base.mapJsonResultEntity(bytes(body)).has_value()) << body;
  }
  EXPECT_FALSE(base.mapJsonResultEntity(std::nullopt).has_value());
  // Text that cannot be written again as UTF-8 is an absent result, not a crash.
  EXPECT_FALSE(base.mapJsonResultEntity(bytes("{\"result\":{\"a\":\"\xff\"}}")).has_value());
}

}  // namespace
}  // namespace velmar
