// A host's own test of its lobby screen, with the SDK's testing kit in place of the network:
// no server, no key ring, every answer scripted, every request visible.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <velmar/testing/scripted_provider.hpp>
#include <velmar/velmar.hpp>

namespace {

using velmar::testing::Answer;
using velmar::testing::Operation;
using velmar::testing::ScriptedProvider;

// The host's screen: what it shows is all the test looks at.
struct LobbyScreen {
  bool loading = false;
  std::size_t games = 0;
  std::string error;
};

// Wires the screen to the SDK as the host's real code would.
void attach(const std::shared_ptr<LobbyScreen>& screen) {
  velmar::Velmar::instance().arcade()->gameList()->observe(
      screen, [raw = screen.get()](const velmar::GameListState& page) {
        raw->loading = false;
        if (page.isSuccess() && page.value()) raw->games = page.value()->size();
        if (!page.isSuccess()) raw->error = "could not load the games";
      });
}

bool runUntil(const std::function<bool()>& done) {
  return velmar::MainQueue::main().runUntil(done, std::chrono::seconds(5));
}

const char* kLogIn = R"({"result": {"token": "t-1", "player": {"id": "7", "email": "ana@example.com"}}})";
const char* kTwoGames = R"({"result": [{"id": 1, "name": "Roulette"}, {"id": 2, "name": "Poker"}]})";

class LobbyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    velmar::KeychainWrapper::standard().setBackend(std::make_shared<velmar::MemoryKeyStore>());
    network_ = std::make_shared<ScriptedProvider>();
    velmar::Velmar::instance().useNetworkProvider(network_);
    screen_ = std::make_shared<LobbyScreen>();
    attach(screen_);
    velmar::MainQueue::main().drain();  // the screen's first delivery: the empty list
  }

  std::shared_ptr<ScriptedProvider> network_;
  std::shared_ptr<LobbyScreen> screen_;
};

TEST_F(LobbyTest, ShowsTheFirstPageAfterLogIn) {
  network_->answer(Operation::logIn, Answer::http(200, kLogIn));
  network_->answer(Operation::gameList, Answer::http(200, kTwoGames));
  bool loggedIn = false;
  velmar::Velmar::instance().player()->logIn("ana@example.com", "secret",
                                             [&](velmar::Thunk<void> done) {
                                               done();
                                               loggedIn = true;
                                             });
  ASSERT_TRUE(runUntil([&] { return screen_->games == 2; }));
  EXPECT_TRUE(loggedIn);
  ASSERT_EQ(network_->requests(Operation::logIn).size(), 1u);
  EXPECT_EQ(network_->requests(Operation::logIn)[0].json()["email"], "ana@example.com");
}

TEST_F(LobbyTest, KeepsLoadingWhileThePageIsInFlightAndShowsAFailure) {
  network_->setDelivery(ScriptedProvider::Delivery::held);
  network_->answer(Operation::gameList, Answer::http(500, "{}"));
  screen_->loading = true;
  velmar::Velmar::instance().downloadGameList();
  velmar::MainQueue::main().drain();
  EXPECT_EQ(network_->held(), 1u);
  EXPECT_TRUE(screen_->loading);

  network_->releaseAll();
  ASSERT_TRUE(runUntil([&] { return !screen_->loading; }));
  EXPECT_EQ(screen_->error, "could not load the games");
}

}  // namespace
