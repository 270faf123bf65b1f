#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "velmar/types.hpp"

namespace velmar::resources {

// The directory holding the library's own resources (the "MockData" folder among them):
// beside the shared library in the build tree, `<prefix>/share/velmar` once installed.
// Found from the library's own location, never from the host application's.
std::optional<std::filesystem::path> bundleDirectory();

// Reads `directory/name.type`; absent when it is missing, not a regular file or unreadable.
std::optional<Bytes> read(const std::filesystem::path& directory, std::string_view name,
                          std::string_view type);

}  // namespace velmar::resources
