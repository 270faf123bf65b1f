// velmar-sandbox: the platform's REST API on 127.0.0.1, for trying the SDK and its tools
// without the real servers. Runs until SIGINT or SIGTERM.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>

#include "sandbox_server.hpp"

int main(int argc, char** argv) {
  velmar::sandbox::SandboxOptions options;
  bool quiet = false;
  int latencyMs = 0;
  std::vector<std::string> hosts;

  CLI::App app{"A local server that speaks the Velmar platform's REST API"};
  app.add_option("--port", options.port, "Port on 127.0.0.1 (0 picks a free one)")
      ->check(CLI::Range(0, 65535));
  app.add_flag("--tls,!--no-tls", options.tls, "Serve HTTPS (default) or plain HTTP");
  app.add_option("--cert-dir", options.certDirectory,
                 "Directory that receives ca.pem, the authority to trust");
  app.add_option("--latency-ms", latencyMs, "Delay added before every answer")
      ->check(CLI::Range(0, 600000));
  app.add_option(
      "--host", hosts,
      "Name the certificate is valid for (repeatable; default: the environments' hosts)");
  app.add_option("--seed", options.seed, "Seed for the tokens handed out (0: random)");
  app.add_flag("--quiet", quiet, "Do not log requests");
  CLI11_PARSE(app, argc, argv);

  if (!hosts.empty()) options.hostNames = hosts;
  options.latency = std::chrono::milliseconds(latencyMs);
  if (quiet) options.log = nullptr;

  // Signals are taken synchronously below; blocking them first keeps the server's threads,
  // which inherit the mask, from receiving them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  velmar::sandbox::Sandbox sandbox(options);
  try {
    sandbox.start();
  } catch (const std::exception& error) {
    std::cerr << "velmar-sandbox: " << error.what() << "\n";
    return 1;
  }
  std::cout << "velmar-sandbox listening on " << sandbox.origin();
  if (sandbox.tls()) std::cout << " (CA: " << sandbox.caFile().string() << ")";
  std::cout << std::endl;

  int received = 0;
  sigwait(&stopSignals, &received);
  sandbox.stop();
  return 0;
}
