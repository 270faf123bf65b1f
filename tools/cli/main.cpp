// velmar: a host application on VelmarSDK for people and scripts. Results go to standard
// output, everything else (progress, failures) to standard error.
#include <unistd.h>

#include <iostream>

#include "commands.hpp"
#include "terminal.hpp"

int main(int argc, char** argv) {
  const velmar::cli::Streams streams{std::cin, std::cout, std::cerr,
                                     velmar::cli::isTerminal(STDERR_FILENO)};
  const int status = velmar::cli::runTool(argc, argv, streams);
  std::cout.flush();
  return status;
}
