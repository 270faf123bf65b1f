#include "velmar/observable.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <typeinfo>
#include <utility>
#include <vector>

#include "support/queue.hpp"

namespace velmar {
namespace {

using ::testing::ElementsAre;

// Never the same as another screen; its second polymorphic base sits at another address.
struct Screen : std::bad_cast, std::bad_alloc {};

class ObservableTest : public ::testing::Test {
 protected:
  void TearDown() override { MainQueue::main().drain(); }
  Observable<int>::ObserverBlock record(std::string label) {  // records "<label>:<value>"
    return [this, label](const int& v) { calls.push_back(label + ":" + std::to_string(v)); };
  }
  // What the main queue delivered since the last time.
  std::vector<std::string> drained() { return MainQueue::main().drain(), std::exchange(calls, {}); }
  std::vector<std::string> calls;
  std::shared_ptr<Observable<int>> observable = Observable<int>::make(5);
};

TEST_F(ObservableTest, DeliveriesComeAfterQueuedWorkInEntryOrderWithTheValueCurrentThen) {
  auto a = std::make_shared<Screen>(), b = std::make_shared<Screen>();
  MainQueue::main().post([this] { calls.push_back("earlier work"); });
  observable->observe(a, record("A"));
  observable->setValue(6);  // before the initial delivery ran: never inline
  EXPECT_THAT(drained(), ElementsAre("earlier work", "A:6", "A:6"));
  observable->observe(b, record("B"));
  EXPECT_THAT(drained(), ElementsAre("B:6")) << "the initial delivery goes to the new entry only";
  observable->setValue(6);  // the same value notifies too
  observable->modify([](int& v) { v = 7; });
  EXPECT_THAT(drained(), ElementsAre("A:7", "B:7", "A:7", "B:7"));
  EXPECT_THROW(observable->modify([](int& v) { v = 8, throw std::bad_alloc(); }), std::bad_alloc);
  EXPECT_TRUE(observable->value() == 7 && drained().empty()) << "an abandoned change is no change";
}

TEST_F(ObservableTest, WritesFromAnotherThreadAllDeliverInOrderOnTheMainQueue) {
  std::vector<int> seen;
  observable->observe(nullptr, [&](const int& v) { seen.push_back(v); });
  std::jthread writer([&] {
    for (int i = 6; i <= 2005; ++i) observable->setValue(i);
  });
  ASSERT_TRUE(testing::runMainUntil([&] { return seen.size() == 2001; }));
  EXPECT_TRUE(seen.back() == 2005 && std::ranges::is_sorted(seen)) << "none lost, none twice";
}

// Entries A, B, A2 (A again), G (destroyed since) and N (no owner); registered through one
// base, removed through the other.
TEST_F(ObservableTest, RemoveDropsEveryEntryOfThatVeryObjectAndNothingElse) {
  const auto a = std::make_shared<Screen>(), b = std::make_shared<Screen>();
  using Row = std::pair<std::vector<std::shared_ptr<std::bad_alloc>>, std::vector<std::string>>;
  for (const auto& [removed, called] :
       {Row{{a}, {"B:1", "G:1", "N:1"}}, Row{{b}, {"A:1", "A2:1", "G:1", "N:1"}},
        Row{{std::make_shared<Screen>(), nullptr}, {"A:1", "B:1", "A2:1", "G:1", "N:1"}}}) {
    auto destroyed = std::make_shared<Screen>();
    observable = Observable<int>::make(0);
    using Entry = std::pair<std::shared_ptr<std::bad_cast>, const char*>;
    for (const auto& [owner, label] : {Entry{a, "A"}, {b, "B"}, {a, "A2"}, {destroyed, "G"}})
      observable->observe(owner, record(label));
    observable->observe(nullptr, record("N"));
    destroyed.reset();
    drained();
    for (const auto& observer : removed) observable->remove(observer);
    observable->setValue(1);
    EXPECT_EQ(drained(), called);
  }
}

// A callback may write, observe and remove on its own observable, and a removed one's captures
// may read it; deliveries already posted run, keeping the observable alive until they have.
TEST_F(ObservableTest, CallbacksMayUseTheirOwnObservableWhichLivesUntilTheirDeliveriesRan) {
  auto screen = std::make_shared<Screen>(), late = std::make_shared<Screen>();
  observable->observe(screen, [&](const int& v) {
    calls.push_back("A:" + std::to_string(v));
    if (v < 7) observable->setValue(v + 1);
    if (v == 7) observable->observe(late, record("late")), observable->remove(screen);
  });
  EXPECT_THAT(drained(), ElementsAre("A:5", "A:6", "A:7", "late:7"));
  int lastRead = -1;
  std::shared_ptr<int> reader(&lastRead, [&](int*) { lastRead = observable->value(); });
  observable->observe(screen, [reader](const int&) {});
  reader.reset();
  drained();  // the initial delivery's copy of the callback is gone too
  observable->remove(screen);
  EXPECT_EQ(lastRead, 7);
  observable->setValue(4);
  observable->remove(late);  // after its delivery of 4 was posted
  const std::weak_ptr<Observable<int>> watch = observable;
  observable.reset();
  EXPECT_FALSE(watch.expired());
  EXPECT_TRUE(drained() == std::vector<std::string>{"late:4"} && watch.expired());
}

}  // namespace
}  // namespace velmar
