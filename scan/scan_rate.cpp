#include "scan/scan_rate.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "page/page_header.h"

namespace pagerake {
namespace {

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

ScanRateEstimator::ScanRateEstimator(Clock clock) : clock_(std::move(clock)) {}

void ScanRateEstimator::Start(int64_t begin, int64_t end) {
  begin_ = begin;
  end_ = end;
  lastTime_ = clock_();
  lastCursor_ = begin;
  walking_ = false;
  rate_.reset();
}

void ScanRateEstimator::Sample(int64_t cursor) {
  const TimePoint now = clock_();
  // 1. Before the walk: the start moves on with the time.
  if (!walking_) {
    if (cursor <= begin_) {
      lastTime_ = now;
      return;
    }
    walking_ = true;
  }
  // 2. The first estimate: the mean over the walk's first span.
  const double dt = Seconds(now - lastTime_);
  const double bytes = static_cast<double>(cursor - lastCursor_) * kSectorSize;
  if (!rate_) {
    if (dt < kFirstSpanSeconds) return;
    rate_ = bytes / dt;
  } else {
    // 3. Later ones: exponential smoothing, weighted by the time each sample covers.
    if (dt <= 0) return;
    const double weight = 1.0 - std::exp(-dt / kSmoothingSeconds);
    *rate_ += weight * (bytes / dt - *rate_);
  }
  lastTime_ = now;
  lastCursor_ = cursor;
}

std::optional<ScanRateEstimate> ScanRateEstimator::Estimate() const {
  if (!rate_ || *rate_ <= 0) return std::nullopt;
  const int64_t leftSectors = std::max<int64_t>(end_ - lastCursor_, 0);
  return ScanRateEstimate{*rate_, static_cast<double>(leftSectors) * kSectorSize / *rate_};
}

}  // namespace pagerake
