#pragma once

#include <string_view>

namespace velmar {

// Fixed texts: the four credential keys and the game-list page size.
enum class Constants { EMAIL, PASSWORD, TOKEN, USERID, PERPAGE };

constexpr std::string_view rawValue(Constants constant) {
  switch (constant) {
    case Constants::EMAIL:
      return "email";
    case Constants::PASSWORD:
      return "password";
    case Constants::TOKEN:
      return "token";
    case Constants::USERID:
      return "userId";
    case Constants::PERPAGE:
      return "50";
  }
  return "";
}

}  // namespace velmar
