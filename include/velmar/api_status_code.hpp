#pragma once

// The statuses the services tell apart.

#include <cstdint>
#include <optional>

#include "velmar/export.hpp"

namespace velmar {

/// The HTTP and application statuses the platform uses. APPERROR is negative on purpose;
/// BLOCK and INVALIDUSERSECONDARY are application codes, not HTTP statuses.
class VELMAR_EXPORT APIStatusCode {
 public:
  /// The codes, by name.
  enum Value : std::int64_t {
    SUCCESS = 200,
    CREATED = 201,
    INTERNALSERVERERROR = 500,
    SERVICEUNAVAILABLE = 503,
    BADREQUEST = 400,
    UNAUTHORIZED = 401,
    FORBIDDEN = 403,
    NOTFOUND = 404,
    CONFLICT = 409,
    APPERROR = -1001,
    INVALIDUSER = 1002,
    BLOCK = 4,
    ACCESSDENIED = 1005,
    INVALIDUSERSECONDARY = 3,
  };

  /// One of the named codes.
  constexpr APIStatusCode(Value value) : value_(value) {}  // NOLINT: cases convert implicitly

  /// Exact match on a raw value, otherwise absent.
  static std::optional<APIStatusCode> fromRawValue(std::int64_t rawValue);
  /// The services' classification: 200, 400, 500 and 201 map to their cases; every other
  /// status, 401 and 404 included, is treated as INTERNALSERVERERROR.
  static APIStatusCode get(std::int64_t statusCode);

  /// The code as a number.
  constexpr std::int64_t rawValue() const { return value_; }
  /// Lets a switch see the cases.
  constexpr operator Value() const { return value_; }  // NOLINT: lets a switch see the cases

 private:
  Value value_;
};

}  // namespace velmar
