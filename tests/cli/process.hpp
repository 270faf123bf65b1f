#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace velmar::testing {

// What a finished child process left behind.
struct ProcessResult {
  int exitStatus = -1;  // the exit code, or -1 when it was killed by a signal
  std::string out;
  std::string err;
};

// Runs `argv` (argv[0] is a path) with `input` on its standard input and collects both
// output streams. A child still running at `timeout` is killed and reported with -1.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         std::chrono::milliseconds timeout = std::chrono::seconds(120));

// A child that keeps running in the background, with its standard output on a pipe; its
// standard error goes where ours goes. Terminated (SIGTERM, then waited for) on destruction.
class BackgroundProcess {
 public:
  explicit BackgroundProcess(const std::vector<std::string>& argv);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  // The next line the child writes, without its line break; absent at end of output or when
  // `timeout` passes first.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  int outFd_ = -1;
  std::string buffered_;
};

}  // namespace velmar::testing
