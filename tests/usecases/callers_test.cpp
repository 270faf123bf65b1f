// What a careless host may do to a use case must not throw out of the SDK.
#include <gtest/gtest.h>

#include <type_traits>

#include "use_case_test_util.hpp"

namespace velmar {
namespace {

using testing::Operation;
using testing::raisedBy;
using testing::UseCaseTest;

// Operations in flight hold their use case through shared_from_this, so nothing else may own one.
static_assert(!std::is_constructible_v<GameUseCase, GameUseCaseDependencies>);
static_assert(!std::is_constructible_v<UtilsUseCase, UtilsUseCaseDependencies>);
static_assert(!std::is_constructible_v<PlayerUseCase, PlayerUseCaseDependencies>);

using CallersTest = UseCaseTest;

TEST_F(CallersTest, EmptyResultCallbacksDropTheOutcomeButKeepItsEffect) {
  for (const std::int64_t status : {200, 401}) {
    SCOPED_TRACE(status);
    SetUp();
    const bool ok = status == 200;
    network_->answerAll({status, ok ? testing::envelope(nlohmann::json::object()) : "no"});
    network_->answer(Operation::logIn,
                     {status, ok ? testing::logInBody("a@b.example", "5", "tok") : "no"});
    network_->answer(Operation::signUp, {201, "{}"});
    auto games = makeGames();
    auto player = makePlayer(games);
    auto utils = makeUtils();
    player->logIn("a@b.example", "pw", {});
    player->signUp(SignUpEntity(), {});
    games->launchGame("g", 1, "slug", {});
    utils->getCurrencyList({});
    utils->getBalance({});
    EXPECT_NO_THROW(MainQueue::main().drain());
    EXPECT_EQ(player->islogin()->value(), ok) << "a log-in's success still counts";
  }
}

TEST_F(CallersTest, AUseCaseNotOwnedBySharedPtrFailsWithWeakSelfError) {
  struct OnTheStack : UtilsUseCase {
    OnTheStack() : UtilsUseCase(UtilsUseCaseDependencies()) {}
  } utils;
  std::optional<std::error_code> raised;
  utils.getCurrencyList([&](Thunk<void> outcome) { raised = raisedBy(outcome); });
  EXPECT_EQ(raised, make_error_code(UtilsUseCaseError::weakSelfError));
  EXPECT_TRUE(network_->requests().empty());
}

}  // namespace
}  // namespace velmar
