#pragma once

#include "velmar/export.hpp"

namespace velmar {

/// The common base of the player, game and utilities use cases; it carries no state.
class VELMAR_EXPORT BaseInteractor {
 public:
  virtual ~BaseInteractor();

 protected:
  /// Only the use cases themselves construct one.
  BaseInteractor() = default;
  /// Copied only as part of a use case.
  BaseInteractor(const BaseInteractor&) = default;
  /// Assigned only as part of a use case.
  BaseInteractor& operator=(const BaseInteractor&) = default;
};

}  // namespace velmar
