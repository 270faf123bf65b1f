// The commands: each one's calls on the SDK, its output for people or --json, its exit status.
#include "commands.hpp"

#include <iomanip>
#include <istream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <system_error>
#include <velmar/velmar.hpp>

#include "api.hpp"
#include "output.hpp"
#include "session.hpp"
#include "terminal.hpp"

namespace velmar::cli {
namespace {

// A problem with what the user gave that only shows once the run has started.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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
      : options_(options),
        io_(streams),
        session_(options, streams.err, wait),
        sdk_(session_.sdk()) {}

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
    } catch (const Timeout& error) {
      return fail(error.what(), kExitInternalError, /*settle=*/false);  // no second wait
    } catch (const std::exception& error) {
      return fail(error.what(), kExitInternalError);
    }
  }

 private:
  int fail(const std::string& why, int status, bool settle = true) {
    const auto advice = session_.adviceOnFailure(needsPlayer());
    // What start-up set off beside the command still finishes, as after a success: the
    // restoring log-in's new token is stored, nothing is cut off.
    if (settle) {
      try {
        session_.settle();
      } catch (const Timeout&) {
      }
    }
    io_.err << "velmar: " << commandName(options_.command) << " failed: "
            << (advice ? *advice + " (" + why + ")" : why) << "\n";
    if (options_.json) {
      const char* name = status == kExitInvalidCredentials ? "invalidCredentials" : "internalError";
      writeJson(io_.out, {{"error", name}});
    }
    return status;
  }

  nlohmann::json perform() {
    std::string password;
    if (needsPassword()) password = takePassword();
    session_.start(startUpWait());
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
    session_.settle();  // whatever the command set off, such as the first page after a log-in
    return result;
  }

  StartUpWait startUpWait() const {
    switch (options_.command) {
      case Command::games:
      case Command::launch:
      case Command::balance:
        // Their requests carry the token (and the player id) the restoring log-in stores.
      case Command::whoami:
        // It shows what that log-in stores: the server's e-mail and user id.
        return StartUpWait::restoredSession;
      case Command::currencies:
        return StartUpWait::nothing;
      case Command::login:
      case Command::signup:
        // Should the restoring log-in answer after this one, it would store the old player's
        // credentials over the new ones.
      case Command::logout:
        // Likewise over the erased ones, and its first page would go out after the log-out.
      case Command::demo:
        break;
    }
    return StartUpWait::everything;
  }

  // Commands whose requests carry the stored player's token.
  bool needsPlayer() const {
    return options_.command == Command::games || options_.command == Command::launch ||
           options_.command == Command::balance;
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
    session_.await<void>([&](ResultCallback<void> done) { player->logIn(email, password, done); });
    describeLogIn();
    return playerState();
  }

  nlohmann::json signUp(const std::string& password) {
    auto player = sdk_.player();
    const SignUpEntity form = makeSignUpEntity(options_.signUp, options_.email, password);
    session_.await<void>([&](ResultCallback<void> done) { player->signUp(form, done); });
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
    // No use case gives the user id; it is one of the four stored values.
    const std::string userId =
        KeychainWrapper::standard().string(std::string(kUserIdKey)).value_or("");
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
    // The restoring log-in has asked for page 1 already; its answer is the next delivery.
    const bool firstUnderWay = session_.firstPageUnderWay();
    if (firstUnderWay) {
      // The observer's first delivery, of the value held: posted now, ahead of that answer.
      session_.waitUntil([&seen] { return seen->deliveries > 0; });
    } else {
      // That delivery, and any page under way (such as one a log-in set off), so that no
      // answer to it passes for one of ours.
      session_.settle();
    }

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
        if (!firstUnderWay) sdk_.downloadGameList();
      } else {
        sdk_.downloadMoreGameList();
      }
      try {
        session_.waitUntil([&] { return seen->deliveries > before; });
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
    const std::optional<std::string> address = session_.await<std::optional<std::string>>(
        [&](ResultCallback<std::optional<std::string>> done) {
          sdk_.arcade()->launchGame(gameId, providerId, providerSlug, done);
        });
    if (!options_.json)
      io_.out << address.value_or("(the server sent no play-for-fun address)") << "\n";
    return {{"playForFun", optionalJson(address)}};
  }

  nlohmann::json balance() {
    auto utils = sdk_.utils();
    session_.await<void>([&](ResultCallback<void> done) { utils->getBalance(done); });
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
    session_.await<void>([&](ResultCallback<void> done) { utils->getCurrencyList(done); });
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
    if (session_.usesCannedAnswers()) {
      io_.out << "canned answers (no network)\n";
    } else if (const sandbox::Sandbox* sandbox = session_.sandbox()) {
      io_.out << "sandbox at " << sandbox->origin() << "\n";
    } else {
      io_.out << "over the network\n";
    }
  }

  const Options& options_;
  Streams io_;
  Session session_;
  Velmar& sdk_;
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
