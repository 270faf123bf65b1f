#pragma once

// What the tool asks of the terminal: whether one is attached, and an unechoed password.
#include <iosfwd>
#include <optional>
#include <string>

namespace velmar::cli {

// Whether the file descriptor is a terminal.
bool isTerminal(int fd);

// Reads one line from `in` as a password, without its line ending. When standard input is a
// terminal, asks on `prompt` and turns echo off while the line is typed. Absent at end of input.
std::optional<std::string> readPassword(std::istream& in, std::ostream& prompt);

}  // namespace velmar::cli
