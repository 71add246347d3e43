#include "cli/stage_host.h"

#include <cstdio>

#include "app/translation.h"
#include "cli/help_formatter.h"

namespace pagerake::cli {

void StageHost::EraseLocked() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

void StageHost::DrawLocked() {
  if (!terminal_ || line_.empty()) return;
  shown_ = estimate_.Text();
  std::fprintf(stderr, "\r\033[K%s%s", line_.c_str(),
               shown_.empty() ? "" : ("  (" + Tr(shown_) + ")").c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void StageHost::ShowLocked(std::string text) {
  line_ = std::move(text);
  EraseLocked();
  DrawLocked();
}

void StageHost::DatabaseStageLocked(const char* stage) { ShowLocked(database_ + Tr(stage)); }

void StageHost::RefreshLocked() {
  if (estimate_.Text() == shown_) return;
  EraseLocked();
  DrawLocked();
}

void StageHost::ScanStarts(int64_t bytes) {
  std::lock_guard lock(mu_);
  estimate_.ScanStarts(bytes);
}

void StageHost::ScanAt(int64_t bytesDone) {
  std::lock_guard lock(mu_);
  estimate_.ScanAt(bytesDone);
  RefreshLocked();
}

void StageHost::FilesFound(std::vector<int64_t> fileBytes) {
  std::lock_guard lock(mu_);
  estimate_.FilesFound(std::move(fileBytes));
}

void StageHost::FileSize(int64_t bytes) {
  std::lock_guard lock(mu_);
  if (file_ >= 0) estimate_.FileSize(static_cast<size_t>(file_), bytes);
}

void StageHost::SetGauge(int percent) {
  std::lock_guard lock(mu_);
  if (file_ < 0 || !writing_) return;
  estimate_.FileAt(static_cast<size_t>(file_), RecoveryEstimate::FileStage::kWriting,
                   percent / 100.0);
  RefreshLocked();
}

void StageHost::SetStage(const std::string& text) {
  std::lock_guard lock(mu_);
  database_.clear();
  ShowLocked(text);
}

void StageHost::BeginDatabase(int k, int n) {
  std::lock_guard lock(mu_);
  database_ = Format(Tr("database %d/%d: "), k, n);
  file_ = k - 1;
  writing_ = false;
}

void StageHost::DatabaseStage(const char* stage) {
  std::lock_guard lock(mu_);
  // The analysis, SEARCH MORE and CHECK count as the file's first pass over its pieces, the
  // writing as the rest.
  const std::string name = stage;
  writing_ = name == "writing";
  if (file_ >= 0) {
    const double analysed = name == "analysing" ? 0.0 : name == "search more" ? 0.5 : 1.0;
    estimate_.FileAt(static_cast<size_t>(file_),
                     writing_ ? RecoveryEstimate::FileStage::kWriting
                              : RecoveryEstimate::FileStage::kAnalysis,
                     writing_ ? 0.0 : analysed);
  }
  DatabaseStageLocked(stage);
}

void StageHost::ClearStage() {
  std::lock_guard lock(mu_);
  line_.clear();
  database_.clear();
  EraseLocked();
}

void StageHost::AddMemoLine(Memo memo, const std::string& line) {
  std::lock_guard lock(mu_);
  EraseLocked();
  ConsoleHost::AddMemoLine(memo, line);
  DrawLocked();
}

MessageResult StageHost::ShowMessage(const std::string& text, const std::string& caption,
                                     MessageIcon icon, MessageButtons buttons) {
  std::lock_guard lock(mu_);
  EraseLocked();
  const MessageResult result = ConsoleHost::ShowMessage(text, caption, icon, buttons);
  DrawLocked();
  return result;
}

std::optional<std::string> StageHost::ChooseSaveFile(const FileDialogRequest& request) {
  std::lock_guard lock(mu_);
  EraseLocked();
  auto answer = ConsoleHost::ChooseSaveFile(request);
  DrawLocked();
  return answer;
}

std::optional<std::string> StageHost::ChooseOpenFile(const FileDialogRequest& request) {
  std::lock_guard lock(mu_);
  EraseLocked();
  auto answer = ConsoleHost::ChooseOpenFile(request);
  DrawLocked();
  return answer;
}

std::optional<std::string> StageHost::ChooseFolder(const std::string& title) {
  std::lock_guard lock(mu_);
  EraseLocked();
  auto answer = ConsoleHost::ChooseFolder(title);
  DrawLocked();
  return answer;
}

void StageHost::SetClipboardText(const std::string& text) {
  std::lock_guard lock(mu_);
  EraseLocked();
  ConsoleHost::SetClipboardText(text);
  DrawLocked();
}

}  // namespace pagerake::cli
