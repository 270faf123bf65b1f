#include "data/service/sign_up_service.hpp"

#include "data/network/repository.hpp"
#include "velmar/main_queue.hpp"

namespace velmar {

SignUpService::SignUpService(SignUpServiceDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

void SignUpService::signUpRequest(const std::optional<SignUpEntity>& entity,
                                  std::function<void(SignUpResult)> result) {
  auto fail = [&] {
    result(SignUpResult::failure(SignUpServiceError::createURLError(kErrorCreatingURL)));
  };
  if (!entity) return fail();
  // A record whose text is not UTF-8 has no JSON form; nothing is sent for it.
  auto userInformation = entity->jsonDictonary();
  if (!userInformation) return fail();
  auto request = Repository::signUp(std::move(*userInformation)).asURLRequest();
  if (!request.isSuccess()) return fail();

  dependencies_.network()->signUpRequest(
      request.value(), [self = shared_from_this(), entity = *entity, result = std::move(result)](
                           std::optional<std::int64_t> status,
                           Result<std::optional<Bytes>, http::Error> answer) mutable {
        if (!status) {
          return self->deliver(
              entity, std::move(result),
              SignUpResult::failure(SignUpServiceError::createURLError(kTransportError)));
        }
        const auto code = APIStatusCode::get(*status);
        if (code == APIStatusCode::CREATED) {
          return self->deliver(entity, std::move(result),
                               self->resultHandler(code, std::move(answer)));
        }
        self->deliver(
            entity, std::move(result),
            SignUpResult::failure(
                self->dependencies_.dataDomainMapper()->apiStatusCodeToSignUpServiceError(code)));
      });
}

SignUpResult SignUpService::resultHandler(APIStatusCode code,
                                          Result<std::optional<Bytes>, http::Error> result) {
  if (result.isSuccess()) return SignUpResult::success(std::move(result).value());
  return SignUpResult::failure(
      dependencies_.dataDomainMapper()->apiStatusCodeToSignUpServiceError(code));
}

// The credential write and the caller's callback run together in one later task, write first.
void SignUpService::deliver(const SignUpEntity& entity, std::function<void(SignUpResult)> result,
                            SignUpResult value) {
  MainQueue::main().post([self = shared_from_this(), email = entity.email(),
                          password = entity.password(), result = std::move(result),
                          value = std::move(value)]() mutable {
    self->dependencies_.preferenceData()->saveUserData(email, password, std::string(),
                                                       std::string());
    result(std::move(value));
  });
}

}  // namespace velmar
