// Sets the SDK up for one run and waits on its main queue, never longer than the run allows.
#include "session.hpp"

#include <cstdlib>
#include <ostream>
#include <utility>

namespace velmar::cli {
namespace {

std::shared_ptr<KeyStore> makeKeyStore(const KeyStoreChoice& choice) {
  switch (choice.kind) {
    case KeyStoreChoice::Kind::secretService:
      return std::make_shared<SecretServiceKeyStore>();
    case KeyStoreChoice::Kind::file:
      return std::make_shared<FileKeyStore>(choice.path);
    case KeyStoreChoice::Kind::memory:
      break;
  }
  return std::make_shared<MemoryKeyStore>();
}

}  // namespace

std::string authorityOf(std::string_view baseURL) {
  const std::size_t schemeEnd = baseURL.find("://");
  if (schemeEnd == std::string_view::npos) return "";
  const std::string_view scheme = baseURL.substr(0, schemeEnd);
  std::string_view rest = baseURL.substr(schemeEnd + 3);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (authority.empty()) return "";
  // A colon inside an IPv6 literal's brackets is no port separator.
  const std::size_t bracket = authority.rfind(']');
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    return std::string(authority);
  }
  const char* port = scheme == "http" ? "80" : scheme == "https" ? "443" : nullptr;
  if (port == nullptr) return "";
  return std::string(authority) + ":" + port;
}

Session::Session(const Options& options, std::ostream& err, std::chrono::milliseconds wait)
    : options_(options),
      err_(err),
      wait_(wait),
      sdk_(Velmar::instance()),
      diagnostics_(std::make_shared<Diagnostics>(options.verbose)) {}

void Session::start(StartUpWait wait) {
  chooseKeyStore();

  SessionConfiguration session;
  session.connectTo = options_.connectTo;
  session.caBundleFile = options_.caFile;
  if (options_.sandbox) startSandbox(session);
  session.onRequestEnded = [diagnostics = diagnostics_](const RequestEvent& event) {
    diagnostics->record(event);
  };
  configureSession(std::move(session));

  sdk_.setLogSink([this](std::string_view line) {
    while (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    err_ << "velmar: " << line << "\n";
  });
  if (usesCannedAnswers()) sdk_.useCannedAnswers();

  // As initialize decides: a stored token means it logs the player in again.
  const bool restoring = !sdk_.player()->getToken().empty();
  sdk_.initialize(options_.environment);
  if (wait == StartUpWait::everything) return settle();
  if (!restoring || wait == StartUpWait::nothing) return;
  // A successful log-in sets islogin, and only then asks for the first page. A failed one
  // only logs: the queue running dry (the currency answer in too) tells it is over.
  auto islogin = sdk_.player()->islogin();
  MainQueue& queue = MainQueue::main();
  waitUntil([&] { return islogin->value() || queue.pending() == 0; });
  firstPageUnderWay_ = islogin->value();
}

bool Session::usesCannedAnswers() const {
  return options_.mock ||
         (options_.command == Command::demo && !options_.sandbox && options_.connectTo.empty());
}

void Session::chooseKeyStore() {
  KeychainWrapper& keychain = KeychainWrapper::standard();
  if (options_.keyStore) {
    // An explicit choice on the command line beats the environment's.
    unsetenv("VELMAR_KEYSTORE");
    keychain.setBackend(makeKeyStore(*options_.keyStore));
  } else if (usesCannedAnswers() || options_.sandbox || options_.command == Command::demo) {
    // Nothing from a canned or in-process session is worth keeping past this run.
    keychain.setBackend(std::make_shared<MemoryKeyStore>());
  }
}

// The sandbox stands in for the environment's server, so it speaks that server's scheme.
void Session::startSandbox(SessionConfiguration& session) {
  const std::string base = baseURL(options_.environment);
  const std::string authority = authorityOf(base);
  if (authority.empty()) throw std::runtime_error("the environment's address names no server");
  sandbox::SandboxOptions settings;
  settings.tls = base.starts_with("https://");
  settings.log = nullptr;
  sandbox_ = std::make_unique<sandbox::Sandbox>(std::move(settings));
  sandbox_->start();
  session.connectTo.push_back(authority + ":127.0.0.1:" + std::to_string(sandbox_->port()));
  if (sandbox_->tls()) session.caBundleFile = sandbox_->caFile().string();
}

void Session::settle() {
  const bool idle = MainQueue::main().runUntilIdle(wait_);
  diagnostics_->flush(err_);
  if (!idle) throw Timeout("timed out waiting for the server");
}

void Session::waitUntil(const std::function<bool()>& done) {
  // Each event is printed as soon as the main queue runs the task its answer posted.
  const bool held = MainQueue::main().runUntil(
      [&] {
        diagnostics_->flush(err_);
        return done();
      },
      wait_);
  diagnostics_->flush(err_);
  if (!held) throw Timeout("timed out waiting for the server");
}

std::optional<std::string> Session::adviceOnFailure(bool needsPlayer) {
  diagnostics_->flush(err_);
  if (needsPlayer && !usesCannedAnswers() &&
      KeychainWrapper::standard().string(std::string(kTokenKey)).value_or("").empty()) {
    return "no player is logged in: run `velmar login` first";
  }
  const auto problem = diagnostics_->lastProblem();
  if (!problem) return std::nullopt;
  return explain(*problem, baseURL(options_.environment));
}

}  // namespace velmar::cli
