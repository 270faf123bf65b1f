#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "velmar/types.hpp"

namespace velmar::resources {

// The directory holding the library's own resources (the "MockData" folder among them):
// beside the shared library in the build tree, `<datadir>/velmar` once installed. Found from
// the shared library's own location first, so a moved package still finds its files; then
// at the datadir the library was built for. A static library never looks beside the host's
// executable: those files are the host's, not ours.
std::optional<std::filesystem::path> bundleDirectory();

// Reads `directory/name.type`; absent when it is missing, not a regular file or unreadable.
std::optional<Bytes> read(const std::filesystem::path& directory, std::string_view name,
                          std::string_view type);

}  // namespace velmar::resources
