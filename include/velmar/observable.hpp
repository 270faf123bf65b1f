#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

#include "velmar/main_queue.hpp"

namespace velmar {

/// A shared holder of one value whose observers are called on the main queue after every
/// write. Writes always notify (no equality test); each delivery reads the value current when
/// it runs. Create it with `make`; it stays alive until every pending delivery has run.
template <typename T>
class Observable : public std::enable_shared_from_this<Observable<T>> {
  struct PrivateTag {};

 public:
  /// The host's callback; called on the main queue with the current value.
  using ObserverBlock = std::function<void(const T&)>;

  /// A new observable holding `initial`, with no observers. Nobody is notified.
  static std::shared_ptr<Observable> make(T initial) {
    return std::make_shared<Observable>(PrivateTag{}, std::move(initial));
  }

  /// Use `make`; the constructor is reachable only through it.
  Observable(PrivateTag, T initial) : value_(std::make_shared<const T>(std::move(initial))) {}
  Observable(const Observable&) = delete;
  Observable& operator=(const Observable&) = delete;

  /// A copy of the current value.
  T value() const { return *snapshot(); }

  /// Stores `value` and posts one delivery per observer, even if it equals the old value.
  void setValue(T value) {
    auto next = std::make_shared<const T>(std::move(value));
    {
      std::lock_guard lock(mutex_);
      value_.swap(next);
    }
    // `next` now holds the old value; it is released here, outside the lock.
    notifyObservers();
  }

  /// Changes the value through `fn(T&)` as one write: observers are notified once, after `fn`
  /// returns. If `fn` throws, the value is left as it was, nobody is notified and the
  /// exception propagates.
  template <typename Fn>
  requires std::invocable<Fn&, T&>
  void modify(Fn&& fn) {
    T changed = value();
    fn(changed);
    setValue(std::move(changed));
  }

  /// Registers `block` for `on`, which is held weakly and used only by `remove`. The same
  /// object may register several times. `block` gets one initial delivery on the main queue.
  template <typename U>
  void observe(const std::shared_ptr<U>& on, ObserverBlock block) {
    addObserver(std::shared_ptr<const void>(on, identityOf(on.get())), std::move(block));
  }

  /// Registers `block` with no owner; such an entry can never be removed.
  void observe(std::nullptr_t, ObserverBlock block) { addObserver(nullptr, std::move(block)); }

  /// Removes every entry registered with this very object (identity, not value). Entries of
  /// destroyed objects are never matched and stay. Deliveries already posted still run.
  template <typename U>
  void remove(const std::shared_ptr<U>& observer) {
    const void* target = identityOf(observer.get());
    if (target == nullptr) return;
    std::shared_ptr<const ObserverList> released;
    {
      std::lock_guard lock(mutex_);
      auto kept = std::make_shared<ObserverList>();
      kept->reserve(observers_->size());
      for (const Observer& entry : *observers_) {
        if (entry.observer.lock().get() != target) kept->push_back(entry);
      }
      released = std::exchange(observers_, std::move(kept));
    }
    // The removed blocks (and whatever they capture) are destroyed here, outside the lock.
  }

 private:
  struct Observer {
    std::weak_ptr<const void> observer;
    std::shared_ptr<const ObserverBlock> block;
  };
  using ObserverList = std::vector<Observer>;

  // The address of the complete object, so that the same object registered through pointers
  // to different bases is still one identity.
  template <typename U>
  static const void* identityOf(U* object) {
    if constexpr (std::is_polymorphic_v<U>) {
      return dynamic_cast<const void*>(object);
    } else {
      return static_cast<const void*>(object);
    }
  }

  void addObserver(std::shared_ptr<const void> on, ObserverBlock block) {
    auto shared = std::make_shared<const ObserverBlock>(std::move(block));
    std::shared_ptr<const ObserverList> released;
    {
      std::lock_guard lock(mutex_);
      auto grown = std::make_shared<ObserverList>(*observers_);
      grown->push_back(Observer{std::move(on), shared});
      released = std::exchange(observers_, std::move(grown));
    }
    post(std::move(shared));
  }

  void notifyObservers() {
    std::shared_ptr<const ObserverList> entries;
    {
      std::lock_guard lock(mutex_);
      entries = observers_;
    }
    for (const Observer& entry : *entries) post(entry.block);
  }

  // Posting happens outside the lock: a host-installed executor may run code of its own.
  void post(std::shared_ptr<const ObserverBlock> block) {
    MainQueue::main().post([self = this->shared_from_this(), block = std::move(block)] {
      // Holding the snapshot keeps the value alive even if the block writes a new one.
      std::shared_ptr<const T> current = self->snapshot();
      (*block)(*current);
    });
  }

  std::shared_ptr<const T> snapshot() const {
    std::lock_guard lock(mutex_);
    return value_;
  }

  // Guards the two pointers only; no host code ever runs while it is held.
  mutable std::mutex mutex_;
  std::shared_ptr<const ObserverList> observers_ = std::make_shared<const ObserverList>();
  std::shared_ptr<const T> value_;
};

}  // namespace velmar
