#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <variant>
#include <vector>

namespace velmar {

/// Raw bytes: HTTP bodies, encoded JSON.
using Bytes = std::vector<std::uint8_t>;

/// A tagged outcome: success carrying a `T`, or failure carrying an `E`.
template <typename T, typename E>
class Result {
 public:
  /// Builds a success.
  static Result success(T value) { return Result(std::in_place_index<0>, std::move(value)); }
  /// Builds a failure.
  static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

  /// True for a success.
  bool isSuccess() const { return state_.index() == 0; }
  /// The success value; only valid when `isSuccess()`.
  const T& value() const& { return std::get<0>(state_); }
  /// The success value, moved out of a temporary; only valid when `isSuccess()`.
  T&& value() && { return std::get<0>(std::move(state_)); }
  /// The failure value; only valid when `!isSuccess()`.
  const E& error() const& { return std::get<1>(state_); }

  friend bool operator==(const Result&, const Result&) = default;

 private:
  template <std::size_t I, typename V>
  Result(std::in_place_index_t<I> tag, V&& v) : state_(tag, std::forward<V>(v)) {}
  std::variant<T, E> state_;
};

}  // namespace velmar
