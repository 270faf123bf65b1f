#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "data/service/base_service.hpp"
#include "data/service/service_dependencies.hpp"
#include "data/mapper/service_error.hpp"
#include "velmar/entities/sign_up_entity.hpp"

namespace velmar {

// Success carries the answer body undecoded (possibly absent).
using SignUpResult = Result<std::optional<Bytes>, SignUpServiceError>;

class SignUpServiceDataSource {
 public:
  virtual ~SignUpServiceDataSource() = default;
  virtual void signUpRequest(const std::optional<SignUpEntity>& entity,
                             std::function<void(SignUpResult)> result) = 0;
};

// Registers a player. Only a 201 answer is a success. Every delivered outcome first stores
// the record's e-mail and password with an empty token and user id.
class SignUpService : public BaseService,
                      public SignUpServiceDataSource,
                      public std::enable_shared_from_this<SignUpService> {
 public:
  explicit SignUpService(SignUpServiceDependencies dependencies = {});

  void signUpRequest(const std::optional<SignUpEntity>& entity,
                     std::function<void(SignUpResult)> result) override;

 private:
  SignUpServiceDependencies dependencies_;
};

}  // namespace velmar
