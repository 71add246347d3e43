#include "cli/progress_host.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/translation.h"

namespace pagerake::cli {

void ProgressHost::SetRange(int64_t begin, int64_t end) {
  std::lock_guard lock(mu_);
  begin_ = begin;
  end_ = end;
  started_ = std::chrono::steady_clock::now();
  rate_.Start(begin, end);
}

void ProgressHost::ClearLocked() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

void ProgressHost::ClearProgress() {
  std::lock_guard lock(mu_);
  ClearLocked();
}

namespace {

// "  12.3%     850.0 MB/s  0:10:00 left  fragments: 37"; the rate and the time left once the
// estimate has them.
std::string FormatProgress(int64_t begin, int64_t end, int64_t cursor, int64_t fragments,
                           const std::optional<ScanRateEstimate>& estimate) {
  const int64_t done = std::clamp(cursor, begin, end) - begin;
  const double percent = 100.0 * static_cast<double>(done) / static_cast<double>(end - begin);
  char left[32] = "--:--";
  if (estimate) {
    const auto s = static_cast<int64_t>(estimate->secondsLeft + 0.5);
    std::snprintf(left, sizeof left, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  }
  char text[160];
  std::snprintf(text, sizeof text, Tr("%5.1f%%  %8.1f MB/s  %s left  fragments: %lld").c_str(),
                percent, estimate ? estimate->bytesPerSecond / 1e6 : 0.0, left,
                static_cast<long long>(fragments));
  return text;
}

}  // namespace

std::string ProgressHost::ProgressText(int64_t cursor, int64_t fragments) const {
  return FormatProgress(begin_, end_, cursor, fragments, rate_.Estimate());
}

bool ProgressHost::LogLineDue(int64_t fragments,
                              std::chrono::steady_clock::time_point now) const {
  if (!loggedAt_) return fragments > 0 || now - started_ >= kLogQuietLimit;
  const auto since = now - *loggedAt_;
  return since >= kLogQuietLimit || (fragments != loggedFragments_ && since >= kLogInterval);
}

void ProgressHost::ShowProgress(int64_t cursor, int64_t fragments) {
  std::lock_guard lock(mu_);
  if (end_ <= begin_) return;
  rate_.Sample(cursor);  // every call, printed or not: the estimate wants close samples
  if (terminal_) {
    std::fprintf(stderr, "\r\033[K%s", ProgressText(cursor, fragments).c_str());
    std::fflush(stderr);
    drawn_ = true;
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (!LogLineDue(fragments, now)) return;
  std::fprintf(stderr, Tr("progress %s\n").c_str(), ProgressText(cursor, fragments).c_str());
  std::fflush(stderr);
  loggedAt_ = now;
  loggedFragments_ = fragments;
}

void ProgressHost::AddMemoLine(Memo memo, const std::string& line) {
  std::lock_guard lock(mu_);
  ClearLocked();
  inner_.AddMemoLine(memo, line);
}

void ProgressHost::ClearMemo(Memo memo) {
  std::lock_guard lock(mu_);
  inner_.ClearMemo(memo);
}

void ProgressHost::SetStatusText(const std::string& text) {
  std::lock_guard lock(mu_);
  ClearLocked();
  inner_.SetStatusText(text);
}

void ProgressHost::SetGauge(int percent) { inner_.SetGauge(percent); }

MessageResult ProgressHost::ShowMessage(const std::string& text, const std::string& caption,
                                        MessageIcon icon, MessageButtons buttons) {
  std::lock_guard lock(mu_);
  ClearLocked();
  return inner_.ShowMessage(text, caption, icon, buttons);
}

std::optional<std::string> ProgressHost::ChooseSaveFile(const FileDialogRequest& request) {
  std::lock_guard lock(mu_);
  ClearLocked();
  return inner_.ChooseSaveFile(request);
}

std::optional<std::string> ProgressHost::ChooseOpenFile(const FileDialogRequest& request) {
  std::lock_guard lock(mu_);
  ClearLocked();
  return inner_.ChooseOpenFile(request);
}

std::optional<std::string> ProgressHost::ChooseFolder(const std::string& title) {
  std::lock_guard lock(mu_);
  ClearLocked();
  return inner_.ChooseFolder(title);
}

void ProgressHost::SetClipboardText(const std::string& text) { inner_.SetClipboardText(text); }

}  // namespace pagerake::cli
