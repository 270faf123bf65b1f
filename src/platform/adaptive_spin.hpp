#pragma once

#include <algorithm>
#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace velmar {

// A short wait on the CPU for something another thread is about to do, tried before the
// caller blocks: when the other side answers within microseconds, spinning saves the sleep
// and wake-up of a blocking hand-off, which is most of a loopback round trip's cost. The
// budget follows how long recent waits lasted, so a slow peer (a real network) soon costs no
// spinning at all. One instance per waiting thread.
class AdaptiveSpin {
 public:
  using Clock = std::chrono::steady_clock;
  using Duration = std::chrono::nanoseconds;

  // Polls `ready` until it holds or the budget is spent; true when it held.
  template <typename Ready>
  bool spin(Ready&& ready) {
    if (budget_.count() == 0) return false;
    if (skips_ > 0) {
      --skips_;
      return false;
    }
    auto last = Clock::now();
    const auto until = last + budget_;
    for (unsigned round = 1;; ++round) {
      if (ready()) return true;
      if (round % 16 != 0) {
        pause();
        continue;
      }
      const auto now = Clock::now();
      // A gap this long between two looks means the thread lost its core: the machine has
      // more runnable threads than cores, and spinning only takes time from the peer.
      if (now - last > kPreempted) {
        skips_ = kSkipsWhenContended;
        return false;
      }
      if (now >= until) return false;
      last = now;
    }
  }

  // How long a whole wait lasted, spun or blocked, from its start to the awaited event.
  void learn(Duration waited) {
    average_ += (std::min(waited, kForget) - average_) / 4;
    // A wait that blocked lasted longer than it would have spun (the wake-up is in it), so
    // spinning stays on a little past the budget; otherwise one slow wait could switch it
    // off for good on a peer that answers just under the budget.
    budget_ =
        average_ <= kSpinWhileAverageBelow ? std::min(kMaxBudget, average_ * 3 / 2) : Duration(0);
  }

 private:
  static void pause() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
  }

  // Longer than a loopback round trip on a loaded two-core machine, far shorter than any
  // wide-area one.
  static constexpr Duration kMaxBudget{300000};
  static constexpr Duration kSpinWhileAverageBelow{kMaxBudget * 3 / 2};
  // One very long wait counts as this long, so a few quick ones bring spinning back.
  static constexpr Duration kForget{1000000};
  static constexpr Duration kPreempted{50000};
  static constexpr int kSkipsWhenContended = 256;

  Duration average_{kMaxBudget / 2};
  Duration budget_{kMaxBudget * 3 / 4};
  int skips_ = 0;
};

}  // namespace velmar
