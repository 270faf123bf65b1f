#pragma once

#include <concepts>
#include <functional>
#include <system_error>
#include <type_traits>
#include <utility>

#include "domain/mapper/domain_use_case_mapper.hpp"
#include "velmar/result_callback.hpp"
#include "velmar/use_case_errors.hpp"

namespace velmar {

// One of the use-case error enumerations.
template <typename E>
concept UseCaseErrorEnum = std::is_enum_v<E> && std::is_error_code_enum_v<E>;

// Raises `error` the way every failure thunk does: a std::system_error whose code() is the
// enumeration value and whose what() names the enumeration and the case.
template <UseCaseErrorEnum E>
[[noreturn]] void throwUseCaseError(E error) {
  const std::error_code code = make_error_code(error);
  throw std::system_error(code, code.category().name());
}

// A thunk that returns a copy of `value` on every call.
template <typename T>
Thunk<T> successThunk(T value) {
  return [value = std::move(value)]() -> T { return value; };
}

// The success thunk of an operation without a value.
inline Thunk<void> successThunk() {
  return [] {};
}

// A thunk that raises the use-case error that `map()` yields. The mapping runs when the host
// calls the thunk, not when the failure arrives, e.g.
//   failureThunk<Player>([mapper, error] {
//     return mapper.logInServiceErrorToPlayerUseCaseError(error); });
template <typename T, typename MapFn>
requires std::invocable<const MapFn&> &&
    UseCaseErrorEnum<std::remove_cvref_t<std::invoke_result_t<const MapFn&>>>
        Thunk<T> failureThunk(MapFn map) {
  return [map = std::move(map)]() -> T { throwUseCaseError(std::invoke(map)); };
}

// A thunk that raises an error already known.
template <typename T, UseCaseErrorEnum E>
Thunk<T> failureThunk(E error) {
  return [error]() -> T { throwUseCaseError(error); };
}

// A thunk that raises the use-case error a service error maps to, mapped when called.
template <typename T, typename Tag>
Thunk<T> failureThunk(ServiceError<Tag> error) {
  return failureThunk<T>([error = std::move(error)] { return useCaseError(error); });
}

// An empty callback is accepted: the outcome still takes effect (a log-in's success thunk is
// what sets `islogin`), and nothing reaches the host.
template <typename T>
ResultCallback<T> orDropOutcome(ResultCallback<T> result) {
  if (result) return result;
  return [](Thunk<T> thunk) {
    try {
      thunk();
    } catch (const std::system_error&) {
    }
  };
}

}  // namespace velmar
