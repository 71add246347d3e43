#include "scan/scan_rate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace pagerake {
namespace {

// A stretch of a simulated scan: how long it lasts and how fast the cursor moves (0 while the
// free-space bitmap is being built).
struct Stretch {
  double seconds;
  double megabytesPerSecond;
};

double SectorsPerSecond(const Stretch& s) { return s.megabytesPerSecond * 1e6 / 512; }

// Sectors walked `t` seconds after the start.
double WalkedAt(const std::vector<Stretch>& stretches, double t) {
  double walked = 0;
  for (const Stretch& s : stretches) {
    walked += std::min(t, s.seconds) * SectorsPerSecond(s);
    t -= std::min(t, s.seconds);
  }
  return walked;
}

// What the estimate must be at a moment of the scan; without bounds: no estimate yet.
struct Expect {
  double at;
  double minMB = 0, maxMB = 0;
  double minLeft = 0, maxLeft = 1e18;
};

TEST(ScanRateEstimator, CountsFromTheWalkAndSmoothsChangesOfSpeed) {
  constexpr int kSamplesPerSecond = 10;
  constexpr int64_t kBegin = 2048;
  struct Case {
    const char* what;
    std::vector<Stretch> stretches;
    std::vector<Expect> expects;  // in time order, on sample times
  };
  const Case cases[] = {
      // 15 s of preparation must not pass for a slow disk; the walk begins between two samples.
      {"preparation before the walk",
       {{15.05, 0}, {45, 100}},
       {{14.9}, {15.9}, {16.2, 90, 110}, {45, 98, 102, 44, 46}}},
      // A slower stretch moves the estimate gradually, and it settles on the new speed.
      {"change of speed", {{20, 200}, {20, 50}}, {{1.2, 190, 210}, {20.5, 150, 210}, {40, 48, 56}}},
  };
  std::chrono::steady_clock::time_point now{};
  ScanRateEstimator estimator([&now] { return now; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The end lies 30 s further at the last stretch's speed.
    double total = 0;
    for (const Stretch& s : c.stretches) total += s.seconds;
    const auto end = kBegin + static_cast<int64_t>(WalkedAt(c.stretches, total) +
                                                   30 * SectorsPerSecond(c.stretches.back()));
    const auto start = now;
    estimator.Start(kBegin, end);
    // A sample every tenth of a second, as the window's timer takes them.
    size_t next = 0;
    for (int k = 1; next < c.expects.size(); ++k) {
      const double t = static_cast<double>(k) / kSamplesPerSecond;
      now = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(t));
      estimator.Sample(kBegin + static_cast<int64_t>(WalkedAt(c.stretches, t)));
      const Expect& e = c.expects[next];
      if (t + 1e-6 < e.at) continue;
      ++next;
      const std::optional<ScanRateEstimate> got = estimator.Estimate();
      if (e.maxMB == 0) {
        EXPECT_FALSE(got.has_value()) << "at " << t << " s";
        continue;
      }
      ASSERT_TRUE(got.has_value()) << "at " << t << " s";
      EXPECT_GE(got->bytesPerSecond / 1e6, e.minMB) << "at " << t << " s";
      EXPECT_LE(got->bytesPerSecond / 1e6, e.maxMB) << "at " << t << " s";
      EXPECT_GE(got->secondsLeft, e.minLeft) << "at " << t << " s";
      EXPECT_LE(got->secondsLeft, e.maxLeft) << "at " << t << " s";
    }
  }
}

}  // namespace
}  // namespace pagerake
