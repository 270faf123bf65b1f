#include "platform/resources.hpp"

#include <dlfcn.h>

#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace velmar::resources {
namespace {

#ifdef VELMAR_SHARED_LIBRARY
// The file of the shared library this code was loaded from.
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
#endif

bool holdsMockData(const std::filesystem::path& directory) {
  std::error_code error;
  return std::filesystem::is_directory(directory / "MockData", error);
}

// `libraryDirectory` is where the shared library lies (absent when linked statically);
// `datadirFromLibdir` leads from there to the installed files; `fallbacks` come last.
std::optional<std::filesystem::path> findBundle(
    const std::optional<std::filesystem::path>& libraryDirectory,
    const std::filesystem::path& datadirFromLibdir,
    const std::vector<std::filesystem::path>& fallbacks) {
  std::vector<std::filesystem::path> candidates;
  if (libraryDirectory) {
    const auto& dir = *libraryDirectory;
    // Beside the library (the build tree), the layout it was built for, then the usual
    // prefixes above a libdir one or two levels deep (lib, lib64, lib/<multiarch>), for a
    // library a packager moved into another libdir than the one it was built for.
    candidates = {dir, dir / datadirFromLibdir, dir.parent_path() / "share" / "velmar",
                  dir.parent_path().parent_path() / "share" / "velmar"};
  }
  candidates.insert(candidates.end(), fallbacks.begin(), fallbacks.end());
  for (const auto& candidate : candidates) {
    if (holdsMockData(candidate)) return candidate.lexically_normal();
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> bundleDirectory() {
  static const std::optional<std::filesystem::path> found = [] {
    std::optional<std::filesystem::path> libraryDirectory;
    std::filesystem::path datadirFromLibdir;
#ifdef VELMAR_SHARED_LIBRARY
    if (auto binary = loadedFrom()) libraryDirectory = binary->parent_path();
    datadirFromLibdir = VELMAR_DATADIR_FROM_LIBDIR;
#endif
    std::vector<std::filesystem::path> fallbacks;
#ifdef VELMAR_INSTALL_DATADIR
    // The only way a static library inside a host that lives anywhere finds its files.
    fallbacks.emplace_back(VELMAR_INSTALL_DATADIR);
#endif
#ifdef VELMAR_BUILD_RESOURCE_DIR
    // A test or tool linked statically in the build tree lives away from the library.
    fallbacks.emplace_back(VELMAR_BUILD_RESOURCE_DIR);
#endif
    return findBundle(libraryDirectory, datadirFromLibdir, fallbacks);
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
