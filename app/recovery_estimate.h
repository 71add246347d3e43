// One time-left figure for a whole recovery, across its stages: the scan walks its range, then
// each database file found is analysed (the analysis, SEARCH MORE and CHECK) and written. Each
// stage counts by the bytes it moves: the scan its range; a file's analysis its size once (its
// pieces are read for their tests); its writing twice (read from the source, written out).
//
// The scan and the files go at different speeds (a scan passes over holes and used clusters, a
// writing waits for the disk), so each kind of work has a rate of its own, learnt from the work
// done so far and smoothed so that the figure does not jump. Until the scan ends the files are
// not known: the figure is the scan's time left. Until the files' rate is known (the first second
// of their work), the scan's rate stands in for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pagerake {

class RecoveryEstimate {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  enum class FileStage { kAnalysis, kWriting };

  // `clock`: where the time comes from (tests inject their own).
  explicit RecoveryEstimate(Clock clock = &std::chrono::steady_clock::now);

  // The scan of `bytes` starts now; then how far it has come.
  void ScanStarts(int64_t bytes);
  void ScanAt(int64_t bytesDone);
  // The scan has ended; the sizes of the files to recover, in the order they are recovered.
  void FilesFound(std::vector<int64_t> fileBytes);
  // File `file` is `bytes` long after all (its analysis read the size page 0 records).
  void FileSize(size_t file, int64_t bytes);
  // File `file` is in `stage`, `fraction` (0 to 1) of the way through it.
  void FileAt(size_t file, FileStage stage, double fraction);

  // Seconds left; nothing until a rate is known.
  std::optional<double> SecondsLeft() const;
  // "1:05 left", "1:02:03 left"; empty when nothing is known.
  std::string Text() const;

  // Smoothing time constant of both rates.
  static constexpr double kSmoothingSeconds = 5.0;
  // Work a rate is first taken over.
  static constexpr double kFirstSpanSeconds = 1.0;

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  // A rate of work, learnt from how much was done between samples.
  struct Rate {
    TimePoint last{};
    double lastDone = 0;
    bool started = false;
    std::optional<double> perSecond;
    void Sample(TimePoint now, double done);
  };

  double FilesDone() const;
  double FilesTotal() const;

  Clock clock_;
  int64_t scanBytes_ = 0;
  int64_t scanDone_ = 0;
  bool scanEnded_ = false;
  std::vector<int64_t> files_;
  size_t file_ = 0;  // the file being recovered
  double fileDone_ = 0;  // of its work (weighted bytes)
  Rate scanRate_, fileRate_;
};

}  // namespace pagerake
