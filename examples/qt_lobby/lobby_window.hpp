#pragma once

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <velmar/velmar.hpp>

// The lobby: a log-in form, the player's balance and the platform's currencies, the game list
// (one page more each time it is scrolled to its end) and a launch button. Every SDK outcome
// reaches it on the GUI thread, through the main queue's executor.
class LobbyWindow : public QWidget {
 public:
  LobbyWindow();
  ~LobbyWindow() override;

  // What the self-test drives and reads; a person uses the same widgets.
  QLineEdit& emailField() { return email_; }
  QLineEdit& passwordField() { return password_; }
  QPushButton& logInButton() { return logIn_; }
  QPushButton& launchButton() { return launch_; }
  QListWidget& gameList() { return games_; }
  QString balanceText() const { return balance_.text(); }
  QString currenciesText() const { return currencies_.text(); }
  QString statusText() const { return status_.text(); }
  const std::optional<std::string>& launchAddress() const { return launchAddress_; }
  bool loggedIn() const { return loggedIn_; }

 private:
  void logIn();
  void finishLogIn(const velmar::Thunk<void>& outcome);
  void launchSelected();
  void loadMoreAtEnd(int scrollValue);
  void showPage(const velmar::GameListState& state);
  void showCurrencies(const std::optional<std::vector<velmar::CurrencyEntity>>& list);
  void showBalance();

  // Observers are registered for this token and removed with it, so no delivery reaches a
  // window that is gone.
  std::shared_ptr<int> observerToken_ = std::make_shared<int>(0);
  std::vector<velmar::GameEntity> shownGames_;
  std::vector<velmar::GameEntity> lastPage_;
  std::vector<velmar::CurrencyEntity> currencyList_;
  std::optional<double> amount_;
  std::optional<std::string> launchAddress_;
  bool loggedIn_ = false;
  bool loadingMore_ = false;
  bool reachedEnd_ = false;

  // Layouts before widgets: members are destroyed in reverse, so each widget leaves its
  // layout before the layout goes.
  QVBoxLayout column_;
  QHBoxLayout form_;
  QHBoxLayout wallet_;
  QHBoxLayout launchRow_;
  QLineEdit email_;
  QLineEdit password_;
  QPushButton logIn_{"Log in"};
  QLabel status_;
  QLabel balance_{"Balance: -"};
  QLabel currencies_{"Currencies: -"};
  QListWidget games_;
  QPushButton launch_{"Launch"};
  QLabel address_;
};
