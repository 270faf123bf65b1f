#include "use_case/thunks.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmar {
namespace {

using ::testing::HasSubstr;

// Calls the thunk and returns the code it raised; fails the test if it returned instead.
template <typename T>
std::error_code raisedBy(const Thunk<T>& thunk) {
  try {
    thunk();
  } catch (const std::system_error& e) {
    return e.code();
  }
  ADD_FAILURE() << "the thunk returned instead of raising";
  return {};
}

TEST(ThunksTest, SuccessThunkReturnsTheSameValueOnEveryCall) {
  Thunk<std::vector<std::string>> thunk = successThunk(std::vector<std::string>{"a", "b"});
  EXPECT_EQ(thunk(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(thunk(), (std::vector<std::string>{"a", "b"}));
  Thunk<std::vector<std::string>> copy = thunk;
  EXPECT_EQ(copy(), thunk());

  Thunk<void> done = successThunk();
  EXPECT_NO_THROW(done());
  EXPECT_NO_THROW(done());
}

TEST(ThunksTest, FailureThunkRaisesTheSameErrorOnEveryCall) {
  Thunk<int> thunk = failureThunk<int>(GameUseCaseError::invalidCredentials);
  EXPECT_EQ(raisedBy(thunk), GameUseCaseError::invalidCredentials);
  EXPECT_EQ(raisedBy(thunk), GameUseCaseError::invalidCredentials);

  Thunk<void> voidThunk = failureThunk<void>(UtilsUseCaseError::internalError);
  EXPECT_EQ(raisedBy(voidThunk), UtilsUseCaseError::internalError);
  EXPECT_EQ(raisedBy(voidThunk), UtilsUseCaseError::internalError);
}

TEST(ThunksTest, FailureIsMappedWhenTheThunkIsCalledNotWhenItIsMade) {
  int mapped = 0;
  Thunk<std::string> thunk = failureThunk<std::string>([&mapped] {
    ++mapped;
    return PlayerUseCaseError::internalError;
  });
  EXPECT_EQ(mapped, 0);
  EXPECT_EQ(raisedBy(thunk), PlayerUseCaseError::internalError);
  EXPECT_EQ(mapped, 1);
  EXPECT_EQ(raisedBy(thunk), PlayerUseCaseError::internalError);
  EXPECT_EQ(mapped, 2);
}

TEST(ThunksTest, RaisedErrorNamesItsEnumerationAndCase) {
  Thunk<int> thunk = failureThunk<int>(GameUseCaseError::invalidCredentials);
  try {
    thunk();
    FAIL() << "no error raised";
  } catch (const std::system_error& e) {
    EXPECT_THAT(e.what(), HasSubstr("GameUseCaseError"));
    EXPECT_THAT(e.what(), HasSubstr("invalidCredentials"));
  }
}

}  // namespace
}  // namespace velmar
