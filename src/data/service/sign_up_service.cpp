#include "data/service/sign_up_service.hpp"

#include <string>

#include "data/service/round_trip.hpp"

namespace velmar {

SignUpService::SignUpService(SignUpServiceDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

void SignUpService::signUpRequest(const std::optional<SignUpEntity>& entity,
                                  std::function<void(SignUpResult)> result) {
  // Only 201 is a sign-up; its body goes back undecoded, even when absent.
  auto decide = [](APIStatusCode code, const Result<std::optional<Bytes>, http::Error>& answer)
      -> std::optional<std::optional<Bytes>> {
    if (code != APIStatusCode::CREATED || !answer.isSuccess()) return std::nullopt;
    return answer.value();
  };
  // The credential write and the caller's callback run together in one later task, write
  // first. Only an answer gets here, so the record is present.
  auto storeThenDeliver = [self = shared_from_this(), entity](
                              std::function<void(SignUpResult)> result, SignUpResult outcome) {
    asyncCompletition<SignUpResult>(
        [self, entity, result = std::move(result)](SignUpResult outcome) {
          self->dependencies_.preferenceData()->saveUserData(entity->email(), entity->password(),
                                                             std::string(), std::string());
          result(std::move(outcome));
        },
        std::move(outcome));
  };
  roundTrip(shared_from_this(), dependencies_, routeWithBody(entity, &Repository::signUp),
            &NetworkProvider::signUpRequest, std::move(result), decide, storeThenDeliver);
}

}  // namespace velmar
