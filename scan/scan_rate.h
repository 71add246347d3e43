// The throughput of a running scan and the time it has left, for progress displays, estimated
// from how far the walk's cursor moves between samples.
//
// The estimate counts from the walk's first window read: while the cursor still stands at the
// begin sector (a volume's free-space bitmap being built, the first window being read), each
// sample moves the starting point on, so that preparation time does not pass for a slow disk.
// The first estimate is given once the walk has run for kFirstSpanSeconds; from then on the rate
// is smoothed exponentially, so that a stretch that goes faster or slower (used clusters skipped,
// a slow region of a disk) moves it gradually instead of making it jump.
//
// Samples should come at most a few tenths of a second apart until the first estimate: the walk
// began somewhere between the last sample at the begin sector and the first one past it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace pagerake {

struct ScanRateEstimate {
  double bytesPerSecond = 0;
  double secondsLeft = 0;
};

class ScanRateEstimator {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // The walk's span that the first estimate is taken over.
  static constexpr double kFirstSpanSeconds = 1.0;
  // Smoothing time constant: a change of speed shows by about two-thirds after this long.
  static constexpr double kSmoothingSeconds = 5.0;

  // `clock`: where the time comes from (tests inject their own).
  explicit ScanRateEstimator(Clock clock = &std::chrono::steady_clock::now);

  // A walk from sector `begin` to `end` (exclusive) starts now; what was learned of an earlier
  // walk is forgotten.
  void Start(int64_t begin, int64_t end);
  // The walk's cursor now.
  void Sample(int64_t cursor);
  // Nothing until the walk has run long enough, or while the rate is not above zero.
  std::optional<ScanRateEstimate> Estimate() const;

 private:
  using TimePoint = std::chrono::steady_clock::time_point;

  Clock clock_;
  int64_t begin_ = 0;
  int64_t end_ = 0;
  TimePoint lastTime_{};  // the last sample (before the first estimate: the walk's start)
  int64_t lastCursor_ = 0;
  bool walking_ = false;  // the cursor has moved past the begin sector
  std::optional<double> rate_;  // bytes per second, smoothed
};

}  // namespace pagerake
