#include "data/service/log_in_service.hpp"

#include "support/entities/json_document.hpp"
#include "support/no_destructor.hpp"
#include "data/network/repository.hpp"
#include "data/service/async_completion.hpp"

namespace velmar {

LogInService::LogInService(LogInServiceDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

std::shared_ptr<LogInServiceDataSource> LogInService::inject() {
  static NoDestructor<std::shared_ptr<LogInServiceDataSource>> instance(
      std::make_shared<LogInService>());
  return instance.value;
}

void LogInService::logInRequest(const std::string& email, const std::string& password,
                                std::function<void(LogInResult)> result) {
  auto request = Repository::logIn(email, password).asURLRequest();
  if (!request.isSuccess()) {
    result(LogInResult::failure(LogInServiceError::createURLError(kErrorCreatingURL)));
    return;
  }
  dependencies_.network()->logInRequest(
      request.value(), [self = shared_from_this(), result = std::move(result)](
                           std::optional<std::int64_t> status, std::optional<Bytes> body) {
        if (!status) {
          asyncCompletition(
              result, LogInResult::failure(LogInServiceError::createURLError(kTransportError)));
          return;
        }
        const auto code = APIStatusCode::get(*status);
        if (body) {
          auto entity = json::decodeResultObject<LogInEntity>(*body);
          if (entity && entity->isSuccess()) {
            asyncCompletition(result, self->resultHandler(
                                          code, LogInResult::success(std::move(*entity).value())));
            return;
          }
        }
        asyncCompletition(
            result,
            LogInResult::failure(
                self->dependencies_.dataDomainMapper()->apiStatusCodeToLogInServiceError(code)));
      });
}

LogInResult LogInService::resultHandler(APIStatusCode code, LogInResult result) {
  if (result.isSuccess()) return result;
  return LogInResult::failure(
      dependencies_.dataDomainMapper()->apiStatusCodeToLogInServiceError(code));
}

}  // namespace velmar
