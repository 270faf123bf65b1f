#pragma once

#include <functional>

namespace velmar {

/// Returns an operation's value or throws `std::system_error` carrying the use case's error
/// (for example `GameUseCaseError`). It may be called any number of times, to the same effect.
template <typename T>
using Thunk = std::function<T()>;

/// The last argument of every asynchronous use-case operation: called once per outcome with a
/// thunk that yields that outcome.
template <typename T>
using ResultCallback = std::function<void(Thunk<T>)>;

}  // namespace velmar
