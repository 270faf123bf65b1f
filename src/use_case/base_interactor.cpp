#include "velmar/base_interactor.hpp"

namespace velmar {

// Defined here so the vtable and type information live once, inside the library.
BaseInteractor::~BaseInteractor() = default;

}  // namespace velmar
