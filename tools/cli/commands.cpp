#include "commands.hpp"

#include <cstdlib>
#include <iomanip>
#include <istream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <system_error>
#include <velmar/velmar.hpp>

#include "api.hpp"
#include "output.hpp"
#include "sandbox_server.hpp"
#include "terminal.hpp"

namespace velmar::cli {
namespace {

// A wait on the SDK that ran out of time.
class Timeout : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A problem with what the user gave that only shows once the run has started.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "HOST:PORT" the SDK connects to for an environment, as its base address names it.
std::string environmentAuthority(ApiEnvironment environment) {
  switch (environment) {
    case ApiEnvironment::PROD:
      return std::string(VELMAR_PROD_HOST) + ":5050";
    case ApiEnvironment::STG:
      return std::string(VELMAR_STG_HOST) + ":443";
    case ApiEnvironment::DEV:
      break;
  }
  return std::string(VELMAR_DEV_HOST) + ":443";
}

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

bool isInvalidCredentials(const std::error_code& code) {
  return code == PlayerUseCaseError::invalidCredentials ||
         code == GameUseCaseError::invalidCredentials ||
         code == UtilsUseCaseError::invalidCredentials;
}

const char* commandName(Command command) {
  switch (command) {
    case Command::login:
      return "login";
    case Command::signup:
      return "signup";
    case Command::logout:
      return "logout";
    case Command::whoami:
      return "whoami";
    case Command::games:
      return "games";
    case Command::launch:
      return "launch";
    case Command::balance:
      return "balance";
    case Command::currencies:
      return "currencies";
    case Command::demo:
      return "demo";
  }
  return "velmar";
}

nlohmann::json optionalJson(const std::optional<std::string>& text) {
  return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
}

// One run of the tool: the SDK set up as a host would, then one command.
class Run {
 public:
  Run(const Options& options, Streams streams, std::chrono::milliseconds wait)
      : options_(options), io_(streams), wait_(wait), sdk_(Velmar::instance()) {}

  int execute() {
    try {
      const nlohmann::json result = perform();
      if (options_.json) writeJson(io_.out, result);
      return kExitSuccess;
    } catch (const std::system_error& error) {
      const bool credentials = isInvalidCredentials(error.code());
      return fail(error.what(), credentials ? kExitInvalidCredentials : kExitInternalError);
    } catch (const UsageError& error) {
      io_.err << "velmar: " << error.what() << "\n";
      return kExitUsage;
    } catch (const std::exception& error) {
      return fail(error.what(), kExitInternalError);
    }
  }

 private:
  int fail(const std::string& why, int status) {
    io_.err << "velmar: " << commandName(options_.command) << " failed: " << why << "\n";
    if (options_.json) {
      const char* name = status == kExitInvalidCredentials ? "invalidCredentials" : "internalError";
      writeJson(io_.out, {{"error", name}});
    }
    return status;
  }

  nlohmann::json perform() {
    std::string password;
    if (needsPassword()) password = takePassword();
    setUp();
    sdk_.initialize(options_.environment);
    settle();  // the session restore and the currency download
    nlohmann::json result;
    switch (options_.command) {
      case Command::login:
        result = logIn(options_.email, password);
        break;
      case Command::signup:
        result = signUp(password);
        break;
      case Command::logout:
        result = logOut();
        break;
      case Command::whoami:
        result = whoAmI();
        break;
      case Command::games:
        result = games(options_.pages);
        break;
      case Command::launch:
        result = launch(options_.gameId, options_.providerId, options_.providerSlug);
        break;
      case Command::balance:
        result = balance();
        break;
      case Command::currencies:
        result = currencies();
        break;
      case Command::demo:
        result = demo(password);
        break;
    }
    settle();  // whatever the command set off, such as the first page after a log-in
    return result;
  }

  bool needsPassword() const {
    return options_.command == Command::login || options_.command == Command::signup ||
           options_.command == Command::demo;
  }

  // Read before anything is sent, so a missing password costs no request.
  std::string takePassword() {
    if (options_.passwordFromStdin) {
      std::optional<std::string> typed = readPassword(io_.in, io_.err);
      if (!typed) throw UsageError("no password on standard input");
      return *typed;
    }
    if (options_.password) return *options_.password;
    return sandbox::demoPlayers().front().password;  // demo without credentials
  }

  bool usesCannedAnswers() const {
    return options_.mock ||
           (options_.command == Command::demo && !options_.sandbox && options_.connectTo.empty());
  }

  void setUp() {
    KeychainWrapper& keychain = KeychainWrapper::standard();
    if (options_.keyStore) {
      // An explicit choice on the command line beats the environment's.
      unsetenv("VELMAR_KEYSTORE");
      keychain.setBackend(makeKeyStore(*options_.keyStore));
    } else if (usesCannedAnswers() || options_.sandbox || options_.command == Command::demo) {
      // Nothing from a canned or in-process session is worth keeping past this run.
      keychain.setBackend(std::make_shared<MemoryKeyStore>());
    }

    SessionConfiguration session;
    session.connectTo = options_.connectTo;
    session.caBundleFile = options_.caFile;
    if (options_.sandbox) startSandbox(session);
    configureSession(std::move(session));

    sdk_.setLogSink([this](std::string_view line) {
      while (!line.empty() && line.back() == '\n') line.remove_suffix(1);
      io_.err << "velmar: " << line << "\n";
    });
    if (usesCannedAnswers()) sdk_.useCannedAnswers();
  }

  // PROD is plain HTTP on its own port, so its sandbox serves plain HTTP too.
  void startSandbox(SessionConfiguration& session) {
    sandbox::SandboxOptions settings;
    settings.tls = options_.environment != ApiEnvironment::PROD;
    settings.log = nullptr;
    sandbox_ = std::make_unique<sandbox::Sandbox>(std::move(settings));
    sandbox_->start();
    session.connectTo.push_back(environmentAuthority(options_.environment) +
                                ":127.0.0.1:" + std::to_string(sandbox_->port()));
    if (sandbox_->tls()) session.caBundleFile = sandbox_->caFile().string();
  }

  void settle() {
    if (!MainQueue::main().runUntilIdle(wait_)) throw Timeout("timed out waiting for the server");
  }

  void waitUntil(const std::function<bool()>& done) {
    if (!MainQueue::main().runUntil(done, wait_)) {
      throw Timeout("timed out waiting for the server");
    }
  }

  // Starts an operation and returns what its thunk yields (or throws what it raises).
  template <typename T>
  T await(const std::function<void(ResultCallback<T>)>& start) {
    // Shared, so an answer that arrives after a timeout still has somewhere to go.
    auto outcome = std::make_shared<std::optional<Thunk<T>>>();
    start([outcome](Thunk<T> thunk) { *outcome = std::move(thunk); });
    waitUntil([&outcome] { return outcome->has_value(); });
    return (**outcome)();
  }

  nlohmann::json playerState() {
    const std::optional<Player> player = sdk_.player()->userInformation()->value();
    return {{"player", player ? nlohmann::json(*player) : nlohmann::json(nullptr)},
            {"islogin", sdk_.player()->islogin()->value()}};
  }

  void describeLogIn() {
    if (options_.json) return;
    const std::optional<Player> player = sdk_.player()->userInformation()->value();
    if (!player) {
      io_.out << "logged in\n";
      return;
    }
    io_.out << "logged in as " << player->email().value_or("?") << " (player "
            << player->identifier().value_or("?") << ")\n";
  }

  nlohmann::json logIn(const std::string& email, const std::string& password) {
    auto player = sdk_.player();
    await<void>([&](ResultCallback<void> done) { player->logIn(email, password, done); });
    describeLogIn();
    return playerState();
  }

  nlohmann::json signUp(const std::string& password) {
    auto player = sdk_.player();
    const SignUpEntity form = makeSignUpEntity(options_.signUp, options_.email, password);
    await<void>([&](ResultCallback<void> done) { player->signUp(form, done); });
    if (!options_.json) io_.out << "registered " << options_.email << "\n";
    describeLogIn();
    return playerState();
  }

  nlohmann::json logOut() {
    sdk_.player()->logOut();
    if (!options_.json) io_.out << "logged out\n";
    return {{"islogin", sdk_.player()->islogin()->value()}};
  }

  nlohmann::json whoAmI() {
    auto player = sdk_.player();
    const std::string email = player->getEmail();
    // No public accessor gives the user id; it is one of the four stored values.
    const std::string userId = KeychainWrapper::standard().string("userId").value_or("");
    const bool hasToken = !player->getToken().empty();
    if (!options_.json) {
      if (email.empty() && userId.empty() && !hasToken) {
        io_.out << "no player stored\n";
      } else {
        io_.out << "email:   " << (email.empty() ? "-" : email) << "\n"
                << "user id: " << (userId.empty() ? "-" : userId) << "\n"
                << "token:   " << (hasToken ? "stored" : "none") << "\n";
      }
    }
    return {{"email", email}, {"userId", userId}, {"hasToken", hasToken}};
  }

  void showProgress(int page, int pages) {
    if (pages < 2) return;
    if (io_.errIsTerminal) {
      io_.err << "\rloading page " << page << "/" << pages << std::flush;
    } else {
      io_.err << "loading page " << page << "/" << pages << "\n";
    }
  }

  void endProgress(int pages) {
    if (pages >= 2 && io_.errIsTerminal) io_.err << "\r\033[K" << std::flush;
  }

  // Pages 1..pages in order. Each answer replaces gameList's value, so every page is taken
  // from the delivery that follows its request.
  std::vector<GameEntity> fetchPages(int pages) {
    auto list = sdk_.arcade()->gameList();
    auto watcher = std::make_shared<int>(0);
    struct Seen {
      std::size_t deliveries = 0;
      std::optional<GameListState> latest;
    };
    auto seen = std::make_shared<Seen>();
    list->observe(watcher, [seen](const GameListState& state) {
      ++seen->deliveries;
      seen->latest = state;
    });
    settle();  // the observer's first delivery, of the value held before our requests

    std::vector<GameEntity> games;
    struct Unsubscribe {
      std::shared_ptr<Observable<GameListState>> list;
      std::shared_ptr<int> watcher;
      ~Unsubscribe() { list->remove(watcher); }
    } unsubscribe{list, watcher};
    for (int page = 1; page <= pages; ++page) {
      showProgress(page, pages);
      const std::size_t before = seen->deliveries;
      if (page == 1) {
        sdk_.downloadGameList();
      } else {
        sdk_.downloadMoreGameList();
      }
      try {
        waitUntil([&] { return seen->deliveries > before; });
      } catch (...) {
        endProgress(pages);
        throw;
      }
      const GameListState& state = *seen->latest;
      if (!state.isSuccess()) {
        endProgress(pages);
        throw std::system_error(make_error_code(state.error()), "page " + std::to_string(page));
      }
      if (state.value()) games.insert(games.end(), state.value()->begin(), state.value()->end());
    }
    endProgress(pages);
    return games;
  }

  nlohmann::json games(int pages) {
    const std::vector<GameEntity> list = fetchPages(pages);
    if (!options_.json) writeGameTable(io_.out, list);
    return {{"pages", pages}, {"games", list}};
  }

  nlohmann::json launch(const std::string& gameId, std::int64_t providerId,
                        const std::string& providerSlug) {
    const std::optional<std::string> address =
        await<std::optional<std::string>>([&](ResultCallback<std::optional<std::string>> done) {
          sdk_.arcade()->launchGame(gameId, providerId, providerSlug, done);
        });
    if (!options_.json)
      io_.out << address.value_or("(the server sent no play-for-fun address)") << "\n";
    return {{"playForFun", optionalJson(address)}};
  }

  nlohmann::json balance() {
    auto utils = sdk_.utils();
    await<void>([&](ResultCallback<void> done) { utils->getBalance(done); });
    const std::optional<double> amount = utils->balance()->value();
    if (!options_.json) {
      if (amount) {
        io_.out << "balance: " << std::fixed << std::setprecision(2) << *amount << "\n";
      } else {
        io_.out << "balance: (no amount)\n";
      }
    }
    return {{"balance", amount ? nlohmann::json(*amount) : nlohmann::json(nullptr)}};
  }

  nlohmann::json currencies() {
    auto utils = sdk_.utils();
    await<void>([&](ResultCallback<void> done) { utils->getCurrencyList(done); });
    const std::vector<CurrencyEntity> list =
        utils->currencyList()->value().value_or(std::vector<CurrencyEntity>{});
    if (!options_.json) writeCurrencyTable(io_.out, list);
    return {{"currencies", list}};
  }

  // The whole tour, each step's result under its command's name.
  nlohmann::json demo(const std::string& password) {
    const std::string email =
        options_.email.empty() ? sandbox::demoPlayers().front().email : options_.email;
    if (!options_.json) describeDemoSetting();
    nlohmann::json tour;
    tour["login"] = logIn(email, password);

    const std::vector<GameEntity> list = fetchPages(2);
    if (!options_.json) {
      io_.out << "two pages: " << list.size() << " games, the first ones:\n";
      writeGameTable(io_.out,
                     std::vector<GameEntity>(list.begin(),
                                             list.begin() + std::min<std::size_t>(list.size(), 5)));
    }
    tour["games"] = {{"pages", 2}, {"games", list}};

    if (list.empty()) throw std::runtime_error("the catalogue is empty; nothing to launch");
    const GameEntity& first = list.front();
    if (!options_.json) io_.out << "launching " << first.name().value_or("?") << ": ";
    tour["launch"] = launch(first.gameID().value_or(""), first.providerID().value_or(0),
                            first.providerSlug().value_or(""));
    tour["balance"] = balance();
    const nlohmann::json currencyList = currencies();
    tour["currencies"] = currencyList;
    tour["logout"] = logOut();
    return tour;
  }

  void describeDemoSetting() {
    io_.out << "environment " << environmentName(options_.environment) << ", ";
    if (usesCannedAnswers()) {
      io_.out << "canned answers (no network)\n";
    } else if (sandbox_) {
      io_.out << "sandbox at " << sandbox_->origin() << "\n";
    } else {
      io_.out << "over the network\n";
    }
  }

  const Options& options_;
  Streams io_;
  std::chrono::milliseconds wait_;
  Velmar& sdk_;
  std::unique_ptr<sandbox::Sandbox> sandbox_;
};

}  // namespace

int runCommand(const Options& options, Streams streams, std::chrono::milliseconds wait) {
  return Run(options, streams, wait).execute();
}

int runTool(int argc, const char* const* argv, Streams streams) {
  ParseResult parsed = parseArguments(argc, argv, streams.out, streams.err);
  if (!parsed.options) return parsed.exitStatus;
  return runCommand(*parsed.options, streams);
}

}  // namespace velmar::cli
