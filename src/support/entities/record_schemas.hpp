#pragma once

// The key table of every record: one line per field, in declaration order, giving the
// JSON key and the member. The codec (support/record_codec.hpp) derives the field kind from
// the member's type. Adding a field to a record is one line here.

#include "support/record_codec.hpp"
#include "support/entities/launch_game_response_entity.hpp"
#include "velmar/entities/balance_entity.hpp"
#include "velmar/entities/currency_entity.hpp"
#include "velmar/entities/game_entity.hpp"
#include "velmar/entities/launch_game_entity.hpp"
#include "velmar/entities/log_in_entity.hpp"
#include "velmar/entities/player.hpp"
#include "velmar/entities/sign_up_entity.hpp"

namespace velmar::internal {

using codec::field;

template <>
struct RecordSchema<Player> {
  static constexpr auto fields = std::tuple{
      field("id", &Player::identifier_),
      field("company_id", &Player::companyID_),
      field("first_name", &Player::firstName_),
      field("last_name", &Player::lastName_),
      field("date_of_birth", &Player::dateOfBirth_),
      field("contact_number", &Player::contactNumber_),
      field("country", &Player::country_),
      field("address", &Player::address_),
      field("city", &Player::city_),
      field("post_code", &Player::postCode_),
      field("email", &Player::email_),
      field("currency_id", &Player::currencyID_),
      field("offer_email", &Player::offerEmail_),
      field("email_verified", &Player::emailVerified_),
      field("id_verified", &Player::idVerified_),
      field("created_at", &Player::createdAt_),
      field("updated_at", &Player::updatedAt_),
  };
};

template <>
struct RecordSchema<LogInEntity> {
  static constexpr auto fields = std::tuple{
      field("token", &LogInEntity::token_),
      field("player", &LogInEntity::player_),
  };
};

template <>
struct RecordSchema<SignUpEntity> {
  static constexpr auto fields = std::tuple{
      field("company_id", &SignUpEntity::companyID_),
      field("first_name", &SignUpEntity::firstName_),
      field("last_name", &SignUpEntity::lastName_),
      field("date_of_birth", &SignUpEntity::dateOfBirth_),
      field("contact_number", &SignUpEntity::contactNumber_),
      field("country", &SignUpEntity::country_),
      field("address", &SignUpEntity::address_),
      field("city", &SignUpEntity::city_),
      field("post_code", &SignUpEntity::postCode_),
      field("email", &SignUpEntity::email_),
      field("password", &SignUpEntity::password_),
      field("currency_id", &SignUpEntity::currencyID_),
      field("offer_email", &SignUpEntity::offerEmail_),
      field("email_verified", &SignUpEntity::emailVerified_),
      field("id_verified", &SignUpEntity::idVerified_),
  };
};

template <>
struct RecordSchema<GameEntity> {
  static constexpr auto fields = std::tuple{
      field("id", &GameEntity::identifier_),
      field("slug", &GameEntity::slug_),
      field("game_id", &GameEntity::gameID_),
      field("name", &GameEntity::name_),
      field("image", &GameEntity::image_),
      field("type", &GameEntity::type_),
      field("description", &GameEntity::gameEntityDescription_),
      field("is_desktop", &GameEntity::isDesktop_),
      field("is_mobile", &GameEntity::isMobile_),
      field("is_new", &GameEntity::isNew_),
      field("free_games_support", &GameEntity::freeGamesSupport_),
      field("rank", &GameEntity::rank_),
      field("provider_id", &GameEntity::providerID_),
      field("provider_name", &GameEntity::providerName_),
      field("provider_slug", &GameEntity::providerSlug_),
      field("is_favorite", &GameEntity::isFavorite_),
  };
};

template <>
struct RecordSchema<LaunchGameEntity> {
  static constexpr auto fields = std::tuple{
      field("is_demo", &LaunchGameEntity::isDemo_),
      field("user_id", &LaunchGameEntity::userID_),
      field("game_id", &LaunchGameEntity::gameID_),
      field("provider_id", &LaunchGameEntity::providerID_),
      field("provider_slug", &LaunchGameEntity::providerSlug_),
      field("user_language", &LaunchGameEntity::userLanguage_),
      field("user_currency", &LaunchGameEntity::userCurrency_),
      field("lobby_url", &LaunchGameEntity::lobbyURL_),
      field("is_mobile", &LaunchGameEntity::isMobile_),
  };
};

template <>
struct RecordSchema<LaunchGameResponseEntity> {
  static constexpr auto fields = std::tuple{
      field("user_id", &LaunchGameResponseEntity::userID_),
      field("game_id", &LaunchGameResponseEntity::gameID_),
      field("game_token", &LaunchGameResponseEntity::gameToken_),
      field("play_for_real", &LaunchGameResponseEntity::playForReal_),
      field("play_for_fun", &LaunchGameResponseEntity::playForFun_),
      field("session_id_token", &LaunchGameResponseEntity::sessionIDToken_),
  };
};

template <>
struct RecordSchema<BalanceEntity> {
  static constexpr auto fields = std::tuple{
      field("id", &BalanceEntity::identifier_),
      field("wallet_id", &BalanceEntity::walletID_),
      field("period_year", &BalanceEntity::periodYear_),
      field("period_month", &BalanceEntity::periodMonth_),
      field("amount", &BalanceEntity::amount_),
      field("player_id", &BalanceEntity::playerID_),
      field("currency_id", &BalanceEntity::currencyID_),
      field("alphabetic_code", &BalanceEntity::alphabeticCode_),
      field("created_at", &BalanceEntity::createdAt_),
      field("updated_at", &BalanceEntity::updatedAt_),
  };
};

template <>
struct RecordSchema<CurrencyEntity> {
  static constexpr auto fields = std::tuple{
      field("id", &CurrencyEntity::identifier_),
      field("numeric_code", &CurrencyEntity::numericCode_),
      field("alphabetic_code", &CurrencyEntity::alphabeticCode_),
      field("country_institution", &CurrencyEntity::countryInstitution_),
      field("denomination", &CurrencyEntity::denomination_),
      field("minor_unit", &CurrencyEntity::minorUnit_),
      field("created_at", &CurrencyEntity::createdAt_),
      field("updated_at", &CurrencyEntity::updatedAt_),
  };
};

}  // namespace velmar::internal
