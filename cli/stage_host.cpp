#include "cli/stage_host.h"

#include <cstdio>

namespace pagerake::cli {

void StageHost::EraseLocked() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

void StageHost::DrawLocked() {
  if (!terminal_ || line_.empty()) return;
  std::fprintf(stderr, "\r\033[K%s", line_.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void StageHost::ShowLocked(std::string text) {
  line_ = std::move(text);
  EraseLocked();
  DrawLocked();
}

void StageHost::DatabaseStageLocked(const char* stage) { ShowLocked(database_ + stage); }

void StageHost::SetStage(const std::string& text) {
  std::lock_guard lock(mu_);
  database_.clear();
  ShowLocked(text);
}

void StageHost::BeginDatabase(int k, int n) {
  std::lock_guard lock(mu_);
  database_ = "database " + std::to_string(k) + "/" + std::to_string(n) + ": ";
}

void StageHost::DatabaseStage(const char* stage) {
  std::lock_guard lock(mu_);
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
