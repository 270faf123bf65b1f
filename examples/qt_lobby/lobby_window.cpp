#include "lobby_window.hpp"

#include <QScrollBar>
#include <QStringList>
#include <system_error>
#include <utility>

namespace {

QString text(const std::optional<std::string>& value, const char* fallback = "?") {
  return QString::fromStdString(value.value_or(fallback));
}

}  // namespace

LobbyWindow::LobbyWindow() {
  setWindowTitle("Velmar lobby");
  resize(520, 560);

  email_.setPlaceholderText("e-mail");
  password_.setPlaceholderText("password");
  password_.setEchoMode(QLineEdit::Password);
  form_.addWidget(&email_);
  form_.addWidget(&password_);
  form_.addWidget(&logIn_);
  wallet_.addWidget(&balance_);
  wallet_.addWidget(&currencies_, 1);
  currencies_.setWordWrap(true);
  launch_.setEnabled(false);
  address_.setTextInteractionFlags(Qt::TextSelectableByMouse);
  address_.setWordWrap(true);
  launchRow_.addWidget(&launch_);
  launchRow_.addWidget(&address_, 1);

  column_.addLayout(&form_);
  column_.addWidget(&status_);
  column_.addLayout(&wallet_);
  column_.addWidget(&games_, 1);
  column_.addLayout(&launchRow_);
  setLayout(&column_);

  connect(&logIn_, &QPushButton::clicked, this, [this] { logIn(); });
  connect(&password_, &QLineEdit::returnPressed, this, [this] { logIn(); });
  connect(&launch_, &QPushButton::clicked, this, [this] { launchSelected(); });
  connect(&games_, &QListWidget::currentRowChanged, this,
          [this](int row) { launch_.setEnabled(loggedIn_ && row >= 0); });
  connect(games_.verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this](int value) { loadMoreAtEnd(value); });

  // Deliveries already queued when the window goes still run; the weak token turns them away.
  auto& sdk = velmar::Velmar::instance();
  std::weak_ptr<int> alive = observerToken_;
  sdk.arcade()->gameList()->observe(observerToken_,
                                    [this, alive](const velmar::GameListState& state) {
                                      if (!alive.expired()) showPage(state);
                                    });
  sdk.utils()->currencyList()->observe(
      observerToken_,
      [this, alive](const std::optional<std::vector<velmar::CurrencyEntity>>& list) {
        if (!alive.expired()) showCurrencies(list);
      });
  sdk.utils()->balance()->observe(observerToken_, [this, alive](const std::optional<double>& v) {
    if (alive.expired()) return;
    amount_ = v;
    showBalance();
  });
}

LobbyWindow::~LobbyWindow() {
  auto& sdk = velmar::Velmar::instance();
  sdk.arcade()->gameList()->remove(observerToken_);
  sdk.utils()->currencyList()->remove(observerToken_);
  sdk.utils()->balance()->remove(observerToken_);
}

void LobbyWindow::logIn() {
  logIn_.setEnabled(false);
  status_.setText("Logging in...");
  std::weak_ptr<int> alive = observerToken_;
  velmar::Velmar::instance().player()->logIn(email_.text().toStdString(),
                                             password_.text().toStdString(),
                                             [this, alive](velmar::Thunk<void> outcome) {
                                               if (!alive.expired()) finishLogIn(outcome);
                                             });
}

// A successful log-in fetches the first game page by itself; the balance is ours to ask for.
void LobbyWindow::finishLogIn(const velmar::Thunk<void>& outcome) {
  logIn_.setEnabled(true);
  try {
    outcome();
  } catch (const std::system_error& error) {
    status_.setText(QString("Log-in failed: ") + error.what());
    return;
  }
  loggedIn_ = true;
  const auto player = velmar::Velmar::instance().player()->userInformation()->value();
  status_.setText("Logged in as " + text(player ? player->email() : std::nullopt));
  std::weak_ptr<int> alive = observerToken_;
  velmar::Velmar::instance().utils()->getBalance([this, alive](velmar::Thunk<void> balance) {
    if (alive.expired()) return;
    try {
      balance();
    } catch (const std::system_error& error) {
      balance_.setText(QString("Balance: ") + error.what());
    }
  });
}

void LobbyWindow::launchSelected() {
  const int row = games_.currentRow();
  if (row < 0 || static_cast<std::size_t>(row) >= shownGames_.size()) return;
  const velmar::GameEntity& game = shownGames_[static_cast<std::size_t>(row)];
  address_.setText("Launching " + text(game.name()) + "...");
  std::weak_ptr<int> alive = observerToken_;
  velmar::Velmar::instance().arcade()->launchGame(
      game.gameID(), game.providerID(), game.providerSlug(),
      [this, alive](velmar::Thunk<std::optional<std::string>> outcome) {
        if (alive.expired()) return;
        try {
          launchAddress_ = outcome();
          address_.setText(launchAddress_
                               ? "Play for fun: " + QString::fromStdString(*launchAddress_)
                               : QString("The platform sent no play-for-fun address"));
        } catch (const std::system_error& error) {
          address_.setText(QString("Launch failed: ") + error.what());
        }
      });
}

// One page at a time: a scroll that reaches the end again while a page is on its way asks
// for nothing more.
void LobbyWindow::loadMoreAtEnd(int scrollValue) {
  if (loadingMore_ || reachedEnd_ || shownGames_.empty()) return;
  if (scrollValue < games_.verticalScrollBar()->maximum()) return;
  loadingMore_ = true;
  status_.setText("Loading more games...");
  velmar::Velmar::instance().downloadMoreGameList();
}

// Each answer replaces the observable's value with one page, so the list keeps the pages it
// has shown and adds a further page only when it asked for one.
void LobbyWindow::showPage(const velmar::GameListState& state) {
  if (!state.isSuccess()) {
    loadingMore_ = false;
    status_.setText("The game list could not be loaded");
    return;
  }
  if (!state.value() || *state.value() == lastPage_) return;  // nothing yet, or seen already
  const std::vector<velmar::GameEntity>& page = *state.value();
  lastPage_ = page;
  if (!loadingMore_) {
    shownGames_.clear();
    games_.clear();
  }
  loadingMore_ = false;
  reachedEnd_ = page.empty();
  for (const velmar::GameEntity& game : page) {
    shownGames_.push_back(game);
    games_.addItem(text(game.name()) + "  \u2014  " + text(game.providerName()));
  }
  status_.setText(QString("%1 games listed").arg(shownGames_.size()));
}

void LobbyWindow::showCurrencies(const std::optional<std::vector<velmar::CurrencyEntity>>& list) {
  if (!list) return;
  currencyList_ = *list;
  QStringList codes;
  for (const velmar::CurrencyEntity& currency : currencyList_)
    codes << text(currency.alphabeticCode());
  currencies_.setText("Currencies: " + codes.join(", "));
  showBalance();  // the player's currency may have just become known
}

// The player record names its currency by numeric code; the currency list gives its letters.
void LobbyWindow::showBalance() {
  if (!amount_) return;
  QString code;
  const auto player = velmar::Velmar::instance().player()->userInformation()->value();
  for (const velmar::CurrencyEntity& currency : currencyList_) {
    if (player && currency.numericCode() && currency.numericCode() == player->currencyID()) {
      code = text(currency.alphabeticCode());
    }
  }
  balance_.setText(QString("Balance: %1 %2").arg(*amount_, 0, 'f', 2).arg(code).trimmed());
}
