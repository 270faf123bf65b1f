// A Qt 6 Widgets lobby on VelmarSDK. The SDK's main queue runs on the GUI thread: every task
// is handed to Qt's event loop as a queued invocation.
//
//   qt_lobby [--env dev|stg|prod] [--connect-to HOST:PORT:TO_HOST:TO_PORT]... [--cacert FILE]
//   qt_lobby --canned                     (the answers shipped with the library, no server)
//   qt_lobby ... --self-test --email E --password P --screenshot FILE
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <velmar/velmar.hpp>

#include "lobby_window.hpp"

namespace {

// Where the SDK's tasks go. The SDK's I/O thread may hand one over while the application is
// shutting down, so the target is cleared (under the lock) before QApplication is destroyed.
struct GuiTarget {
  std::mutex mutex;
  QObject* object = nullptr;  // not owned
};

std::shared_ptr<GuiTarget> runSdkOnGuiThread(QApplication& app) {
  auto target = std::make_shared<GuiTarget>();
  target->object = &app;
  velmar::MainQueue::main().setExecutor([target](velmar::MainQueue::Task task) {
    std::lock_guard lock(target->mutex);
    // Queued even on the GUI thread itself: the task runs later, never inside post.
    if (target->object != nullptr) {
      QMetaObject::invokeMethod(target->object, std::move(task), Qt::QueuedConnection);
    }
  });
  return target;
}

// Logs in through the form, waits for the first page, launches the first game, saves a
// picture of the window, scrolls to the end and waits for the second page. Each wait is a
// check on a timer; one overall timeout fails the run.
class SelfTest {
 public:
  SelfTest(LobbyWindow& window, QString email, QString password, QString screenshot)
      : window_(window), screenshot_(std::move(screenshot)) {
    window_.emailField().setText(email);
    window_.passwordField().setText(password);
    QObject::connect(&poll_, &QTimer::timeout, [this] { check(); });
    deadline_.setSingleShot(true);
    QObject::connect(&deadline_, &QTimer::timeout,
                     [this] { fail("timed out waiting for " + waitingFor_); });
  }

  void start() {
    waitingFor_ = "the log-in, the first game page, the balance and the currencies";
    window_.logInButton().click();
    poll_.start(20);
    deadline_.start(30000);
  }

 private:
  void check() {
    if (window_.statusText().startsWith("Log-in failed")) return fail(window_.statusText());
    const int listed = window_.gameList().count();
    switch (step_) {
      case 0: {
        if (!window_.loggedIn() || listed == 0 || !window_.balanceText().contains(QChar('.')) ||
            window_.currenciesText() == "Currencies: -") {
          return;
        }
        const auto player = velmar::Velmar::instance().player()->userInformation()->value();
        std::cout << "Logged in as " << (player ? player->email().value_or("?") : "nobody") << "\n"
                  << window_.balanceText().toStdString() << "\n"
                  << window_.currenciesText().toStdString() << "\n"
                  << "first page: " << listed << " games, first "
                  << window_.gameList().item(0)->text().toStdString() << std::endl;
        if (listed != 50) return fail(QString("expected 50 games, got %1").arg(listed));
        window_.gameList().setCurrentRow(0);
        if (!window_.launchButton().isEnabled())
          return fail("launch is disabled with a game selected");
        waitingFor_ = "the play-for-fun address";
        window_.launchButton().click();
        step_ = 1;
        return;
      }
      case 1: {
        if (!window_.launchAddress()) return;
        const std::string& address = *window_.launchAddress();
        std::cout << "play for fun: " << address << std::endl;
        if (!address.starts_with("https://")) return fail("the address is not an https URL");
        if (!window_.grab().save(screenshot_, "PNG", 0))
          return fail("could not save " + screenshot_);
        std::cout << "screenshot: " << screenshot_.toStdString() << std::endl;
        waitingFor_ = "the second game page";
        window_.gameList().scrollToBottom();
        step_ = 2;
        return;
      }
      default:
        if (listed == 50) return;
        std::cout << "after scrolling to the end: " << listed << " games" << std::endl;
        if (listed != 100) return fail(QString("expected 100 games, got %1").arg(listed));
        std::cout << "self-test passed" << std::endl;
        finish(0);
    }
  }

  void fail(const QString& why) {
    std::cout << "self-test failed: " << why.toStdString() << std::endl;
    finish(1);
  }

  void finish(int code) {
    poll_.stop();
    deadline_.stop();
    QCoreApplication::exit(code);
  }

  LobbyWindow& window_;
  QString screenshot_;
  QString waitingFor_;
  int step_ = 0;
  QTimer poll_;
  QTimer deadline_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.setApplicationDescription("A game lobby on VelmarSDK");
  parser.addHelpOption();
  const QCommandLineOption env("env", "Server environment: dev (default), stg or prod.", "name",
                               "dev");
  const QCommandLineOption connectTo("connect-to", "Route HOST:PORT:TO_HOST:TO_PORT (repeatable).",
                                     "route");
  const QCommandLineOption caFile("cacert", "PEM file of the authorities to trust.", "file");
  const QCommandLineOption canned("canned", "Use the answers shipped with the library.");
  const QCommandLineOption selfTest("self-test", "Log in, page, launch, save a picture, exit.");
  const QCommandLineOption email("email", "Self-test: e-mail to log in with.", "address");
  const QCommandLineOption password("password", "Self-test: password.", "password");
  const QCommandLineOption screenshot("screenshot", "Self-test: PNG file to write.", "file",
                                      "qt_lobby.png");
  parser.addOptions({env, connectTo, caFile, canned, selfTest, email, password, screenshot});
  parser.process(app);

  const QString envName = parser.value(env);
  if (envName != "dev" && envName != "stg" && envName != "prod") {
    std::cerr << "qt_lobby: --env takes dev, stg or prod\n";
    return 2;
  }

  std::shared_ptr<GuiTarget> target = runSdkOnGuiThread(app);
  velmar::SessionConfiguration session;
  for (const QString& route : parser.values(connectTo))
    session.connectTo.push_back(route.toStdString());
  if (parser.isSet(caFile)) session.caBundleFile = parser.value(caFile).toStdString();
  velmar::configureSession(std::move(session));

  auto& sdk = velmar::Velmar::instance();
  // An example keeps nothing between runs and stays out of the desktop's key ring.
  velmar::KeychainWrapper::standard().setBackend(std::make_shared<velmar::MemoryKeyStore>());
  if (parser.isSet(canned)) sdk.useCannedAnswers();
  sdk.setLogSink([](std::string_view line) {
    while (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    std::cerr << "velmar: " << line << "\n";
  });
  sdk.initialize(envName == "prod"  ? velmar::ApiEnvironment::PROD
                 : envName == "stg" ? velmar::ApiEnvironment::STG
                                    : velmar::ApiEnvironment::DEV);

  int code = 0;
  {
    LobbyWindow window;
    window.show();
    std::unique_ptr<SelfTest> test;
    if (parser.isSet(selfTest)) {
      test = std::make_unique<SelfTest>(window, parser.value(email), parser.value(password),
                                        parser.value(screenshot));
      test->start();
    }
    code = QApplication::exec();
  }
  std::lock_guard lock(target->mutex);
  target->object = nullptr;
  return code;
}
