// A Host for long jobs: passes everything on to the console Host and shows the job's progress
// (percent, MB/s, time left, fragments found) on standard error.
//
// On a terminal the progress is one line at the bottom, redrawn in place and cleared before
// anything else is printed, so that memo lines and messages never run into it. Without a terminal
// (a log file, a script) it is a plain line now and then: at once when the first fragments are
// found, then when more were found and kLogInterval has passed, and at least every kLogQuietLimit.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "base/host.h"
#include "scan/scan_rate.h"

namespace pagerake::cli {

class ProgressHost : public Host {
 public:
  ProgressHost(Host& inner, bool terminal) : inner_(inner), terminal_(terminal) {}

  // The sectors the job walks, for percent and time left; the clock starts here. The rate and
  // the time left come from ScanRateEstimator, from about a second into the walk.
  void SetRange(int64_t begin, int64_t end);
  // Shows the progress for the job's position `cursor` with `fragments` found so far.
  void ShowProgress(int64_t cursor, int64_t fragments);
  void ClearProgress();

  void AddMemoLine(Memo memo, const std::string& line) override;
  void ClearMemo(Memo memo) override;
  void SetStatusText(const std::string& text) override;
  void SetGauge(int percent) override;
  MessageResult ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;
  void SetClipboardText(const std::string& text) override;
  void ProcessEvents() override { inner_.ProcessEvents(); }
  void Post(std::function<void()> task) override { inner_.Post(std::move(task)); }

 private:
  void ClearLocked();
  std::string ProgressText(int64_t cursor, int64_t fragments) const;
  bool LogLineDue(int64_t fragments, std::chrono::steady_clock::time_point now) const;

  static constexpr std::chrono::seconds kLogInterval{10};
  static constexpr std::chrono::seconds kLogQuietLimit{60};

  Host& inner_;
  const bool terminal_;
  std::mutex mu_;
  bool drawn_ = false;
  int64_t begin_ = 0;
  int64_t end_ = 0;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  ScanRateEstimator rate_;  // the throughput and time left, counted from the walk's first read
  // The last plain line (without a terminal): when, and the fragments it counted.
  std::optional<std::chrono::steady_clock::time_point> loggedAt_;
  int64_t loggedFragments_ = 0;
};

}  // namespace pagerake::cli
