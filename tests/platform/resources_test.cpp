#include "platform/resources.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace velmar::resources {
namespace {

struct Layout {
  const char* name;
  std::optional<std::string> library;  // absent: linked statically into the host
  std::string datadirFromLibdir;
  std::vector<std::string> fallbacks;
  std::vector<std::string> holdingMockData;
  std::optional<std::string> expected;
};

const std::vector<Layout> kLayouts = {
    {"build tree",
     "build/src",
     "../share/velmar",
     {"elsewhere"},
     {"build/src", "elsewhere"},
     "build/src"},
    {"the libdir it was built for",
     "usr/lib64",
     "../share/velmar",
     {},
     {"usr/share/velmar"},
     "usr/share/velmar"},
    {"a custom datadir",
     "opt/v/lib",
     "../data/velmar",
     {},
     {"opt/v/data/velmar"},
     "opt/v/data/velmar"},
    {"moved into a multiarch libdir",
     "usr/lib/x86_64-linux-gnu",
     "../share/velmar",
     {},
     {"usr/share/velmar"},
     "usr/share/velmar"},
    {"moved prefix, old one still there",
     "new/lib",
     "../share/velmar",
     {"old/share/velmar"},
     {"new/share/velmar", "old/share/velmar"},
     "new/share/velmar"},
    {"library without its files",
     "new/lib",
     "../share/velmar",
     {"old/share/velmar"},
     {"old/share/velmar"},
     "old/share/velmar"},
    {"static library",
     std::nullopt,
     "",
     {"old/share/velmar"},
     {"old/share/velmar"},
     "old/share/velmar"},
    {"fallbacks in order",
     std::nullopt,
     "",
     {"installed", "build"},
     {"build", "installed"},
     "installed"},
    {"nowhere", "usr/lib", "../share/velmar", {"old/share/velmar"}, {}, std::nullopt},
};

TEST(ResourcesTest, FindsTheBundleInEveryLayout) {
  for (const auto& layout : kLayouts) {
    testing::TempDir root;
    for (const auto& dir : layout.holdingMockData) {
      std::filesystem::create_directories(root.path() / dir / "MockData");
    }
    std::optional<std::filesystem::path> library;
    if (layout.library) {
      library = root.path() / *layout.library;
      std::filesystem::create_directories(*library);
    }
    std::vector<std::filesystem::path> fallbacks;
    for (const auto& dir : layout.fallbacks) fallbacks.push_back(root.path() / dir);

    const auto found = findBundle(library, layout.datadirFromLibdir, fallbacks);
    if (layout.expected) {
      EXPECT_EQ(found, (root.path() / *layout.expected).lexically_normal()) << layout.name;
    } else {
      EXPECT_EQ(found, std::nullopt) << layout.name;
    }
  }
}

}  // namespace
}  // namespace velmar::resources
