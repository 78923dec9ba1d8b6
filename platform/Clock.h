// A monotonic high-resolution clock (the performance counter's role).
#pragma once

#include <chrono>
#include <cstdint>

namespace riffo {

using MonoClock = std::chrono::steady_clock;

inline int64_t PerformanceCounter() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(MonoClock::now().time_since_epoch())
      .count();
}
inline constexpr int64_t PerformanceFrequency() noexcept { return 1'000'000'000; }

inline int64_t ElapsedMilliseconds(MonoClock::time_point since) noexcept {
  return std::chrono::duration_cast<std::chrono::milliseconds>(MonoClock::now() - since).count();
}

}  // namespace riffo
