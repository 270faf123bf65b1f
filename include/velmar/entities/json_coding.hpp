#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "velmar/export.hpp"

namespace velmar {

/// Text encodings the records' string operations (`jsonString`, `fromString`) understand.
/// Text handed to or returned from them is always UTF-8; the encoding names the byte form.
enum class StringEncoding { utf8, ascii, isoLatin1 };

/// Raised when a record cannot be read from JSON: bytes that are not JSON, a top level that
/// is not an object, or a field of the wrong form. No partial record is ever produced.
class VELMAR_EXPORT DecodingError : public std::runtime_error {
 public:
  /// `key` is the dotted path of the offending field ("player.id"), empty for the top level.
  DecodingError(std::string key, const std::string& reason);
  /// The dotted path of the field that failed, or empty when the value as a whole did.
  const std::string& key() const noexcept { return key_; }

  friend bool operator==(const DecodingError& a, const DecodingError& b) {
    return a.key_ == b.key_ && std::string_view(a.what()) == b.what();
  }

 private:
  std::string key_;
};

/// Raised when a record cannot be written as JSON: its text is not valid UTF-8, or it holds a
/// number JSON cannot carry (infinity, NaN).
class VELMAR_EXPORT EncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The category of the error raised by `fromString` when the text cannot be represented in
/// the requested encoding: named "JSONDecoding", raised with value 0. Compare categories,
/// not truthiness, since a value of 0 tests false.
VELMAR_EXPORT const std::error_category& jsonDecodingCategory() noexcept;

namespace internal {
// Gives the SDK's record codec access to a record's fields; defined inside the library.
template <typename Record>
struct RecordSchema;
// Reaches the record members that only the SDK uses; defined inside the library.
struct RecordAccess;
}  // namespace internal

}  // namespace velmar
