#include "platform/resources.hpp"

#include <dlfcn.h>

#include <array>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace velmar::resources {
namespace {

// Where the code of this function was loaded from: the shared library, or the executable
// that linked the static one.
std::optional<std::filesystem::path> loadedFrom() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&loadedFrom), &info) == 0 || info.dli_fname == nullptr) {
    return std::nullopt;
  }
  std::error_code error;
  auto path = std::filesystem::canonical(info.dli_fname, error);
  if (error) return std::nullopt;
  return path;
}

bool holdsMockData(const std::filesystem::path& directory) {
  std::error_code error;
  return std::filesystem::is_directory(directory / "MockData", error);
}

}  // namespace

std::optional<std::filesystem::path> bundleDirectory() {
  static const std::optional<std::filesystem::path> found =
      []() -> std::optional<std::filesystem::path> {
    if (auto binary = loadedFrom()) {
      const auto dir = binary->parent_path();
      for (const auto& candidate : {dir, dir.parent_path() / "share" / "velmar"}) {
        if (holdsMockData(candidate)) return candidate;
      }
    }
#ifdef VELMAR_BUILD_RESOURCE_DIR
    // A test or tool linked statically in the build tree lives away from the library.
    if (holdsMockData(VELMAR_BUILD_RESOURCE_DIR)) return VELMAR_BUILD_RESOURCE_DIR;
#endif
    return std::nullopt;
  }();
  return found;
}

std::optional<Bytes> read(const std::filesystem::path& directory, std::string_view name,
                          std::string_view type) {
  const auto path = directory / (std::string(name) + "." + std::string(type));
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return bytes;
}

}  // namespace velmar::resources
