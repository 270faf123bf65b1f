#pragma once

// The record codec's reader over a simdjson DOM element: the path response bodies take.

#include <simdjson.h>

#include "support/record_codec.hpp"

namespace velmar::codec {

class SimdjsonReader {
 public:
  SimdjsonReader() = default;
  explicit SimdjsonReader(simdjson::dom::element element) : element_(element) {}

  bool isNull() const { return element_.is_null(); }
  bool isObject() const { return element_.is_object(); }
  std::optional<std::string_view> text() const {
    std::string_view text;
    if (element_.get_string().get(text) != simdjson::SUCCESS) return std::nullopt;
    return text;
  }
  std::optional<bool> flag() const {
    bool flag = false;
    if (element_.get_bool().get(flag) != simdjson::SUCCESS) return std::nullopt;
    return flag;
  }
  std::optional<Number> number() const {
    Number n;
    switch (element_.type()) {
      case simdjson::dom::element_type::INT64:
        n.form = Number::Form::signedInteger;
        n.signedValue = element_.get_int64().value_unsafe();
        return n;
      case simdjson::dom::element_type::UINT64:
        n.form = Number::Form::unsignedInteger;
        n.unsignedValue = element_.get_uint64().value_unsafe();
        return n;
      case simdjson::dom::element_type::DOUBLE:
        n.form = Number::Form::floating;
        n.floatingValue = element_.get_double().value_unsafe();
        return n;
      default:
        return std::nullopt;
    }
  }
  template <typename F>
  void forEachMember(F&& visit) const {
    simdjson::dom::object object;
    if (element_.get_object().get(object) != simdjson::SUCCESS) return;
    for (auto member : object) visit(member.key, SimdjsonReader(member.value));
  }

  // For an array: `start(size)`, then `visit(element)` for each element in order.
  template <typename Start, typename F>
  void forEachElement(Start&& start, F&& visit) const {
    simdjson::dom::array array;
    if (element_.get_array().get(array) != simdjson::SUCCESS) return;
    start(array.size());
    for (auto item : array) visit(SimdjsonReader(item));
  }

  simdjson::dom::element element() const { return element_; }

 private:
  simdjson::dom::element element_;
};

static_assert(Reader<SimdjsonReader>);
static_assert(Reader<NlohmannReader>);

}  // namespace velmar::codec
