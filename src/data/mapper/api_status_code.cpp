#include "velmar/api_status_code.hpp"

#include <array>

namespace velmar {

std::optional<APIStatusCode> APIStatusCode::fromRawValue(std::int64_t raw) {
  constexpr std::array<Value, 14> kAll = {SUCCESS,
                                          CREATED,
                                          INTERNALSERVERERROR,
                                          SERVICEUNAVAILABLE,
                                          BADREQUEST,
                                          UNAUTHORIZED,
                                          FORBIDDEN,
                                          NOTFOUND,
                                          CONFLICT,
                                          APPERROR,
                                          INVALIDUSER,
                                          BLOCK,
                                          ACCESSDENIED,
                                          INVALIDUSERSECONDARY};
  for (auto value : kAll) {
    if (value == raw) return APIStatusCode(value);
  }
  return std::nullopt;
}

APIStatusCode APIStatusCode::get(std::int64_t statusCode) {
  // Tested in this order; only these four classifications ever come out.
  if (statusCode == 200) return SUCCESS;
  if (statusCode == 400) return BADREQUEST;
  if (statusCode == 500) return INTERNALSERVERERROR;
  if (statusCode == 201) return CREATED;
  return INTERNALSERVERERROR;
}

}  // namespace velmar
