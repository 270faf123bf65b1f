#pragma once

#include <memory>
#include <utility>

namespace velmar {

// The rule of every dependencies-record member: absent until first read, then created with
// its default and kept; a member given at construction is used instead of the default.
template <typename T, typename MakeDefault>
const std::shared_ptr<T>& createOnFirstUse(std::shared_ptr<T>& member, MakeDefault makeDefault) {
  if (!member) member = makeDefault();
  return member;
}

// A member following that rule, for records whose declaration may name this header.
template <typename T>
class Lazy {
 public:
  Lazy() = default;
  explicit Lazy(std::shared_ptr<T> given) : value_(std::move(given)) {}

  template <typename MakeDefault>
  const std::shared_ptr<T>& get(MakeDefault makeDefault) {
    return createOnFirstUse(value_, std::move(makeDefault));
  }

 private:
  std::shared_ptr<T> value_;
};

}  // namespace velmar
