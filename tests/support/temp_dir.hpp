#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace velmar::testing {

// A fresh directory under the system's temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    auto pattern = (std::filesystem::temp_directory_path() / "velmar-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() { std::filesystem::remove_all(path_, ignored_); }
  TempDir(const TempDir&) = delete;  // one owner removes it
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::error_code ignored_;
};

}  // namespace velmar::testing
