#include "app/recovery_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pagerake {
namespace {

// A file's work: its analysis reads it once, its writing reads and writes it.
constexpr double kAnalysisShare = 1.0 / 3.0;

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

void RecoveryEstimate::Rate::Sample(TimePoint now, double done) {
  if (!started) {
    started = true;
    last = now;
    lastDone = done;
    return;
  }
  const double span = Seconds(now - last);
  if (!perSecond && span < kFirstSpanSeconds) return;  // the first rate over a whole span
  if (span <= 0) return;
  const double rate = (done - lastDone) / span;
  if (!perSecond) {
    perSecond = rate;
  } else {
    const double keep = std::exp(-span / kSmoothingSeconds);
    perSecond = keep * *perSecond + (1 - keep) * rate;
  }
  last = now;
  lastDone = done;
}

RecoveryEstimate::RecoveryEstimate(Clock clock) : clock_(std::move(clock)) {}

void RecoveryEstimate::ScanStarts(int64_t bytes) {
  scanBytes_ = std::max<int64_t>(bytes, 0);
  scanDone_ = 0;
  scanRate_ = {};
  scanRate_.Sample(clock_(), 0);
}

void RecoveryEstimate::ScanAt(int64_t bytesDone) {
  scanDone_ = std::clamp<int64_t>(bytesDone, 0, scanBytes_);
  scanRate_.Sample(clock_(), static_cast<double>(scanDone_));
}

void RecoveryEstimate::FilesFound(std::vector<int64_t> fileBytes) {
  scanEnded_ = true;
  files_ = std::move(fileBytes);
  for (int64_t& f : files_) f = std::max<int64_t>(f, 0);
  file_ = 0;
  fileDone_ = 0;
  fileRate_ = {};
  fileRate_.Sample(clock_(), 0);
}

void RecoveryEstimate::FileSize(size_t file, int64_t bytes) {
  if (file < files_.size()) files_[file] = std::max<int64_t>(bytes, 0);
}

void RecoveryEstimate::FileAt(size_t file, FileStage stage, double fraction) {
  if (file >= files_.size()) return;
  fraction = std::clamp(fraction, 0.0, 1.0);
  file_ = file;
  const double share = stage == FileStage::kAnalysis
                            ? fraction * kAnalysisShare
                            : kAnalysisShare + fraction * (1 - kAnalysisShare);
  fileDone_ = share * 3.0 * static_cast<double>(files_[file]);
  fileRate_.Sample(clock_(), FilesDone());
}

double RecoveryEstimate::FilesDone() const {
  double done = fileDone_;
  for (size_t k = 0; k < file_ && k < files_.size(); ++k) {
    done += 3.0 * static_cast<double>(files_[k]);
  }
  return done;
}

double RecoveryEstimate::FilesTotal() const {
  double total = 0;
  for (const int64_t f : files_) total += 3.0 * static_cast<double>(f);
  return total;
}

std::optional<double> RecoveryEstimate::SecondsLeft() const {
  if (!scanEnded_) {
    if (!scanRate_.perSecond || *scanRate_.perSecond <= 0) return std::nullopt;
    return static_cast<double>(scanBytes_ - scanDone_) / *scanRate_.perSecond;
  }
  const std::optional<double> rate =
      fileRate_.perSecond ? fileRate_.perSecond : scanRate_.perSecond;
  if (!rate || *rate <= 0) return std::nullopt;
  return std::max(0.0, FilesTotal() - FilesDone()) / *rate;
}

std::string RecoveryEstimate::Text() const {
  const std::optional<double> left = SecondsLeft();
  if (!left) return "";
  const auto s = static_cast<long long>(std::llround(std::min(*left, 1e7)));
  char text[48];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld left", s / 60, s % 60);
  }
  return text;
}

}  // namespace pagerake
