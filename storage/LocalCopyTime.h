#pragma once
// The time the local copy of the public file was last refreshed, in seconds since 1970.
// One value per process: written by whichever thread refreshes the copy (the
// synchronisation worker or the user-interface thread), reset to 0 by the options page.
// The add-in's process-wide context exposes this same value.
#include <atomic>
#include <cstdint>

class CLocalCopyTime {
 public:
  static CLocalCopyTime& Instance();

  std::int64_t Get() const noexcept { return seconds_.load(); }
  void Set(std::int64_t seconds) noexcept { seconds_.store(seconds); }
  // The next read goes to the real location.
  void Reset() noexcept { seconds_.store(0); }

  // The copy stands in for the real file while it is younger than `intervalSeconds`.
  bool IsFresh(int intervalSeconds, std::int64_t now) const noexcept {
    return now - Get() < intervalSeconds;
  }

  static std::int64_t Now() noexcept;

 private:
  std::atomic<std::int64_t> seconds_{0};
};
