#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include "entities/record_test_support.hpp"
#include "support/entities/record_access.hpp"

namespace velmar {
namespace {

using nlohmann::json;
using testing::decodedAs;
using testing::decodeWithDocument;
using testing::decodeWithNlohmann;
using testing::failedAt;
using testing::Outcome;

struct RecordPaths {
  const char* name;
  Outcome (*viaNlohmann)(std::string_view);
  Outcome (*viaDocument)(std::string_view);
};

template <typename R>
RecordPaths paths(const char* name) {
  return {name, &decodeWithNlohmann<R>, &decodeWithDocument<R>};
}

const RecordPaths kPlayer = paths<Player>("Player");
const RecordPaths kLogIn = paths<LogInEntity>("LogInEntity");
const RecordPaths kSignUp = paths<SignUpEntity>("SignUpEntity");
const RecordPaths kGame = paths<GameEntity>("GameEntity");
const RecordPaths kLaunch = paths<LaunchGameEntity>("LaunchGameEntity");
const RecordPaths kLaunchResponse = paths<LaunchGameResponseEntity>("LaunchGameResponseEntity");
const RecordPaths kBalance = paths<BalanceEntity>("BalanceEntity");
const RecordPaths kCurrency = paths<CurrencyEntity>("CurrencyEntity");
const RecordPaths kAll[] = {kPlayer, kLogIn,          kSignUp,  kGame,
                            kLaunch, kLaunchResponse, kBalance, kCurrency};

// One field given one JSON value: {key: value} decodes to {key: expected}, to {} (absent),
// or fails naming `failedKey`.
struct FieldCase {
  RecordPaths record;
  std::string key;
  std::string value;
  enum { kTakes, kAbsent, kFails } outcome;
  json expected = nullptr;
  std::string failedKey = "";  // defaults to `key`
};

const std::vector<FieldCase>& fieldCases() {
  static const std::vector<FieldCase> cases = {
      // text
      {kGame, "name", R"("X")", FieldCase::kTakes, "X"},
      {kGame, "name", R"("")", FieldCase::kTakes, ""},
      {kGame, "name", R"("\u00e9\n\"")", FieldCase::kTakes, "\u00e9\n\""},
      {kGame, "name", "null", FieldCase::kAbsent},
      {kGame, "name", "5", FieldCase::kFails},
      {kGame, "name", "true", FieldCase::kFails},
      {kGame, "name", "{}", FieldCase::kFails},
      {kGame, "name", "[\"X\"]", FieldCase::kFails},
      {kPlayer, "id", "42", FieldCase::kFails},
      {kPlayer, "id", R"("42")", FieldCase::kTakes, "42"},
      {kCurrency, "numeric_code", "978", FieldCase::kFails},
      {kCurrency, "numeric_code", R"("978")", FieldCase::kTakes, "978"},
      {kBalance, "period_year", "2021", FieldCase::kFails},
      {kBalance, "period_year", R"("2021")", FieldCase::kTakes, "2021"},
      {kLaunchResponse, "play_for_fun", R"("https://x")", FieldCase::kTakes, "https://x"},
      // integer
      {kGame, "id", "15", FieldCase::kTakes, 15},
      {kGame, "id", "-7", FieldCase::kTakes, -7},
      {kGame, "id", "5.0", FieldCase::kTakes, 5},
      {kGame, "id", "1e2", FieldCase::kTakes, 100},
      {kGame, "id", "-0.0", FieldCase::kTakes, 0},
      {kGame, "id", "9223372036854775807", FieldCase::kTakes, INT64_MAX},
      {kGame, "id", "-9223372036854775808", FieldCase::kTakes, INT64_MIN},
      {kGame, "id", "5.5", FieldCase::kFails},
      {kGame, "id", "1e300", FieldCase::kFails},
      {kGame, "id", "9223372036854775808", FieldCase::kFails},
      {kGame, "id", "-18446744073709551616", FieldCase::kFails},
      {kGame, "id", "18446744073709551615", FieldCase::kFails},
      {kGame, "id", "123456789012345678901234567890", FieldCase::kFails},
      {kGame, "id", R"("15")", FieldCase::kFails},
      {kGame, "id", "true", FieldCase::kFails},
      {kGame, "id", "null", FieldCase::kAbsent},
      {kGame, "rank", "2.5", FieldCase::kFails},
      {kGame, "rank", "2.0", FieldCase::kTakes, 2},
      {kLaunch, "is_mobile", "1", FieldCase::kTakes, 1},
      {kLaunch, "is_mobile", "true", FieldCase::kFails},
      {kLaunchResponse, "user_id", "7", FieldCase::kTakes, 7},
      // flag
      {kGame, "is_new", "true", FieldCase::kTakes, true},
      {kGame, "is_new", "false", FieldCase::kTakes, false},
      {kGame, "is_new", "0", FieldCase::kFails},
      {kGame, "is_new", "1", FieldCase::kFails},
      {kGame, "is_new", R"("true")", FieldCase::kFails},
      {kGame, "is_new", "null", FieldCase::kAbsent},
      {kGame, "is_mobile", "true", FieldCase::kTakes, true},
      {kGame, "is_mobile", "1", FieldCase::kFails},
      {kLaunch, "is_demo", "true", FieldCase::kTakes, true},
      {kSignUp, "offer_email", "false", FieldCase::kTakes, false},
      // number
      {kBalance, "amount", "10", FieldCase::kTakes, 10.0},
      {kBalance, "amount", "12.5", FieldCase::kTakes, 12.5},
      {kBalance, "amount", "-0.25", FieldCase::kTakes, -0.25},
      {kBalance, "amount", "1e300", FieldCase::kTakes, 1e300},
      {kBalance, "amount", "18446744073709551615", FieldCase::kTakes, 18446744073709551615.0},
      {kBalance, "amount", "123456789012345678901234567890", FieldCase::kTakes,
       123456789012345678901234567890.0},
      {kBalance, "amount", R"("10")", FieldCase::kFails},
      {kBalance, "amount", "false", FieldCase::kFails},
      {kBalance, "amount", "null", FieldCase::kAbsent},
      // nested record
      {kLogIn, "player", "{}", FieldCase::kTakes, json::object()},
      {kLogIn, "player", "null", FieldCase::kAbsent},
      {kLogIn, "player", R"({"id":"a","extra":[1]})", FieldCase::kTakes, {{"id", "a"}}},
      {kLogIn, "player", R"({"offer_email":false})", FieldCase::kTakes, {{"offer_email", false}}},
      {kLogIn, "player", R"({"id":42})", FieldCase::kFails, nullptr, "player.id"},
      {kLogIn, "player", R"({"offer_email":1})", FieldCase::kFails, nullptr, "player.offer_email"},
      {kLogIn, "player", "[]", FieldCase::kFails},
      {kLogIn, "player", R"("x")", FieldCase::kFails},
  };
  return cases;
}

Outcome expectedOf(const FieldCase& c) {
  switch (c.outcome) {
    case FieldCase::kTakes:
      return decodedAs({{c.key, c.expected}});
    case FieldCase::kAbsent:
      return decodedAs(json::object());
    case FieldCase::kFails:
      break;
  }
  return failedAt(c.failedKey.empty() ? c.key : c.failedKey);
}

TEST(RecordDecodingTest, EachKindTakesOnlyItsOwnJsonForm) {
  for (const auto& c : fieldCases()) {
    std::string text = "{\"" + c.key + "\":" + c.value + "}";
    EXPECT_EQ(c.record.viaNlohmann(text), expectedOf(c)) << c.record.name << " " << text;
  }
}

TEST(RecordDecodingTest, NumbersKeepTheirKind) {
  // An integral "amount" is still a double, and an integer field written back is integral.
  auto balance = BalanceEntity::decode(json::parse(R"({"amount": 10})"));
  ASSERT_TRUE(internal::RecordAccess::amount(balance).has_value());
  EXPECT_TRUE(balance.encode()["amount"].is_number_float());
  auto game = GameEntity::decode(json::parse(R"({"id": 7.0})"));
  EXPECT_EQ(game.identifier(), 7);
  EXPECT_TRUE(game.encode()["id"].is_number_integer());
}

// Whole documents, every record: the top level must be an object, unknown keys are ignored.
struct DocumentCase {
  std::vector<RecordPaths> records;
  std::string text;
  std::optional<Outcome> expected;  // absent: only the two paths must agree
};

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

const std::vector<DocumentCase>& documentCases() {
  std::vector<RecordPaths> all(std::begin(kAll), std::end(kAll));
  static const std::vector<DocumentCase> cases = {
      {all, "{}", decodedAs(json::object())},
      {all, R"({"id": null})", decodedAs(json::object())},
      {all, R"( {"extra": [1, 2], "nested": {"x": {}}} )", decodedAs(json::object())},
      {all, "[]", failedAt("")},
      {all, R"("text")", failedAt("")},
      {all, "null", failedAt("")},
      {all, "5", failedAt("")},
      {all, "", failedAt("")},
      {all, "   ", failedAt("")},
      {all, "not json", failedAt("")},
      {all, "{} trailing", failedAt("")},
      {all, "{\"a\":1", failedAt("")},
      {all, "{\"extra\":\"\xff\"}", failedAt("")},
      {all, "\xef\xbb\xbf{}", std::nullopt},  // a byte-order mark
      {all, "{\"x\":" + nested(2000) + "}", failedAt("")},
      {all, "{\"x\":" + nested(1022) + "}", decodedAs(json::object())},
      {all, "{\"x\":" + nested(1023) + "}", std::nullopt},
      {all, "{\"x\":" + nested(1024) + "}", failedAt("")},
      {all, R"({"extra": 123456789012345678901234567890})", decodedAs(json::object())},
      {all, R"({"extra": 1e400})", failedAt("")},
      {all, R"({"extra": "\ud800"})", std::nullopt},
      {all, R"({"extra": "\udc00\ud800"})", std::nullopt},
      {{kGame}, R"({"id": 15, "name": "X"})", decodedAs({{"id", 15}, {"name", "X"}})},
      {{kGame}, R"({"id": "15"})", failedAt("id")},
      {{kGame}, R"({"description": "text"})", decodedAs({{"description", "text"}})},
      {{kGame}, R"({"name": "a", "name": "b"})", decodedAs({{"name", "b"}})},
      {{kGame}, R"({"id": "x", "id": 5})", decodedAs({{"id", 5}})},
      {{kGame}, R"({"id": 5, "id": "x"})", failedAt("id")},
      {{kGame},
       R"({"name": "x", "big": 123456789012345678901234567890, "is_new": true})",
       decodedAs({{"name", "x"}, {"is_new", true}})},
      {{kGame}, R"({"name": 1, "id": "x"})", failedAt("id")},  // key-table order names "id"
      {{kLogIn}, R"({"token": "t", "player": null})", decodedAs({{"token", "t"}})},
      {{kLogIn}, R"({"token": "t"})", decodedAs({{"token", "t"}})},
      {{kLogIn},
       R"({"token": "t", "player": {}})",
       decodedAs({{"token", "t"}, {"player", json::object()}})},
      {{kLogIn}, R"({"token": "t", "player": {"id": 42}})", failedAt("player.id")},
      {{kLaunchResponse},
       R"({"user_id": 7, "play_for_real": "a", "extra": 1})",
       decodedAs({{"user_id", 7}, {"play_for_real", "a"}})},
      {{kCurrency},
       R"({"numeric_code": "978", "alphabetic_code": "EUR", "minor_unit": "2"})",
       decodedAs({{"numeric_code", "978"}, {"alphabetic_code", "EUR"}, {"minor_unit", "2"}})},
      {{kCurrency}, R"({"numeric_code": 978})", failedAt("numeric_code")},
      {{kBalance}, R"({"amount": null})", decodedAs(json::object())},
  };
  return cases;
}

TEST(RecordDecodingTest, WholeDocumentsFollowTheRule) {
  for (const auto& c : documentCases()) {
    if (!c.expected) continue;
    for (const auto& record : c.records) {
      EXPECT_EQ(record.viaNlohmann(c.text), *c.expected) << record.name << " " << c.text;
    }
  }
}

// The services decode from simdjson elements, the host and fromData from nlohmann values:
// both must give the same outcome for every input, including those simdjson refuses.
TEST(RecordDecodingTest, SimdjsonAndNlohmannPathsAgree) {
  std::vector<std::pair<RecordPaths, std::string>> inputs;
  for (const auto& c : fieldCases()) {
    inputs.emplace_back(c.record, "{\"" + c.key + "\":" + c.value + "}");
  }
  for (const auto& c : documentCases()) {
    for (const auto& record : c.records) inputs.emplace_back(record, c.text);
  }
  for (const auto& [record, text] : inputs) {
    EXPECT_EQ(record.viaDocument(text), record.viaNlohmann(text)) << record.name << " " << text;
  }
}

TEST(RecordDecodingTest, ErrorsNameTheKeyAndNeverYieldPartialRecords) {
  try {
    LogInEntity::decode(json::parse(R"({"token": "t", "player": {"email_verified": "yes"}})"));
    FAIL() << "decoded a player whose flag is text";
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.key(), "player.email_verified");
    EXPECT_NE(std::string(e.what()).find("player.email_verified"), std::string::npos);
  }
  // The host's own nlohmann machinery goes through the same rule.
  EXPECT_THROW(json::parse(R"({"is_new": 1})").get<GameEntity>(), DecodingError);
}

// Every key of every record, with a value of its kind: decoding takes them all and encoding
// gives back the same JSON value.
const std::vector<std::pair<RecordPaths, json>>& fullSamples() {
  static const std::vector<std::pair<RecordPaths, json>> samples = {
      {kPlayer, json::parse(R"({"id": "p1", "company_id": "c1", "first_name": "Ann",
          "last_name": "Lee", "date_of_birth": "1990-01-02", "contact_number": "+1 555",
          "country": "MT", "address": "1 Main St", "city": "Valletta", "post_code": "VLT 1",
          "email": "ann@example.com", "currency_id": "EUR", "offer_email": true,
          "email_verified": false, "id_verified": true, "created_at": "2024-01-01T00:00:00Z",
          "updated_at": "2024-02-01T00:00:00Z"})")},
      {kLogIn, json::parse(R"({"token": "tok", "player": {"id": "p1", "offer_email": false}})")},
      {kSignUp, json::parse(R"({"company_id": "c1", "first_name": "Ann", "last_name": "Lee",
          "date_of_birth": "1990-01-02", "contact_number": "+1", "country": "MT",
          "address": "a", "city": "b", "post_code": "c", "email": "e@x", "password": "pw",
          "currency_id": "EUR", "offer_email": false, "email_verified": true,
          "id_verified": false})")},
      {kGame, json::parse(R"({"id": 15, "slug": "s", "game_id": "g-1", "name": "X",
          "image": "https://img/x.png", "type": "slots", "description": "d",
          "is_desktop": true, "is_mobile": false, "is_new": true, "free_games_support": false,
          "rank": 3, "provider_id": 9, "provider_name": "P", "provider_slug": "p",
          "is_favorite": false})")},
      {kLaunch, json::parse(R"({"is_demo": true, "user_id": 7, "game_id": "g", "provider_id": 2,
          "provider_slug": "p", "user_language": "en", "user_currency": "EUR",
          "lobby_url": "https://lobby", "is_mobile": 0})")},
      {kLaunchResponse, json::parse(R"({"user_id": 7, "game_id": "g", "game_token": "t",
          "play_for_real": "r", "play_for_fun": "f", "session_id_token": "s"})")},
      {kBalance, json::parse(R"({"id": "b", "wallet_id": "w", "period_year": "2024",
          "period_month": "05", "amount": 12.5, "player_id": "p", "currency_id": "c",
          "alphabetic_code": "EUR", "created_at": "x", "updated_at": "y"})")},
      {kCurrency, json::parse(R"({"id": "c", "numeric_code": "978", "alphabetic_code": "EUR",
          "country_institution": "EU", "denomination": "Euro", "minor_unit": "2",
          "created_at": "x", "updated_at": "y"})")},
  };
  return samples;
}

TEST(RecordEncodingTest, EveryKeyRoundTrips) {
  for (const auto& [record, sample] : fullSamples()) {
    EXPECT_EQ(record.viaNlohmann(sample.dump()), decodedAs(sample)) << record.name;
    EXPECT_EQ(record.viaDocument(sample.dump(2)), decodedAs(sample)) << record.name;
  }
}

TEST(RecordEncodingTest, AccessorsReadTheirOwnKeys) {
  auto game = GameEntity::decode(fullSamples()[3].second);
  EXPECT_EQ(game.identifier(), 15);
  EXPECT_EQ(game.gameID(), "g-1");
  EXPECT_EQ(game.gameEntityDescription(), "d");
  EXPECT_EQ(game.freeGamesSupport(), false);
  EXPECT_EQ(game.providerID(), 9);
  auto launch = LaunchGameEntity::decode(fullSamples()[4].second);
  EXPECT_EQ(launch.lobbyURL(), "https://lobby");
  EXPECT_EQ(launch.isMobile(), 0);
  auto response = LaunchGameResponseEntity::decode(fullSamples()[5].second);
  EXPECT_EQ(response.sessionIDToken(), "s");
  EXPECT_EQ(response.playForFun(), "f");
  auto balance = BalanceEntity::decode(fullSamples()[6].second);
  EXPECT_EQ(internal::RecordAccess::amount(balance), 12.5);
  EXPECT_EQ(internal::RecordAccess::walletID(balance), "w");
  auto login = LogInEntity::decode(fullSamples()[1].second);
  ASSERT_TRUE(login.player().has_value());
  EXPECT_EQ(login.player()->identifier(), "p1");
  EXPECT_EQ(login.player()->offerEmail(), false);
}

TEST(RecordEncodingTest, AbsentFieldsAreOmittedNeverNull) {
  auto text = [](const Bytes& b) { return std::string(b.begin(), b.end()); };
  EXPECT_EQ(text(GameEntity().jsonData()), "{}");
  EXPECT_EQ(text(BalanceEntity().jsonData()), "{}");
  EXPECT_EQ(Player().encode(), json::object());
  EXPECT_EQ(text(SignUpEntity().jsonData()), "{}");

  Player player = Player::decode(json::parse(R"({"id": "p1", "email": null})"));
  EXPECT_EQ(player.encode(), json({{"id", "p1"}}));
  auto balance = BalanceEntity::decode(json::parse(
      R"({"id": "", "wallet_id": "", "period_year": "", "period_month": "", "amount": 0.0,
          "player_id": "", "currency_id": "", "alphabetic_code": "", "created_at": "",
          "updated_at": null})"));
  auto encoded = json::parse(balance.jsonData());
  EXPECT_EQ(encoded.size(), 9u);
  EXPECT_EQ(encoded["amount"], 0.0);
  EXPECT_FALSE(encoded.contains("updated_at"));
}

TEST(RecordEncodingTest, HostNlohmannConversionsRoundTrip) {
  auto game = GameEntity::decode(fullSamples()[3].second);
  json value = game;
  EXPECT_EQ(value, fullSamples()[3].second);
  EXPECT_EQ(value.get<GameEntity>(), game);
  std::vector<CurrencyEntity> list = json::parse(R"([{"id": "a"}, {}])");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].identifier(), "a");
}

TEST(RecordDictionaryTest, HoldsExactlyThePresentFields) {
  SignUpEntity credentialsOnly(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                               std::nullopt, std::nullopt, std::nullopt, std::nullopt, "a@b.c",
                               "secret");
  EXPECT_EQ(credentialsOnly.jsonDictonary(), json({{"email", "a@b.c"}, {"password", "secret"}}));

  SignUpEntity falseAndEmpty(std::nullopt, "", std::nullopt, std::nullopt, std::nullopt,
                             std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                             std::nullopt, std::nullopt, false);
  EXPECT_EQ(falseAndEmpty.jsonDictonary(), json({{"first_name", ""}, {"offer_email", false}}));
  EXPECT_EQ(SignUpEntity().jsonDictonary(), json::object());

  auto launch = internal::RecordAccess::launchGame(true, std::nullopt, "g", 4, "p", "en", "EUR", "https://lobby", 0);
  auto body = internal::RecordAccess::jsonDictonary(launch);
  ASSERT_TRUE(body.has_value());
  EXPECT_EQ(*body, json({{"is_demo", true},
                         {"game_id", "g"},
                         {"provider_id", 4},
                         {"provider_slug", "p"},
                         {"user_language", "en"},
                         {"user_currency", "EUR"},
                         {"lobby_url", "https://lobby"},
                         {"is_mobile", 0}}));
  EXPECT_TRUE((*body)["is_mobile"].is_number_integer());
}

// Text that is not valid UTF-8 cannot be written as JSON: jsonData and jsonString raise,
// jsonDictonary reports absent, and nothing crashes.
TEST(RecordDictionaryTest, InvalidUtf8FailsEncodingCleanly) {
  for (std::string bad : {std::string("\xff"), std::string("a\xc3"), std::string("\xed\xa0\x80")}) {
    SignUpEntity entity(std::nullopt, bad);
    EXPECT_THROW(entity.jsonData(), EncodingError);
    EXPECT_THROW(entity.jsonString(), EncodingError);
    EXPECT_EQ(entity.jsonDictonary(), std::nullopt);
    auto launch = internal::RecordAccess::launchGame(std::nullopt, std::nullopt, bad, std::nullopt, std::nullopt,
                                       std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(internal::RecordAccess::jsonDictonary(launch), std::nullopt);
    EXPECT_THROW(launch.jsonData(), EncodingError);
  }
}

// JSON has no infinity or NaN: a record holding one fails to encode instead of writing null,
// which a reader would take for an absent field. Finite extremes still write and read back.
TEST(RecordEncodingTest, OnlyFiniteNumbersEncode) {
  using limits = std::numeric_limits<double>;
  struct Row {
    double amount;
    bool encodes;
  };
  const Row rows[] = {
      {limits::infinity(), false},  {-limits::infinity(), false},    {limits::quiet_NaN(), false},
      {-limits::quiet_NaN(), false}, {limits::signaling_NaN(), false}, {limits::max(), true},
      {limits::lowest(), true},     {limits::denorm_min(), true},     {-0.0, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.amount);
    BalanceEntity balance;
    internal::RecordAccess::amount(balance) = row.amount;
    if (!row.encodes) {
      EXPECT_THROW(balance.jsonData(), EncodingError);
      EXPECT_THROW(balance.jsonString(), EncodingError);
      EXPECT_THROW(balance.encode(), EncodingError);
      EXPECT_THROW([&] { json host = balance; }(), EncodingError);
      EXPECT_EQ(codec::jsonDictonary(balance), std::nullopt);
      continue;
    }
    const auto decoded = codec::fromData<BalanceEntity>(balance.jsonData());
    EXPECT_EQ(internal::RecordAccess::amount(decoded), row.amount);
    const auto dictionary = codec::jsonDictonary(balance);
    ASSERT_TRUE(dictionary.has_value());
    EXPECT_EQ(dictionary->at("amount").get<double>(), row.amount);
  }
}

TEST(RecordTextTest, HostileSizesFailOrDecodeWithoutCrashing) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_THROW(LogInEntity::fromData(testing::bytesOf(deep)), DecodingError);
  const std::string deepObjects = [] {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "{\"player\":";
    return text + "{}" + std::string(100000, '}');
  }();
  EXPECT_THROW(LogInEntity::fromData(testing::bytesOf(deepObjects)), DecodingError);
  EXPECT_EQ(JsonCodableManagment::newJSONToDictionary(deepObjects), std::nullopt);

  const std::string token(10 << 20, 'x');
  auto entity = LogInEntity::fromString("{\"token\": \"" + token + "\"}");
  EXPECT_EQ(entity.token(), token);
  EXPECT_EQ(entity.jsonData().size(), token.size() + 12);
}

TEST(JsonCodableManagmentTest, JsonToDictionaryGivesOnlyObjects) {
  struct Case {
    std::optional<std::string> text;
    std::optional<json> expected;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt},
      {"", std::nullopt},
      {"not json", std::nullopt},
      {"[1, 2]", std::nullopt},
      {"\"a\"", std::nullopt},
      {"null", std::nullopt},
      {"{\"a\":\"\xff\"}", std::nullopt},
      {"{\"a\": 1}", json({{"a", 1}})},
      {"{}", json::object()},
      {R"({"a": {"b": [true, null]}})", json::parse(R"({"a": {"b": [true, null]}})")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonCodableManagment::newJSONToDictionary(c.text), c.expected)
        << c.text.value_or("<absent>");
  }
}

TEST(JsonCodableManagmentTest, DecodersAndEncodersAreFreshAndUseIso8601Dates) {
  EXPECT_EQ(JsonCodableManagment::newJSONDecoder().dateDecodingStrategy(),
            DateCodingStrategy::iso8601);
  EXPECT_EQ(JsonCodableManagment::newJSONEncoder().dateEncodingStrategy(),
            DateCodingStrategy::iso8601);
  auto player = JsonCodableManagment::newJSONDecoder().decode<Player>(
      testing::bytesOf(R"({"first_name": "Zoë"})"));
  auto bytes = JsonCodableManagment::newJSONEncoder().encode(player);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), R"({"first_name":"Zoë"})");
}

TEST(RecordTextTest, FromStringConvertsWithoutLoss) {
  enum Expect { kDecodes, kConversionError, kDecoderError };
  struct Case {
    std::string text;
    StringEncoding encoding;
    Expect expect;
  };
  const Case cases[] = {
      {R"({"token": "t"})", StringEncoding::utf8, kDecodes},
      {R"({"token": "t"})", StringEncoding::ascii, kDecodes},
      {R"({"token": "t"})", StringEncoding::isoLatin1, kDecodes},
      {R"({"token": "é"})", StringEncoding::utf8, kDecodes},
      {R"({"token": "é"})", StringEncoding::ascii, kConversionError},
      {R"({"token": "€"})", StringEncoding::isoLatin1, kConversionError},
      {"{\"token\": \"\xff\"}", StringEncoding::utf8, kConversionError},
      // A Latin-1 byte alone is not UTF-8, so the decoder refuses it.
      {R"({"token": "é"})", StringEncoding::isoLatin1, kDecoderError},
      {"", StringEncoding::utf8, kDecoderError},
      {"", StringEncoding::ascii, kDecoderError},
      {R"({"token": 1})", StringEncoding::ascii, kDecoderError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " as " + std::to_string(static_cast<int>(c.encoding)));
    try {
      auto entity = LogInEntity::fromString(c.text, c.encoding);
      EXPECT_EQ(c.expect, kDecodes);
      EXPECT_TRUE(entity.token().has_value());
    } catch (const std::system_error& e) {
      EXPECT_EQ(c.expect, kConversionError);
      EXPECT_EQ(e.code().value(), 0);
      EXPECT_STREQ(e.code().category().name(), "JSONDecoding");
      EXPECT_EQ(e.code().category(), jsonDecodingCategory());
    } catch (const DecodingError&) {
      EXPECT_EQ(c.expect, kDecoderError);
    }
  }
}

TEST(RecordTextTest, JsonStringReadsTheBytesInTheEncoding) {
  auto entity = LogInEntity::fromData(testing::bytesOf(R"({"token": "é"})"));
  EXPECT_EQ(entity.jsonString(), R"({"token":"é"})");
  EXPECT_EQ(entity.jsonString(StringEncoding::ascii), std::nullopt);
  // Each UTF-8 byte read as a Latin-1 character.
  EXPECT_EQ(entity.jsonString(StringEncoding::isoLatin1), "{\"token\":\"\u00c3\u00a9\"}");
  auto plain = LogInEntity::fromData(testing::bytesOf(R"({"token": "t"})"));
  EXPECT_EQ(plain.jsonString(StringEncoding::ascii), R"({"token":"t"})");
  EXPECT_EQ(plain.jsonString(StringEncoding::isoLatin1), R"({"token":"t"})");
}

}  // namespace
}  // namespace velmar
