// What the GLib and asio examples share: the demo tour a host runs against a sandbox, and a
// check that the host's loop runs the SDK's tasks as the main queue requires (one at a time,
// on the main thread, never inside the hand-over, in the order handed over). Only the
// loop-specific hand-over lives in each example.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>
#include <velmar/velmar.hpp>

namespace loop_tour {

/// Where the sandbox is: its "127.0.0.1:PORT" and the CA file it wrote.
struct Sandbox {
  std::string address;
  std::string caFile;
};

/// Reads `--sandbox ADDRESS --cacert FILE`; absent (after a usage line) when either is missing.
inline std::optional<Sandbox> parseArguments(int argc, char** argv) {
  Sandbox sandbox;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view flag = argv[i];
    if (flag == "--sandbox") {
      sandbox.address = argv[i + 1];
    } else if (flag == "--cacert") {
      sandbox.caFile = argv[i + 1];
    }
  }
  if (sandbox.address.empty() || sandbox.caFile.empty()) {
    std::cerr << "usage: " << argv[0] << " --sandbox 127.0.0.1:PORT --cacert CA.pem\n";
    return std::nullopt;
  }
  return sandbox;
}

/// Routes the development environment to the sandbox and keeps the demo player's credentials
/// in memory, away from the desktop's key ring.
inline void useSandbox(const Sandbox& sandbox) {
  // "https://host[:port]/api/v1" -> "host:port", the form a route starts with.
  const std::string base = velmar::baseURL(velmar::ApiEnvironment::DEV);
  std::string authority = base.substr(base.find("://") + 3);
  authority = authority.substr(0, authority.find('/'));
  if (authority.find(':') == std::string::npos) authority += ":443";

  velmar::SessionConfiguration session;
  session.connectTo.push_back(authority + ":" + sandbox.address);
  session.caBundleFile = sandbox.caFile;
  session.timeoutOverride = std::chrono::seconds(10);
  velmar::configureSession(std::move(session));

  unsetenv("VELMAR_KEYSTORE");  // the environment's choice would beat setBackend
  velmar::KeychainWrapper::standard().setBackend(std::make_shared<velmar::MemoryKeyStore>());
}

/// Numbers every task as the executor receives it and checks, as each one runs, that it is
/// the next number, on the main thread, with no other task running and not inside the
/// hand-over itself.
class TaskOrder {
 public:
  /// The calling thread is the main thread: the one that runs the host's loop.
  TaskOrder() : mainThread_(std::this_thread::get_id()) {}

  /// Call from the executor: numbers `task` and passes the wrapped task to `enqueue`, which
  /// queues it on the host's loop. The executor is called from any thread, so numbering and
  /// queueing are one step; otherwise two threads could queue in the other order.
  template <typename Enqueue>
  void handOver(velmar::MainQueue::Task task, Enqueue&& enqueue) {
    std::lock_guard lock(mutex_);
    const std::uint64_t number = ++handedOver_;
    insideHandOver() = true;
    enqueue([this, number, task = std::move(task)] { run(number, task); });
    insideHandOver() = false;
  }

  /// The first fault seen, or "".
  const std::string& fault() const { return fault_; }
  /// Tasks that have run.
  std::uint64_t ran() const { return ran_; }
  /// Tasks handed over but not run yet.
  std::uint64_t outstanding() const {
    std::lock_guard lock(mutex_);
    return handedOver_ - ran_;
  }

 private:
  static bool& insideHandOver() {
    thread_local bool inside = false;
    return inside;
  }

  void run(std::uint64_t number, const velmar::MainQueue::Task& task) {
    // Running it would re-enter handOver under its own lock; the fault is reported instead.
    if (insideHandOver()) {
      return noteFault("task " + std::to_string(number) + " ran inside the executor's call");
    }
    if (std::this_thread::get_id() != mainThread_) {
      noteFault("task " + std::to_string(number) + " ran off the main thread");
    }
    if (running_) noteFault("task " + std::to_string(number) + " ran inside another task");
    if (number != ran_ + 1) {
      noteFault("task " + std::to_string(number) + " ran after task " + std::to_string(ran_));
    }
    {
      std::lock_guard lock(mutex_);
      ran_ = number > ran_ ? number : ran_;
    }
    running_ = true;
    task();
    running_ = false;
  }

  void noteFault(std::string what) {
    if (fault_.empty()) fault_ = std::move(what);
  }

  const std::thread::id mainThread_;
  mutable std::mutex mutex_;
  std::uint64_t handedOver_ = 0;  // guarded by mutex_
  std::uint64_t ran_ = 0;         // written on the main thread only, under mutex_
  bool running_ = false;
  std::string fault_;
};

/// The demo tour: log the demo player in, take the first game page, launch its first game,
/// read the balance and the currencies, log out. Prints a line per step; every step starts
/// from the outcome of the one before, on the main queue.
class Tour {
 public:
  /// `name` starts every line printed.
  explicit Tour(std::string name) : name_(std::move(name)) {}

  /// Starts the tour; call it on the main thread once the executor is installed.
  void start() {
    velmar::Velmar& sdk = velmar::Velmar::instance();
    // Work the facade starts by itself (the currency list of `initialize`) reports here.
    sdk.setLogSink([this](std::string_view line) { fail("the SDK logged: " + std::string(line)); });
    sdk.initialize(velmar::ApiEnvironment::DEV);

    sdk.arcade()->gameList()->observe(screen_, [this](const velmar::GameListState& page) {
      if (!page.isSuccess()) return fail("game list: " + describe(page.error()));
      if (!page.value() || firstPage_) return;  // before the first answer, or a later page
      firstPage_ = *page.value();
      step("first page: " + std::to_string(firstPage_->size()) + " games, first: " +
           (firstPage_->empty() ? "none" : firstPage_->front().name().value_or("?")));
      if (loggedIn_) launch();
    });

    sdk.player()->logIn(kEmail, kPassword, [this](velmar::Thunk<void> outcome) {
      if (!call(outcome, "log-in")) return;
      loggedIn_ = true;
      const auto player = velmar::Velmar::instance().player()->userInformation()->value();
      step("logged in as " + (player ? player->email().value_or("?") : std::string("nobody")));
      if (firstPage_) launch();
    });
  }

  /// True once the tour has ended, either way.
  bool finished() const { return finished_; }
  /// The first failure, or "" when every step passed.
  const std::string& failure() const { return failure_; }
  /// Marks the tour failed with `what` (the first failure is the one kept) and ends it.
  void fail(std::string what) {
    if (failure_.empty()) failure_ = std::move(what);
    end();
  }

 private:
  static constexpr const char* kEmail = "demo@velmar.example";
  static constexpr const char* kPassword = "demo1234";

  void launch() {
    if (finished_) return;
    if (firstPage_->empty()) return fail("the first page holds no game to launch");
    const velmar::GameEntity game = firstPage_->front();
    velmar::Velmar::instance().arcade()->launchGame(
        game.gameID(), game.providerID(), game.providerSlug(),
        [this, game](velmar::Thunk<std::optional<std::string>> outcome) {
          std::optional<std::string> address;
          if (!call([&] { address = outcome(); }, "launch")) return;
          if (!address) {
            return fail("the launch of " + game.gameID().value_or("?") +
                        " sent no play-for-fun address");
          }
          step("launched " + game.gameID().value_or("?") + ": " + *address);
          balance();
        });
  }

  void balance() {
    auto utils = velmar::Velmar::instance().utils();
    utils->getBalance([this, utils](velmar::Thunk<void> outcome) {
      if (!call(outcome, "balance")) return;
      const std::optional<double> amount = utils->balance()->value();
      if (!amount) return fail("the balance answer carried no amount");
      std::ostringstream line;
      line << "balance: " << std::fixed << std::setprecision(2) << *amount;
      step(line.str());
      currencies();
    });
  }

  void currencies() {
    auto utils = velmar::Velmar::instance().utils();
    utils->getCurrencyList([this, utils](velmar::Thunk<void> outcome) {
      if (!call(outcome, "currencies")) return;
      const auto list = utils->currencyList()->value();
      if (!list || list->empty()) return fail("the currency list is empty");
      std::string codes;
      for (const velmar::CurrencyEntity& currency : *list) {
        codes += (codes.empty() ? "" : ", ") + currency.alphabeticCode().value_or("?");
      }
      step("currencies: " + std::to_string(list->size()) + " (" + codes + ")");
      velmar::Velmar::instance().player()->logOut();
      end();
    });
  }

  // Calls an outcome thunk; false (and the tour failed) when it throws.
  template <typename Thunk>
  bool call(const Thunk& outcome, const char* what) {
    if (finished_) return false;
    try {
      outcome();
      return true;
    } catch (const std::system_error& error) {
      fail(std::string(what) + " failed: " + error.what());
      return false;
    }
  }

  static std::string describe(velmar::GameUseCaseError error) {
    return std::error_code(error).message();
  }

  void step(const std::string& line) { std::cout << name_ << ": " << line << std::endl; }
  void end() { finished_ = true; }

  std::string name_;
  std::shared_ptr<int> screen_ = std::make_shared<int>(0);  // owns the game-list observation
  std::optional<std::vector<velmar::GameEntity>> firstPage_;
  bool loggedIn_ = false;
  bool finished_ = false;
  std::string failure_;
};

/// True when the loop may stop: the tour has ended and no SDK work is left, or a fault was
/// seen (there is no point running on). The loops poll it on a short timer rather than after
/// each task: a request counts as in flight until just after its completion is handed over,
/// so the last task may run while `pending()` still counts it, and nothing would run after.
inline bool settled(const Tour& tour, const TaskOrder& order) {
  if (!order.fault().empty()) return true;
  return tour.finished() && order.outstanding() == 0 && velmar::MainQueue::main().pending() == 0;
}

/// Prints the verdict and returns the exit status: 0 only when every step passed and every
/// task ran in order.
inline int verdict(const std::string& name, const Tour& tour, const TaskOrder& order,
                   bool timedOut) {
  std::string failure = order.fault().empty() ? tour.failure() : order.fault();
  if (failure.empty() && timedOut) failure = "timed out";
  if (failure.empty() && !tour.finished()) failure = "the loop stopped before the tour ended";
  if (failure.empty() && order.ran() == 0) failure = "no task went through the executor";
  if (!failure.empty()) {
    std::cout << name << ": FAILED: " << failure << std::endl;
    return 1;
  }
  std::cout << name << ": order: " << order.ran()
            << " tasks ran one at a time on the main thread, in the order handed over" << std::endl;
  return 0;
}

}  // namespace loop_tour
