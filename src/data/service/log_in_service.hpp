#pragma once

#include <functional>
#include <memory>
#include <string>

#include "data/service/base_service.hpp"
#include "data/service/service_dependencies.hpp"
#include "data/mapper/service_error.hpp"
#include "velmar/entities/log_in_entity.hpp"

namespace velmar {

using LogInResult = Result<LogInEntity, LogInServiceError>;

class LogInServiceDataSource {
 public:
  virtual ~LogInServiceDataSource() = default;
  // Calls `result` exactly once: synchronously when the request cannot be built, otherwise
  // in a main-queue task after the answer.
  virtual void logInRequest(const std::string& email, const std::string& password,
                            std::function<void(LogInResult)> result) = 0;
};

// Sends the log-in request and decodes the answer's "result" object as a LogInEntity.
// Any status whose body decodes is a success; storing the outcome is the caller's job.
class LogInService : public BaseService,
                     public LogInServiceDataSource,
                     public std::enable_shared_from_this<LogInService> {
 public:
  explicit LogInService(LogInServiceDependencies dependencies = {});

  // The process-wide log-in service, shared by every player use case.
  static std::shared_ptr<LogInServiceDataSource> inject();

  void logInRequest(const std::string& email, const std::string& password,
                    std::function<void(LogInResult)> result) override;

 private:
  LogInServiceDependencies dependencies_;
};

}  // namespace velmar
