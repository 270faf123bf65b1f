#pragma once

#include <string_view>

#include "velmar/key_store.hpp"

namespace velmar {

// Fixed texts: the four credential keys (named where hosts can read them too) and the
// game-list page size.
enum class Constants { EMAIL, PASSWORD, TOKEN, USERID, PERPAGE };

constexpr std::string_view rawValue(Constants constant) {
  switch (constant) {
    case Constants::EMAIL:
      return kEmailKey;
    case Constants::PASSWORD:
      return kPasswordKey;
    case Constants::TOKEN:
      return kTokenKey;
    case Constants::USERID:
      return kUserIdKey;
    case Constants::PERPAGE:
      return "50";
  }
  return "";
}

}  // namespace velmar
