#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <type_traits>
#include <utility>

#include "velmar/api_status_code.hpp"
#include "data/mapper/data_domain_mapper.hpp"
#include "data/network/repository.hpp"
#include "data/service/async_completion.hpp"
#include "data/service/service_dependencies.hpp"
#include "support/entities/record_access.hpp"

namespace velmar {

// The mapper's error for a status classification, in the service's own error type.
template <typename Error>
Error mappedError(DataDomainMapperProvider& mapper, APIStatusCode code) {
  if constexpr (std::is_same_v<Error, LogInServiceError>) {
    return mapper.apiStatusCodeToLogInServiceError(code);
  } else if constexpr (std::is_same_v<Error, SignUpServiceError>) {
    return mapper.apiStatusCodeToSignUpServiceError(code);
  } else if constexpr (std::is_same_v<Error, GameServiceError>) {
    return mapper.apiStatusCodeToGameListServiceError(code);
  } else {
    static_assert(std::is_same_v<Error, UtilsServiceError>);
    return mapper.apiStatusCodeToUtilsServiceError(code);
  }
}

// A provider operation: sends a built request and answers once with (status, Answer).
template <typename Answer>
using ProviderOperation = void (NetworkProvider::*)(
    const http::Request&, std::function<void(std::optional<std::int64_t>, Answer)>);

// The usual delivery: the outcome in its own main-queue task.
struct PostOutcome {
  template <typename Outcome>
  void operator()(std::function<void(Outcome)> result, Outcome outcome) const {
    asyncCompletition(std::move(result), std::move(outcome));
  }
};

// The route that carries a record's JSON form. None when the record is absent or has no JSON
// form (text that is not UTF-8): nothing is sent for it.
template <typename Entity>
std::optional<Repository> routeWithBody(const std::optional<Entity>& entity,
                                        Repository (*route)(nlohmann::json)) {
  auto body = entity ? internal::RecordAccess::jsonDictonary(*entity) : std::nullopt;
  if (!body) return std::nullopt;
  return route(std::move(*body));
}

// One service operation from request to outcome:
// - no route, or one that cannot become a request: `result` at once, on the caller's thread,
//   with createURLError("Error creating URL"); nothing is sent;
// - otherwise the request goes out through `send` on the dependencies' network provider;
// - an answer without a status is createURLError("Error");
// - otherwise `decide(code, answer)` gives the value, or nothing, which becomes the mapper's
//   error for the code (a value passes through whatever the status);
// - every outcome after the answer goes to `deliver(result, outcome)`.
// `owner` holds `dependencies`; the answer's handler keeps it alive until it has run.
template <typename Value, typename Error, typename Answer, typename Owner, typename Decide,
          typename Deliver = PostOutcome>
void roundTrip(std::shared_ptr<Owner> owner, NetworkDependencies& dependencies,
               std::optional<Repository> route, ProviderOperation<Answer> send,
               std::function<void(Result<Value, Error>)> result, Decide decide,
               Deliver deliver = {}) {
  using Outcome = Result<Value, Error>;
  auto request = route ? std::optional(route->asURLRequest()) : std::nullopt;
  if (!request || !request->isSuccess()) {
    result(Outcome::failure(Error::createURLError(kErrorCreatingURL)));
    return;
  }
  std::shared_ptr<NetworkDependencies> held(std::move(owner), &dependencies);
  auto onAnswer = [held, result = std::move(result), decide = std::move(decide),
                   deliver = std::move(deliver)](std::optional<std::int64_t> status,
                                                 Answer answer) mutable {
    if (!status) {
      return deliver(std::move(result), Outcome::failure(Error::createURLError(kTransportError)));
    }
    const auto code = APIStatusCode::get(*status);
    std::optional<Value> value = decide(code, answer);
    deliver(std::move(result),
            value ? Outcome::success(std::move(*value))
                  : Outcome::failure(mappedError<Error>(*held->dataDomainMapper(), code)));
  };
  std::invoke(send, *held->network(), request->value(), std::move(onAnswer));
}

// Replaces `field` with `value` when there is one, and gives what `field` then holds.
template <typename T>
std::optional<T> keepLast(T& field, std::optional<T> value) {
  if (!value) return std::nullopt;
  field = std::move(*value);
  return field;
}

}  // namespace velmar
