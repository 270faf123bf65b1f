#pragma once

#include <system_error>
#include <type_traits>

#include "velmar/export.hpp"

namespace velmar {

// The cases start at 1: an error code of 0 means "no error" to std::error_code.

/// Why an operation of the player use case failed; raised by its failure thunks.
enum class PlayerUseCaseError { internalError = 1, invalidCredentials, weakSelfError };

/// Why an operation of the game use case failed; raised by its failure thunks.
enum class GameUseCaseError { internalError = 1, invalidCredentials, weakSelfError };

/// Why an operation of the utilities use case failed; raised by its failure thunks.
enum class UtilsUseCaseError { internalError = 1, invalidCredentials, weakSelfError };

/// The category of `PlayerUseCaseError` codes, named "PlayerUseCaseError".
VELMAR_EXPORT const std::error_category& playerUseCaseErrorCategory() noexcept;
/// The category of `GameUseCaseError` codes, named "GameUseCaseError".
VELMAR_EXPORT const std::error_category& gameUseCaseErrorCategory() noexcept;
/// The category of `UtilsUseCaseError` codes, named "UtilsUseCaseError".
VELMAR_EXPORT const std::error_category& utilsUseCaseErrorCategory() noexcept;

/// Lets `e.code() == velmar::PlayerUseCaseError::invalidCredentials` compile and hold.
inline std::error_code make_error_code(PlayerUseCaseError error) noexcept {
  return {static_cast<int>(error), playerUseCaseErrorCategory()};
}
/// Lets `e.code() == velmar::GameUseCaseError::invalidCredentials` compile and hold.
inline std::error_code make_error_code(GameUseCaseError error) noexcept {
  return {static_cast<int>(error), gameUseCaseErrorCategory()};
}
/// Lets `e.code() == velmar::UtilsUseCaseError::invalidCredentials` compile and hold.
inline std::error_code make_error_code(UtilsUseCaseError error) noexcept {
  return {static_cast<int>(error), utilsUseCaseErrorCategory()};
}

}  // namespace velmar

template <>
struct std::is_error_code_enum<velmar::PlayerUseCaseError> : std::true_type {};
template <>
struct std::is_error_code_enum<velmar::GameUseCaseError> : std::true_type {};
template <>
struct std::is_error_code_enum<velmar::UtilsUseCaseError> : std::true_type {};
