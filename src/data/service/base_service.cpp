#include "data/service/base_service.hpp"

#include "support/json.hpp"

namespace velmar {
namespace {

// The member "result" of a body whose top level is an object, or absent.
std::optional<nlohmann::json> resultMember(const std::optional<Bytes>& data) {
  if (!data) return std::nullopt;
  auto root = json::parse(*data);
  if (!root || !root->is_object()) return std::nullopt;
  auto it = root->find("result");
  if (it == root->end()) return std::nullopt;
  return std::move(*it);
}

}  // namespace

std::optional<std::vector<nlohmann::json>> BaseService::mapJsonResult(
    const std::optional<Bytes>& data) const {
  auto result = resultMember(data);
  if (!result || !result->is_array()) return std::nullopt;
  return result->get<std::vector<nlohmann::json>>();
}

std::optional<Bytes> BaseService::mapJsonResultEntity(const std::optional<Bytes>& data) const {
  auto result = resultMember(data);
  if (!result || !result->is_object()) return std::nullopt;
  return json::write(*result, json::WriteOption::prettyPrinted);
}

}  // namespace velmar
