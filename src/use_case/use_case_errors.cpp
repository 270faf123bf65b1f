#include "velmar/use_case_errors.hpp"

#include <string>

#include "support/no_destructor.hpp"

namespace velmar {
namespace {

static_assert(static_cast<int>(PlayerUseCaseError::weakSelfError) ==
                  static_cast<int>(GameUseCaseError::weakSelfError) &&
              static_cast<int>(UtilsUseCaseError::weakSelfError) ==
                  static_cast<int>(GameUseCaseError::weakSelfError));

// The three enumerations share their cases; each still gets its own category so that a
// game failure never compares equal to a player failure.
class UseCaseErrorCategory final : public std::error_category {
 public:
  explicit UseCaseErrorCategory(const char* name) : name_(name) {}

  const char* name() const noexcept override { return name_; }

  std::string message(int value) const override {
    // All three enumerations number their cases alike.
    switch (static_cast<GameUseCaseError>(value)) {
      case GameUseCaseError::internalError:
        return "internalError";
      case GameUseCaseError::invalidCredentials:
        return "invalidCredentials";
      case GameUseCaseError::weakSelfError:
        return "weakSelfError";
    }
    return "unknown error " + std::to_string(value);
  }

 private:
  const char* name_;
};

}  // namespace

const std::error_category& playerUseCaseErrorCategory() noexcept {
  static const NoDestructor<UseCaseErrorCategory> category("PlayerUseCaseError");
  return category.value;
}

const std::error_category& gameUseCaseErrorCategory() noexcept {
  static const NoDestructor<UseCaseErrorCategory> category("GameUseCaseError");
  return category.value;
}

const std::error_category& utilsUseCaseErrorCategory() noexcept {
  static const NoDestructor<UseCaseErrorCategory> category("UtilsUseCaseError");
  return category.value;
}

}  // namespace velmar
