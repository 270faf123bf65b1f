#include "velmar/use_case_errors.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <unordered_set>

#include "velmar/base_interactor.hpp"

namespace velmar {
namespace {

template <typename E>
class UseCaseErrorTest : public ::testing::Test {};

struct PlayerErrors {
  using Enum = PlayerUseCaseError;
  static constexpr const char* kName = "PlayerUseCaseError";
};
struct GameErrors {
  using Enum = GameUseCaseError;
  static constexpr const char* kName = "GameUseCaseError";
};
struct UtilsErrors {
  using Enum = UtilsUseCaseError;
  static constexpr const char* kName = "UtilsUseCaseError";
};
using AllErrors = ::testing::Types<PlayerErrors, GameErrors, UtilsErrors>;
TYPED_TEST_SUITE(UseCaseErrorTest, AllErrors);

TYPED_TEST(UseCaseErrorTest, EveryCaseIsARealErrorCodeNamedAfterItsCase) {
  using E = typename TypeParam::Enum;
  const struct {
    E value;
    const char* name;
  } cases[] = {{E::internalError, "internalError"},
               {E::invalidCredentials, "invalidCredentials"},
               {E::weakSelfError, "weakSelfError"}};
  for (const auto& c : cases) {
    const std::error_code code = c.value;
    EXPECT_TRUE(code) << c.name << " must not read as success";
    EXPECT_STREQ(code.category().name(), TypeParam::kName);
    EXPECT_EQ(code.message(), c.name);
    EXPECT_TRUE(code == c.value);
  }
}

TYPED_TEST(UseCaseErrorTest, CasesCompareAndHashByValue) {
  using E = typename TypeParam::Enum;
  const std::error_code internal = E::internalError;
  EXPECT_FALSE(internal == E::invalidCredentials);
  EXPECT_FALSE(internal == E::weakSelfError);
  std::unordered_set<E> set{E::internalError, E::invalidCredentials, E::internalError};
  EXPECT_EQ(set.size(), 2u);
}

TYPED_TEST(UseCaseErrorTest, ThrownAsSystemErrorTheCodeSurvivesTheCatch) {
  using E = typename TypeParam::Enum;
  try {
    throw std::system_error(E::invalidCredentials);
  } catch (const std::system_error& e) {
    EXPECT_TRUE(e.code() == E::invalidCredentials);
    EXPECT_FALSE(e.code() == E::internalError);
  }
}

TEST(UseCaseErrorCategoriesTest, TheSameCaseOfDifferentUseCasesIsNotEqual) {
  const std::error_code game = GameUseCaseError::invalidCredentials;
  const std::error_code player = PlayerUseCaseError::invalidCredentials;
  const std::error_code utils = UtilsUseCaseError::invalidCredentials;
  EXPECT_EQ(game.value(), player.value());
  EXPECT_NE(game, player);
  EXPECT_NE(game, utils);
  EXPECT_NE(player, utils);
}

// A use case is destroyed through its base without leaking its own parts.
TEST(BaseInteractorTest, DerivedUseCaseIsDestroyedThroughItsBase) {
  struct UseCase : BaseInteractor {
    explicit UseCase(std::shared_ptr<int> part) : part(std::move(part)) {}
    std::shared_ptr<int> part;
  };
  static_assert(!std::is_default_constructible_v<BaseInteractor>);
  auto part = std::make_shared<int>(1);
  std::weak_ptr<int> watch = part;
  std::unique_ptr<BaseInteractor> useCase = std::make_unique<UseCase>(std::move(part));
  EXPECT_NE(dynamic_cast<UseCase*>(useCase.get()), nullptr);
  useCase.reset();
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace velmar
