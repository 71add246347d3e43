// The time left of a whole recovery on a clock the test moves: the scan's figure from its first
// second on, the files' figure across their stages, and a change of speed taken in gradually.
#include "app/recovery_estimate.h"

#include <gtest/gtest.h>

namespace pagerake {
namespace {

constexpr int64_t kGB = 1'000'000'000;

struct FakeClock {
  std::chrono::steady_clock::time_point now{};
  void Advance(double seconds) {
    now += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
  }
};

TEST(RecoveryEstimate, OneFigureAcrossTheScanAndTheFiles) {
  FakeClock clock;
  RecoveryEstimate e([&clock] { return clock.now; });
  EXPECT_FALSE(e.SecondsLeft());
  EXPECT_EQ(e.Text(), "");
  // A scan of 10 GB at 1 GB/s, sampled four times a second: nothing before its first second.
  e.ScanStarts(10 * kGB);
  double at = 0;
  auto scanFor = [&](double seconds, double rate) {
    for (double t = 0; t < seconds - 1e-9; t += 0.25) {
      clock.Advance(0.25);
      at += rate * 0.25;
      e.ScanAt(static_cast<int64_t>(at));
    }
  };
  scanFor(0.75, kGB);
  EXPECT_FALSE(e.SecondsLeft());
  scanFor(1.25, kGB);
  ASSERT_TRUE(e.SecondsLeft());
  EXPECT_NEAR(*e.SecondsLeft(), 8.0, 0.2);
  // The scan slows to a quarter: the figure moves towards the new speed, not at once.
  scanFor(1.0, kGB / 4);
  const double afterOneSecond = *e.SecondsLeft();
  EXPECT_GT(afterOneSecond, 6.75 + 0.5);
  EXPECT_LT(afterOneSecond, 6.75 * 4 - 0.5);
  scanFor(31.0, kGB / 4);  // to the end of the range
  EXPECT_NEAR(*e.SecondsLeft(), 0.0, 0.01);
  // Two files of 1 GB: 6 GB of work (each read for its analysis, read and written again). Until
  // the files' own rate is known, the scan's last one stands in for it.
  e.FilesFound({kGB, kGB});
  ASSERT_TRUE(e.SecondsLeft());
  EXPECT_NEAR(*e.SecondsLeft(), 6.0 / 0.25, 1.0);
  // The files go at 0.5 GB/s of work: 2 s for an analysis, 4 s for a writing.
  double done = 0;
  auto work = [&](size_t file, RecoveryEstimate::FileStage stage, double seconds) {
    for (double t = 0; t < seconds - 1e-9; t += 0.25) {
      clock.Advance(0.25);
      done += 0.25;
      e.FileAt(file, stage, done / seconds);
    }
    done = 0;
  };
  work(0, RecoveryEstimate::FileStage::kAnalysis, 2.0);
  EXPECT_NEAR(*e.SecondsLeft(), 5.0 / 0.5, 0.5);
  work(0, RecoveryEstimate::FileStage::kWriting, 4.0);
  EXPECT_NEAR(*e.SecondsLeft(), 3.0 / 0.5, 0.3);
  work(1, RecoveryEstimate::FileStage::kAnalysis, 2.0);
  EXPECT_NEAR(*e.SecondsLeft(), 2.0 / 0.5, 0.2);
  EXPECT_EQ(e.Text(), "0:04 left");
}

TEST(RecoveryEstimate, TextOfLongWaits) {
  FakeClock clock;
  RecoveryEstimate e([&clock] { return clock.now; });
  e.ScanStarts(7263 * kGB + kGB);
  clock.Advance(1.0);
  e.ScanAt(kGB);  // 1 GB/s, 7263 s left
  EXPECT_EQ(e.Text(), "2:01:03 left");
}

}  // namespace
}  // namespace pagerake
