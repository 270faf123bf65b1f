// Service errors become the use-case errors a host catches, raised by thunks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <vector>

#include "domain/mapper/domain_use_case_mapper.hpp"
#include "use_case/thunks.hpp"
#include "velmar/use_case_errors.hpp"

namespace velmar {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

// Only refused credentials keep their meaning; every other service error, whatever its text,
// is an internal error to the host.
TEST(DomainUseCaseMapperTest, OnlyRefusedCredentialsKeepTheirMeaning) {
  const DomainUseCaseMapper mapper;
  const auto check = [&](auto make, bool invalid) {
    EXPECT_EQ(mapper.logInServiceErrorToPlayerUseCaseError(make(LogInServiceErrorTag{})),
              invalid ? PlayerUseCaseError::invalidCredentials : PlayerUseCaseError::internalError);
    EXPECT_EQ(mapper.signUpServiceErrorToPlayerUseCaseError(make(SignUpServiceErrorTag{})),
              invalid ? PlayerUseCaseError::invalidCredentials : PlayerUseCaseError::internalError);
    EXPECT_EQ(mapper.gameListServiceErrorToPlayerUseCaseError(make(GameServiceErrorTag{})),
              invalid ? GameUseCaseError::invalidCredentials : GameUseCaseError::internalError);
    EXPECT_EQ(mapper.utilsServiceErrorToUtilsUseCaseError(make(UtilsServiceErrorTag{})),
              invalid ? UtilsUseCaseError::invalidCredentials : UtilsUseCaseError::internalError);
  };
  check([](auto tag) { return ServiceError<decltype(tag)>::invalidCredencials(); }, true);
  check([](auto tag) { return ServiceError<decltype(tag)>::createURLError(kErrorCreatingURL); }, false);
  check([](auto tag) { return ServiceError<decltype(tag)>::createURLError(kTransportError); }, false);
  check([](auto tag) { return ServiceError<decltype(tag)>::serverError("401"); }, false);
  check([](auto tag) { return ServiceError<decltype(tag)>::notFound(); }, false);
  check([](auto tag) { return ServiceError<decltype(tag)>::weakSelfError(); }, false);
}

// A thunk gives the same outcome at every call; a failure is mapped when the thunk is called,
// and names its enumeration and case. Each use case's errors are its own.
TEST(ThunksTest, EveryCallRepeatsTheOutcome) {
  Thunk<std::vector<std::string>> success = successThunk(std::vector<std::string>{"a", "b"});
  EXPECT_EQ(success(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(success(), (std::vector<std::string>{"a", "b"}));
  int mapped = 0;
  Thunk<void> failure = failureThunk<void>([&mapped] {
    ++mapped;
    return GameUseCaseError::invalidCredentials;
  });
  EXPECT_EQ(mapped, 0);
  for (int call = 0; call < 2; ++call) {
    EXPECT_THAT(failure,
                ThrowsMessage<std::system_error>(StrEq("GameUseCaseError: invalidCredentials")));
  }
  EXPECT_EQ(mapped, 2);
  EXPECT_THAT(failureThunk<void>(UtilsUseCaseError::internalError),
              ThrowsMessage<std::system_error>(StrEq("UtilsUseCaseError: internalError")));
  EXPECT_NE(std::error_code(GameUseCaseError::invalidCredentials),
            std::error_code(PlayerUseCaseError::invalidCredentials));
}

}  // namespace
}  // namespace velmar
