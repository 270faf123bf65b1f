#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "support/entities/json_document.hpp"
#include "velmar/types.hpp"

namespace velmar {

// The records of a body's "result" list that decode, in order; an element that does not
// decode is skipped alone. Absent when the body has no "result" list.
template <typename R>
std::optional<std::vector<R>> decodableResultRecords(const std::optional<Bytes>& body) {
  if (!body) return std::nullopt;
  return json::decodableResultList<R>(*body);
}

// The body's "result" object decoded as R; absent when there is none or it does not decode.
template <typename R>
std::optional<R> decodedResultObject(const std::optional<Bytes>& body) {
  auto decoded = body ? json::decodeResultObject<R>(*body) : std::nullopt;
  if (!decoded || !decoded->isSuccess()) return std::nullopt;
  return std::move(*decoded).value();
}

}  // namespace velmar
