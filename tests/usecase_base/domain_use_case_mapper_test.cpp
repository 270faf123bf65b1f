#include "domain/mapper/domain_use_case_mapper.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "use_case/thunks.hpp"

namespace velmar {
namespace {

// Builds the service error a row names, in the error type of service `Tag`.
template <typename Tag>
ServiceError<Tag> build(const std::string& label) {
  using E = ServiceError<Tag>;
  if (label == "createURLError(Error creating URL)") return E::createURLError(kErrorCreatingURL);
  if (label == "createURLError(Error)") return E::createURLError(kTransportError);
  if (label == "createURLError()") return E::createURLError("");
  if (label == "serverError(500)") return E::serverError("500");
  if (label == "serverError(200)") return E::serverError("200");
  if (label == "serverError(-1001)") return E::serverError("-1001");
  if (label == "serverError()") return E::serverError("");
  if (label == "notFound") return E::notFound();
  if (label == "invalidCredencials") return E::invalidCredencials();
  if (label == "weakSelfError") return E::weakSelfError();
  ADD_FAILURE() << "unknown row " << label;
  return E::notFound();
}

// Each service error, and whether it keeps the meaning "invalid credentials".
const std::vector<std::pair<std::string, bool>>& rows() {
  static const std::vector<std::pair<std::string, bool>> table = {
      {"createURLError(Error creating URL)", false},
      {"createURLError(Error)", false},
      {"createURLError()", false},
      {"serverError(500)", false},
      {"serverError(200)", false},
      {"serverError(-1001)", false},
      {"serverError()", false},
      {"notFound", false},
      {"invalidCredencials", true},
      {"weakSelfError", false},
  };
  return table;
}

TEST(DomainUseCaseMapperTest, EveryServiceErrorOfEveryServiceMapsToItsUseCaseError) {
  const DomainUseCaseMapper mapper;
  for (const auto& [label, invalid] : rows()) {
    SCOPED_TRACE(label);
    EXPECT_EQ(mapper.logInServiceErrorToPlayerUseCaseError(build<LogInServiceErrorTag>(label)),
              invalid ? PlayerUseCaseError::invalidCredentials : PlayerUseCaseError::internalError);
    EXPECT_EQ(mapper.signUpServiceErrorToPlayerUseCaseError(build<SignUpServiceErrorTag>(label)),
              invalid ? PlayerUseCaseError::invalidCredentials : PlayerUseCaseError::internalError);
    EXPECT_EQ(mapper.gameListServiceErrorToPlayerUseCaseError(build<GameServiceErrorTag>(label)),
              invalid ? GameUseCaseError::invalidCredentials : GameUseCaseError::internalError);
    EXPECT_EQ(mapper.utilsServiceErrorToUtilsUseCaseError(build<UtilsServiceErrorTag>(label)),
              invalid ? UtilsUseCaseError::invalidCredentials : UtilsUseCaseError::internalError);
  }
}

// The road a use case takes: a service failure becomes a thunk that raises the mapped error.
TEST(DomainUseCaseMapperTest, FailureThunkOverTheMapperRaisesTheMappedErrorEachCall) {
  const DomainUseCaseMapper mapper;
  const GameServiceError failure = GameServiceError::invalidCredencials();
  Thunk<int> thunk = failureThunk<int>(
      [mapper, failure] { return mapper.gameListServiceErrorToPlayerUseCaseError(failure); });
  for (int call = 0; call < 2; ++call) {
    try {
      thunk();
      FAIL() << "no error raised";
    } catch (const std::system_error& e) {
      EXPECT_TRUE(e.code() == GameUseCaseError::invalidCredentials);
    }
  }
}

}  // namespace
}  // namespace velmar
