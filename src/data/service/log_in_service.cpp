#include "data/service/log_in_service.hpp"

#include "data/service/result_records.hpp"
#include "data/service/round_trip.hpp"
#include "support/no_destructor.hpp"

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
  roundTrip(shared_from_this(), dependencies_, Repository::logIn(email, password),
            &NetworkProvider::logInRequest, std::move(result),
            [](APIStatusCode, const std::optional<Bytes>& body) {
              return decodedResultObject<LogInEntity>(body);
            });
}

}  // namespace velmar
