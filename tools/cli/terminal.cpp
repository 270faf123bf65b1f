// Terminal checks and password input with echo turned off.
#include "terminal.hpp"

#include <termios.h>
#include <unistd.h>

#include <istream>
#include <ostream>

namespace velmar::cli {
namespace {

// Turns terminal echo off for its lifetime; does nothing when the descriptor is no terminal.
class EchoOff {
 public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(fd_, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

}  // namespace

bool isTerminal(int fd) { return isatty(fd) == 1; }

std::optional<std::string> readPassword(std::istream& in, std::ostream& prompt) {
  const bool interactive = isTerminal(STDIN_FILENO);
  std::string line;
  bool got = false;
  if (interactive) {
    prompt << "Password: " << std::flush;
    EchoOff echoOff(STDIN_FILENO);
    got = static_cast<bool>(std::getline(in, line));
    prompt << "\n";
  } else {
    got = static_cast<bool>(std::getline(in, line));
  }
  if (!got && line.empty()) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace velmar::cli
