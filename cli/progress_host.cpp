#include "cli/progress_host.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace pagerake::cli {

void ProgressHost::SetRange(int64_t begin, int64_t end) {
  std::lock_guard lock(mu_);
  begin_ = begin;
  end_ = end;
  started_ = std::chrono::steady_clock::now();
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

void ProgressHost::ShowProgress(int64_t cursor) {
  std::lock_guard lock(mu_);
  if (!terminal_ || end_ <= begin_ || cursor <= begin_) return;
  const int64_t done = std::min(cursor, end_) - begin_;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  const double bytesPerSecond = seconds > 0 ? static_cast<double>(done) * 512.0 / seconds : 0.0;
  const double percent = 100.0 * static_cast<double>(done) / static_cast<double>(end_ - begin_);
  char left[32] = "--:--";
  if (bytesPerSecond > 0) {
    const auto s = static_cast<int64_t>(static_cast<double>(end_ - begin_ - done) * 512.0 /
                                        bytesPerSecond);
    std::snprintf(left, sizeof left, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  }
  std::fprintf(stderr, "\r\033[K%5.1f%%  %8.1f MB/s  %s left", percent, bytesPerSecond / 1e6,
               left);
  std::fflush(stderr);
  drawn_ = true;
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
