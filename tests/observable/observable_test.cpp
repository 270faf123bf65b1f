#include "velmar/observable.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/queue.hpp"

namespace velmar {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Something that registers; observers are compared by identity, so any object will do.
struct Screen {
  int id = 0;
};

class ObservableTest : public ::testing::Test {
 protected:
  void SetUp() override { MainQueue::main().drain(); }
  void TearDown() override { MainQueue::main().drain(); }

  // A callback that records "<label>:<value>".
  Observable<int>::ObserverBlock record(std::string label) {
    return [this, label](const int& v) { calls.push_back(label + ":" + std::to_string(v)); };
  }

  std::vector<std::string> calls;
};

TEST_F(ObservableTest, NewObservableHoldsItsValueAndNotifiesNobody) {
  auto observable = Observable<int>::make(3);
  EXPECT_EQ(observable->value(), 3);
  EXPECT_EQ(MainQueue::main().drain(), 0u);
}

TEST_F(ObservableTest, ObserveDeliversOnceAfterQueuedWorkAndNeverBeforeReturning) {
  auto observable = Observable<int>::make(5);
  auto screen = std::make_shared<Screen>();
  MainQueue::main().post([this] { calls.push_back("earlier work"); });

  observable->observe(screen, record("A"));
  EXPECT_THAT(calls, IsEmpty());

  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("earlier work", "A:5"));
}

TEST_F(ObservableTest, InitialDeliveryGoesToTheNewCallbackOnly) {
  auto observable = Observable<int>::make(1);
  auto a = std::make_shared<Screen>();
  auto b = std::make_shared<Screen>();
  observable->observe(a, record("A"));
  MainQueue::main().drain();
  calls.clear();

  observable->observe(b, record("B"));
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("B:1"));
}

TEST_F(ObservableTest, DeliveryReadsTheValueCurrentWhenItRuns) {
  auto observable = Observable<int>::make(5);
  auto screen = std::make_shared<Screen>();
  observable->observe(screen, record("A"));
  observable->setValue(9);  // before the initial delivery has run
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("A:9", "A:9"));
}

TEST_F(ObservableTest, WritesDeliverInEntryOrderWithinAWriteAndWriteOrderAcross) {
  auto observable = Observable<int>::make(0);
  auto a = std::make_shared<Screen>();
  auto b = std::make_shared<Screen>();
  observable->observe(a, record("A"));
  observable->observe(b, record("B"));
  MainQueue::main().drain();
  calls.clear();

  observable->setValue(7);
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("A:7", "B:7"));
  calls.clear();

  // Writing the value already held notifies all the same.
  observable->setValue(7);
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("A:7", "B:7"));
  calls.clear();

  // Two writes before the queue runs: every entry gets the second value twice, write by write.
  observable->setValue(1);
  observable->setValue(2);
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("A:2", "B:2", "A:2", "B:2"));
}

TEST_F(ObservableTest, WritesFromABackgroundThreadStillDeliverOnTheMainQueue) {
  auto observable = Observable<int>::make(0);
  auto screen = std::make_shared<Screen>();
  const auto mainThread = std::this_thread::get_id();
  bool offMainThread = false;
  observable->observe(screen, [&](const int& v) {
    offMainThread |= std::this_thread::get_id() != mainThread;
    calls.push_back(std::to_string(v));
  });
  MainQueue::main().drain();
  calls.clear();

  std::thread writer([&] {
    observable->setValue(1);
    observable->setValue(2);
  });
  writer.join();
  EXPECT_THAT(calls, IsEmpty());
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("2", "2"));
  EXPECT_FALSE(offMainThread);
}

TEST_F(ObservableTest, WritesRacingWithDeliveriesEndWithTheLastValue) {
  constexpr int kWrites = 2000;
  auto observable = Observable<int>::make(0);
  auto screen = std::make_shared<Screen>();
  std::vector<int> seen;
  observable->observe(screen, [&](const int& v) { seen.push_back(v); });
  std::atomic<bool> written{false};

  std::thread writer([&] {
    for (int i = 1; i <= kWrites; ++i) observable->setValue(i);
    written = true;
  });
  ASSERT_TRUE(testing::runMainUntil(
      [&] { return written && MainQueue::main().pending() == 0 && !seen.empty(); }));
  writer.join();
  MainQueue::main().drain();

  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kWrites + 1));
  EXPECT_EQ(seen.back(), kWrites);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST_F(ObservableTest, SameObjectTwiceIsCalledTwiceAndOneRemoveDropsBoth) {
  auto observable = Observable<int>::make(0);
  auto screen = std::make_shared<Screen>();
  auto other = std::make_shared<Screen>();
  observable->observe(screen, record("first"));
  observable->observe(other, record("other"));
  observable->observe(screen, record("second"));
  MainQueue::main().drain();
  calls.clear();

  observable->setValue(3);
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("first:3", "other:3", "second:3"));
  calls.clear();

  observable->remove(screen);
  observable->setValue(4);
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("other:4"));
}

TEST_F(ObservableTest, RemoveMatchesIdentityAndKeepsTheOthersInOrder) {
  auto observable = Observable<int>::make(0);
  // Equal values, distinct objects.
  auto a = std::make_shared<Screen>(Screen{1});
  auto b = std::make_shared<Screen>(Screen{1});
  auto c = std::make_shared<Screen>(Screen{1});
  auto stranger = std::make_shared<Screen>(Screen{1});
  observable->observe(a, record("A"));
  observable->observe(b, record("B"));
  observable->observe(c, record("C"));
  MainQueue::main().drain();
  calls.clear();

  observable->remove(stranger);
  observable->remove(std::shared_ptr<Screen>());
  observable->remove(b);
  observable->setValue(1);
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("A:1", "C:1"));
}

struct Named {
  virtual ~Named() = default;
  int name = 0;
};
struct Sized {
  virtual ~Sized() = default;
  int size = 0;
};
struct Widget : Named, Sized {};

TEST_F(ObservableTest, RemoveFindsAnObjectThroughAnotherOfItsBases) {
  auto observable = Observable<int>::make(0);
  auto widget = std::make_shared<Widget>();
  std::shared_ptr<Sized> asSized = widget;
  ASSERT_NE(static_cast<const void*>(asSized.get()), static_cast<const void*>(widget.get()));
  observable->observe(std::shared_ptr<Named>(widget), record("W"));
  MainQueue::main().drain();
  calls.clear();

  observable->remove(asSized);
  observable->setValue(1);
  MainQueue::main().drain();
  EXPECT_THAT(calls, IsEmpty());
}

TEST_F(ObservableTest, EntriesOfADestroyedObjectStayCalledAndCannotBeRemoved) {
  auto observable = Observable<int>::make(0);
  auto gone = std::make_shared<Screen>();
  auto alive = std::make_shared<Screen>();
  observable->observe(gone, record("gone"));
  observable->observe(alive, record("alive"));
  MainQueue::main().drain();
  calls.clear();

  gone.reset();
  observable->setValue(1);
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("gone:1", "alive:1"));
  calls.clear();

  auto newcomer = std::make_shared<Screen>();
  observable->remove(newcomer);
  observable->remove(gone);  // null now
  observable->setValue(2);
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("gone:2", "alive:2"));
}

TEST_F(ObservableTest, EntryWithoutOwnerIsCalledAndNeverRemoved) {
  auto observable = Observable<int>::make(4);
  auto screen = std::make_shared<Screen>();
  observable->observe(nullptr, record("anon"));
  observable->remove(screen);
  observable->remove(std::shared_ptr<Screen>());
  observable->setValue(5);
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("anon:5", "anon:5"));
}

TEST_F(ObservableTest, RemovedEntryStillGetsDeliveriesPostedBeforeRemoval) {
  auto observable = Observable<int>::make(0);
  auto screen = std::make_shared<Screen>();
  observable->observe(screen, record("A"));
  observable->setValue(4);
  observable->remove(screen);  // the initial delivery and the write's are already queued
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("A:4", "A:4"));
  calls.clear();

  observable->setValue(5);
  EXPECT_EQ(MainQueue::main().drain(), 0u);
  EXPECT_THAT(calls, IsEmpty());
}

TEST_F(ObservableTest, PendingDeliveriesKeepTheObservableAliveUntilTheyRun) {
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> capturedWatch = captured;
  std::weak_ptr<Observable<int>> watch;
  {
    auto observable = Observable<int>::make(0);
    watch = observable;
    auto screen = std::make_shared<Screen>();
    observable->observe(
        screen, [this, captured](const int& v) { calls.push_back(std::to_string(v + *captured)); });
    observable->setValue(8);
  }
  captured.reset();
  EXPECT_FALSE(watch.expired());
  EXPECT_FALSE(capturedWatch.expired());

  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("8", "8"));
  // Once the last delivery ran, the observable is gone, and with it the callback's captures.
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(capturedWatch.expired());
}

TEST_F(ObservableTest, ModifyNotifiesOnceAfterTheChange) {
  auto observable = Observable<std::vector<int>>::make({1});
  auto screen = std::make_shared<Screen>();
  std::vector<std::vector<int>> seen;
  observable->observe(screen, [&](const std::vector<int>& v) { seen.push_back(v); });
  MainQueue::main().drain();
  seen.clear();

  observable->modify([](std::vector<int>& v) {
    v.push_back(2);
    v.push_back(3);
  });
  EXPECT_THAT(observable->value(), ElementsAre(1, 2, 3));
  MainQueue::main().drain();
  EXPECT_THAT(seen, ElementsAre(ElementsAre(1, 2, 3)));
}

TEST_F(ObservableTest, ModifyThatThrowsRethrowsLeavesTheValueAndNotifiesNobody) {
  auto observable = Observable<std::vector<int>>::make({1});
  auto screen = std::make_shared<Screen>();
  int deliveries = 0;
  observable->observe(screen, [&](const std::vector<int>&) { ++deliveries; });
  MainQueue::main().drain();

  EXPECT_THROW(observable->modify([](std::vector<int>& v) {
    v.push_back(2);
    throw std::runtime_error("abandoned");
  }),
               std::runtime_error);
  EXPECT_EQ(MainQueue::main().drain(), 0u);
  EXPECT_EQ(deliveries, 1);
  EXPECT_THAT(observable->value(), ElementsAre(1));
}

TEST_F(ObservableTest, CallbacksMayWriteObserveAndRemoveOnTheSameObservable) {
  auto observable = Observable<int>::make(0);
  auto screen = std::make_shared<Screen>();
  auto late = std::make_shared<Screen>();
  observable->observe(screen, [&](const int& v) {
    calls.push_back("A:" + std::to_string(v));
    if (v < 2) observable->setValue(v + 1);
    if (v == 2) {
      observable->observe(late, record("late"));
      observable->remove(screen);
    }
  });
  MainQueue::main().drain();
  EXPECT_THAT(calls, ElementsAre("A:0", "A:1", "A:2", "late:2"));
}

// A capture whose destructor reads the observable: releasing a removed callback must not
// happen while the observable is busy with its own bookkeeping.
struct ReadsOnDestruction {
  std::weak_ptr<Observable<int>> observable;
  int* lastRead;
  ~ReadsOnDestruction() {
    if (auto o = observable.lock()) *lastRead = o->value();
  }
};

TEST_F(ObservableTest, RemovingReleasesTheCallbackWithoutHoldingTheObservableBusy) {
  auto observable = Observable<int>::make(6);
  auto screen = std::make_shared<Screen>();
  int lastRead = -1;
  auto capture = std::make_shared<ReadsOnDestruction>(ReadsOnDestruction{observable, &lastRead});
  lastRead = -1;  // the temporary above has read once already
  observable->observe(screen, [capture](const int&) {});
  capture.reset();
  MainQueue::main().drain();  // the initial delivery's copy of the callback is gone too

  observable->remove(screen);
  EXPECT_EQ(lastRead, 6);
}

}  // namespace
}  // namespace velmar
