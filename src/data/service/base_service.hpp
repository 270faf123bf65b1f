#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "velmar/types.hpp"

namespace velmar {

// Base of the four services: unwraps the "result" member of the platform's JSON envelope.
// Both operations never fail; anything unusable is absent.
class BaseService {
 public:
  virtual ~BaseService() = default;

  // The "result" array of a JSON object body, elements unchanged and in order.
  virtual std::optional<std::vector<nlohmann::json>> mapJsonResult(
      const std::optional<Bytes>& data) const;
  // The "result" object of a JSON object body, written again pretty-printed.
  virtual std::optional<Bytes> mapJsonResultEntity(const std::optional<Bytes>& data) const;
};

}  // namespace velmar
