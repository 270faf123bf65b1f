#pragma once

// Runs the tool: the command line parsed, one command carried out, its exit status.
#include <chrono>
#include <iosfwd>

#include "options.hpp"

namespace velmar::cli {

// The streams a run reads and writes: results on `out`, everything else on `err`.
struct Streams {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool errIsTerminal = false;  // progress redraws one line instead of writing many
};

// How long any one wait on the SDK may take before the run gives up with status 4.
inline constexpr std::chrono::seconds kDefaultWait{90};

// Sets the SDK up as the options say, runs the command and returns the exit status. Runs
// once per process: the SDK's facade, key store and session are process-wide.
int runCommand(const Options& options, Streams streams,
               std::chrono::milliseconds wait = kDefaultWait);

// Parses argv and runs the command it names.
int runTool(int argc, const char* const* argv, Streams streams);

}  // namespace velmar::cli
