#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <limits>
#include <sstream>

#include "support/entities/json_document.hpp"
#include "support/entities/launch_game_response_entity.hpp"
#include "support/entities/record_access.hpp"
#include "support/json_codable_management.hpp"
#include "velmar/velmar.hpp"

namespace velmar {
namespace {

using internal::RecordAccess;
using nlohmann::json;
namespace vj = velmar::json;

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// What decoding gave: the record re-encoded, or the key that failed ("" for the whole value).
using Outcome = std::variant<json, std::string>;

// Decodes `text` as record R along both paths, the host's (nlohmann values, fresh decoder)
// and the services' (one parse by simdjson or its fallback), which must agree.
template <typename R>
Outcome decode(std::string_view text) {
  Outcome host;
  try {
    host = JsonCodableManagment::newJSONDecoder().decode<R>(bytesOf(text)).encode();
  } catch (const DecodingError& e) {
    host = e.key();
  }
  auto document = vj::JsonDocument::parse(bytesOf(text));
  Outcome services = std::string();
  if (auto root = document.root()) {
    auto decoded = root->decode<R>();
    services = decoded.isSuccess() ? Outcome(decoded.value().encode()) : decoded.error().key();
  }
  EXPECT_EQ(host, services) << "the two paths disagree on " << text.substr(0, 80);
  return host;
}

using Decoder = Outcome (*)(std::string_view);
const std::map<std::string, Decoder> kRecords = {
    {"Player", decode<Player>},           {"LogIn", decode<LogInEntity>},
    {"SignUp", decode<SignUpEntity>},     {"Game", decode<GameEntity>},
    {"Launch", decode<LaunchGameEntity>}, {"LaunchResponse", decode<LaunchGameResponseEntity>},
    {"Balance", decode<BalanceEntity>},   {"Currency", decode<CurrencyEntity>},
};

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

// Each kind takes only its own JSON form; null is absent; an unknown key is ignored; a
// repeated key counts at its last occurrence; errors name the key; only an object decodes.
TEST(RecordDecodingTest, Rules) {
  const json kFails;  // null: the row names the failing key instead
  const struct {
    const char* record;
    std::string text;
    json encoded;
    std::string failedKey = "";
  } rows[] = {
      {"Game", R"({"name": "\u00e9\n\""})", {{"name", "\u00e9\n\""}}},
      {"Game", R"({"name": 5})", kFails, "name"},
      {"Game", R"({"id": -7, "rank": 2.0})", {{"id", -7}, {"rank", 2}}},
      {"Game", R"({"id": 9223372036854775807})", {{"id", INT64_MAX}}},
      {"Game", R"({"id": 5.5})", kFails, "id"},
      {"Game", R"({"id": 9223372036854775808})", kFails, "id"},
      {"Game", R"({"id": "15"})", kFails, "id"},
      {"Launch", R"({"is_mobile": 1, "is_demo": true})", {{"is_mobile", 1}, {"is_demo", true}}},
      {"Launch", R"({"is_mobile": true})", kFails, "is_mobile"},
      {"Game", R"({"is_new": 1})", kFails, "is_new"},
      {"Balance", R"({"amount": 10})", {{"amount", 10.0}}},
      {"Balance", R"({"amount": 1e30})", {{"amount", 1e30}}},
      {"Balance", R"({"amount": "10"})", kFails, "amount"},
      {"LogIn", R"({"token": "t", "player": null})", {{"token", "t"}}},
      {"LogIn", R"({"player": {"id": "a", "extra": [1]}})", {{"player", {{"id", "a"}}}}},
      {"LogIn", R"({"player": {"offer_email": 1}})", kFails, "player.offer_email"},
      {"Game", R"({"name": "a", "name": "b"})", {{"name", "b"}}},
      {"Game", R"({"id": "x", "id": 5})", {{"id", 5}}},
      {"Game", R"({"name": 1, "id": "x"})", kFails, "id"},  // key-table order names "id"
      {"Game", R"({"rank": 3, "big": 123456789012345678901234567890})", {{"rank", 3}}},
  };
  for (const auto& row : rows) {
    const Outcome expected = row.encoded.is_null() ? Outcome(row.failedKey) : row.encoded;
    EXPECT_EQ(kRecords.at(row.record)(row.text), expected) << row.record << " " << row.text;
  }
  std::vector<std::string> notObjects = {nested(100000), "{\"x\":" + nested(1024) + "}"};
  // Text that is not UTF-8: a stray byte, overlong, an encoded surrogate, truncated, a lone
  // continuation byte.
  for (const char* text : {"\xff", "\xc0\xaf", "\xed\xa0\x80", "\xe2\x82", "a\x80z"})
    notObjects.push_back(std::string("{\"x\":\"") + text + "\"}");
  std::istringstream more(R"([];null;;not json;{} trailing;{"a":1;{"x": 1e400})");
  for (std::string text; std::getline(more, text, ';');) notObjects.push_back(text);
  for (const auto& [name, decoder] : kRecords) {
    EXPECT_EQ(decoder(R"( {"id": null, "extra": [1, 2], "nested": {"x": {}}} )"),
              Outcome(json::object()))
        << name;
    EXPECT_EQ(decoder("{\"x\":" + nested(1022) + "}"), Outcome(json::object())) << name;
    for (const auto& text : notObjects) EXPECT_EQ(decoder(text), Outcome(std::string())) << name;
    for (const char* agree : {"\xef\xbb\xbf{}", R"({"extra": "\ud800"})"}) decoder(agree);
  }
  EXPECT_THAT(
      [] { LogInEntity::decode(json::parse(R"({"player": {"email_verified": 1}})")); },
      ::testing::ThrowsMessage<DecodingError>(::testing::HasSubstr("player.email_verified")));
}

// Every key of every record, with a value of its kind, read back through encoding unchanged.
TEST(RecordEncodingTest, EveryKeyRoundTripsAndAbsentFieldsAreOmitted) {
  const std::pair<const char*, const char*> samples[] = {
      {"Player", R"({"id": "p1", "company_id": "c1", "first_name": "Ann", "last_name": "Lee",
         "date_of_birth": "1990-01-02", "contact_number": "+1 555", "country": "MT",
         "address": "1 Main St", "city": "Valletta", "post_code": "VLT 1", "email": "a@b.c",
         "currency_id": "EUR", "offer_email": true, "email_verified": false, "id_verified": true,
         "created_at": "2024-01-01T00:00:00Z", "updated_at": "2024-02-01T00:00:00Z"})"},
      {"LogIn", R"({"token": "tok", "player": {"id": "p1", "offer_email": false}})"},
      {"SignUp", R"({"company_id": "c1", "first_name": "Ann", "last_name": "Lee",
         "date_of_birth": "1990-01-02", "contact_number": "+1", "country": "MT", "address": "a",
         "city": "b", "post_code": "c", "email": "e@x", "password": "pw", "currency_id": "EUR",
         "offer_email": false, "email_verified": true, "id_verified": false})"},
      {"Game", R"({"id": 15, "slug": "s", "game_id": "g-1", "name": "X", "image": "i.png",
         "type": "slots", "description": "d", "is_desktop": true, "is_mobile": false,
         "is_new": true, "free_games_support": false, "rank": 3, "provider_id": 9,
         "provider_name": "P", "provider_slug": "p", "is_favorite": false})"},
      {"Launch", R"({"is_demo": true, "user_id": 7, "game_id": "g", "provider_id": 2,
         "provider_slug": "p", "user_language": "en", "user_currency": "EUR",
         "lobby_url": "https://lobby", "is_mobile": 0})"},
      {"LaunchResponse", R"({"user_id": 7, "game_id": "g", "game_token": "t",
         "play_for_real": "r", "play_for_fun": "f", "session_id_token": "s"})"},
      {"Balance", R"({"id": "b", "wallet_id": "w", "period_year": "2024", "period_month": "05",
         "amount": 12.5, "player_id": "p", "currency_id": "c", "alphabetic_code": "EUR",
         "created_at": "x", "updated_at": "y"})"},
      {"Currency", R"({"id": "c", "numeric_code": "978", "alphabetic_code": "EUR",
         "country_institution": "EU", "denomination": "Euro", "minor_unit": "2",
         "created_at": "x", "updated_at": "y"})"},
  };
  for (const auto& [record, text] : samples) {
    EXPECT_EQ(kRecords.at(record)(text), Outcome(json::parse(text))) << record;
  }
  const auto game = GameEntity::decode(json::parse(samples[3].second));
  EXPECT_TRUE(game.identifier() == 15 && game.gameID() == "g-1" && game.providerID() == 9 &&
              game.gameEntityDescription() == "d" && game.freeGamesSupport() == false);
  EXPECT_EQ(json(game).get<GameEntity>(), game);
  EXPECT_TRUE(
      json(BalanceEntity::decode(json::parse(R"({"amount": 10})")))["amount"].is_number_float());

  const SignUpEntity falseAndEmpty(std::nullopt, "", std::nullopt, std::nullopt, std::nullopt,
                                   std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                   std::nullopt, std::nullopt, std::nullopt, false);
  EXPECT_EQ(falseAndEmpty.jsonDictonary(), json({{"first_name", ""}, {"offer_email", false}}));
  const auto launch =
      RecordAccess::launchGame(true, 7, "g", 2, "p", "en", "EUR", "https://lobby", 0);
  EXPECT_EQ(RecordAccess::jsonDictonary(launch), json::parse(samples[4].second));
}

// What cannot be written as JSON fails to encode rather than writing something else: text
// that is not UTF-8, and numbers JSON has no form for (null would read back as absent).
TEST(RecordEncodingTest, UnwritableValuesFailCleanly) {
  for (std::string bad : {std::string("\xff"), std::string("a\xc3"), std::string("\xed\xa0\x80")}) {
    SignUpEntity entity(std::nullopt, bad);
    EXPECT_THROW(entity.jsonData(), EncodingError);
    EXPECT_THROW(entity.jsonString(), EncodingError);
    EXPECT_EQ(entity.jsonDictonary(), std::nullopt);
  }
  using limits = std::numeric_limits<double>;
  for (double amount : {limits::infinity(), -limits::infinity(), limits::quiet_NaN(), limits::max(),
                        limits::denorm_min(), -0.0}) {
    SCOPED_TRACE(amount);
    BalanceEntity balance;
    RecordAccess::amount(balance) = amount;
    if (std::isfinite(amount)) {
      EXPECT_EQ(RecordAccess::amount(codec::fromData<BalanceEntity>(balance.jsonData())), amount);
    } else {
      EXPECT_THROW(balance.jsonData(), EncodingError);
      EXPECT_EQ(codec::jsonDictonary(balance), std::nullopt);
    }
  }
}

TEST(RecordTextTest, FromStringAndJsonStringConvertWithoutLoss) {
  const std::tuple<std::string, StringEncoding, std::string> rows[] = {
      {R"({"token": "t"})", StringEncoding::ascii, "token"},
      {R"({"token": "é"})", StringEncoding::utf8, "token"},
      {R"({"token": "é"})", StringEncoding::ascii, "conversion"},
      {R"({"token": "€"})", StringEncoding::isoLatin1, "conversion"},
      {"{\"token\": \"\xff\"}", StringEncoding::utf8, "conversion"},
      {R"({"token": "é"})", StringEncoding::isoLatin1, "decoder"},  // a lone Latin-1 byte
      {R"({"token": 1})", StringEncoding::ascii, "decoder"},
  };
  for (const auto& [text, encoding, expected] : rows) {
    std::string outcome;
    try {
      outcome = LogInEntity::fromString(text, encoding).token() ? "token" : "none";
    } catch (const DecodingError&) {
      outcome = "decoder";
    } catch (const std::system_error&) {
      outcome = "conversion";
    }
    EXPECT_EQ(outcome, expected) << text << " as " << static_cast<int>(encoding);
  }
  auto entity = LogInEntity::fromData(bytesOf(R"({"token": "é"})"));
  EXPECT_EQ(entity.jsonString(StringEncoding::ascii), std::nullopt);
  EXPECT_EQ(entity.jsonString(StringEncoding::isoLatin1), "{\"token\":\"\u00c3\u00a9\"}");
  for (const char* text : {"not json", "[1, 2]", "{\"a\":\"\xff\"}"})
    EXPECT_EQ(JsonCodableManagment::newJSONToDictionary(std::string(text)), std::nullopt) << text;
  EXPECT_EQ(JsonCodableManagment::newJSONToDictionary(std::string(R"({"a": {"b": [true]}})")),
            json::parse(R"({"a": {"b": [true]}})"));
}

std::string gamePage(int count) {
  json games = json::array();
  for (int i = 0; i < count; ++i) games.push_back({{"id", i}, {"name", "G" + std::to_string(i)}});
  return json{{"status", "ok"}, {"result", games}}.dump();
}

// The envelope's "result": a list of records, each decoded alone, or one record object.
TEST(JsonDocumentTest, EnvelopeShapes) {
  const std::tuple<std::string, bool, bool> rows[] = {
      {R"({"result": [1, {"id": "a"}, []]})", true, false},
      {R"({"result": {"token": "t"}, "message": "ignored"})", false, true},
      {R"({"result": null})", false, false},
      {R"({"result": "text"})", false, false},
      {R"({"result": 42})", false, false},
      {R"([{"result": []}])", false, false},
      {R"({"result": [], "big": 123456789012345678901234567890})", true, false},
      {R"({"result": {}, "result": []})", true, false},
  };
  for (const auto& [body, list, object] : rows) {
    EXPECT_EQ(vj::decodeResultList<CurrencyEntity>(bytesOf(body)).has_value(), list) << body;
    EXPECT_EQ(vj::decodeResultObject<LaunchGameResponseEntity>(bytesOf(body)).has_value(), object)
        << body;
  }
  auto mixed = vj::decodeResultList<CurrencyEntity>(bytesOf(std::get<0>(rows[0])));
  ASSERT_EQ(mixed->size(), 3u);
  EXPECT_TRUE(!(*mixed)[0].isSuccess() && (*mixed)[1].isSuccess() && !(*mixed)[2].isSuccess());
  const std::string body = R"({"result": {"a": [1, -2, 3.5, null], "n": 18446744073709551615}})";
  EXPECT_EQ(vj::resultMember(bytesOf(body))->dump(), json::parse(body)["result"].dump());
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
  auto games = vj::decodeResultList<GameEntity>({guard - body.size(), body.size()});
  munmap(region, span);
  EXPECT_EQ(games.value_or(std::vector<vj::Decoded<GameEntity>>{}).size(), 5u);
}

// Documents alive together on one thread, and threads decoding at once, stay intact.
TEST(JsonDocumentTest, DocumentsAliveTogetherAndThreadsStayIntact) {
  auto first = vj::JsonDocument::parse(bytesOf(gamePage(2)));
  std::vector<vj::JsonDocument> moved;
  moved.push_back(std::move(first));
  auto second = vj::JsonDocument::parse(bytesOf(gamePage(1)));
  EXPECT_EQ((*moved[0].result()->decodeEach<GameEntity>())[1].value().name(), "G1");
  EXPECT_EQ(second.result()->decodeEach<GameEntity>()->size(), 1u);
  std::vector<int> decoded(4, 0);
  std::vector<std::jthread> threads;
  for (int& count : decoded) {
    threads.emplace_back([&count, body = gamePage(50)] {
      for (int round = 0; round < 50; ++round) {
        auto games = vj::decodeResultList<GameEntity>(bytesOf(body));
        count += games && (*games)[49].value().name() == "G49";
      }
    });
  }
  threads.clear();
  EXPECT_EQ(decoded, std::vector<int>(4, 50));
}

}  // namespace
}  // namespace velmar
