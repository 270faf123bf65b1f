#include "process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace velmar::testing {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category());
    read = fds[0];
    write = fds[1];
  }
};

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

std::vector<char*> argvOf(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Spawns with the given descriptors as the child's 0, 1 and 2 (-1 keeps ours).
pid_t spawn(const std::vector<std::string>& argv, int in, int out, int err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (in >= 0) posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
  if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  if (err >= 0) posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
  pid_t pid = -1;
  std::vector<char*> args = argvOf(argv);
  const int failed =
      posix_spawn(&pid, argv.front().c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::system_error(failed, std::generic_category(), argv.front());
  return pid;
}

int waitForExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input,
                         std::chrono::milliseconds timeout) {
  Pipe in;
  Pipe out;
  Pipe err;
  const pid_t pid = spawn(argv, in.read, out.write, err.write);
  closeFd(in.read);
  closeFd(out.write);
  closeFd(err.write);
  // The input is small; a child that does not read it must not block us.
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty()) {
    [[maybe_unused]] const ssize_t written = write(in.write, input.data(), input.size());
  }
  closeFd(in.write);

  ProcessResult result;
  const Clock::time_point deadline = Clock::now() + timeout;
  std::array<pollfd, 2> fds{pollfd{out.read, POLLIN, 0}, pollfd{err.read, POLLIN, 0}};
  std::array<std::string*, 2> sinks{&result.out, &result.err};
  bool killed = false;
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (poll(fds.data(), fds.size(), static_cast<int>(left)) < 0 && errno != EINTR) break;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
      if (got > 0) {
        sinks[i]->append(chunk, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
  }
  for (pollfd& fd : fds) closeFd(fd.fd);
  result.exitStatus = waitForExit(pid);
  if (killed) result.exitStatus = -1;
  return result;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv) {
  Pipe out;
  pid_ = spawn(argv, -1, out.write, -1);
  closeFd(out.write);
  outFd_ = out.read;
}

BackgroundProcess::~BackgroundProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitForExit(pid_);
  }
  closeFd(outFd_);
}

std::optional<std::string> BackgroundProcess::readLine(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (true) {
    const std::size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd fd{outFd_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left)) <= 0) continue;
    char chunk[1024];
    const ssize_t got = read(outFd_, chunk, sizeof chunk);
    if (got == 0) return std::nullopt;
    if (got > 0) buffered_.append(chunk, static_cast<std::size_t>(got));
  }
}

}  // namespace velmar::testing
