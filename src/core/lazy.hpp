#pragma once

#include <memory>
#include <utility>

namespace velmar {

// A dependencies-record member: absent until first read, then created with its default and
// kept; a member given at construction is used instead of the default.
template <typename T>
class Lazy {
 public:
  Lazy() = default;
  explicit Lazy(std::shared_ptr<T> given) : value_(std::move(given)) {}

  template <typename MakeDefault>
  const std::shared_ptr<T>& get(MakeDefault makeDefault) {
    if (!value_) value_ = makeDefault();
    return value_;
  }

  // True once the member exists (given, or created by a read).
  bool isSet() const { return value_ != nullptr; }

 private:
  std::shared_ptr<T> value_;
};

}  // namespace velmar
