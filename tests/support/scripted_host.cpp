#include "tests/support/scripted_host.h"

#include "analysis/successor_choice.h"

namespace pagerake::testing {

void ScriptedHost::AddMemoLine(Memo memo, const std::string& line) {
  std::lock_guard lock(mu_);
  memos_[static_cast<int>(memo)].push_back(line);
}

void ScriptedHost::ClearMemo(Memo memo) {
  std::lock_guard lock(mu_);
  memos_[static_cast<int>(memo)].clear();
  ++memoClears_[static_cast<int>(memo)];
}

void ScriptedHost::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mu_);
    if (queuePosts) {
      posted_.push_back(std::move(task));
      return;
    }
  }
  task();
}

void ScriptedHost::RunPosted() {
  std::vector<std::function<void()>> tasks;
  {
    std::lock_guard lock(mu_);
    tasks.swap(posted_);
  }
  for (auto& task : tasks) task();
}

void ScriptedHost::AskSuccessor(SuccessorQuestion& question) {
  std::function<void(SuccessorQuestion&)> answer;
  {
    std::lock_guard lock(mu_);
    ++successorQuestions_;
    if (successorAnswers.empty()) return;
    answer = std::move(successorAnswers.front());
    successorAnswers.pop_front();
  }
  answer(question);
}

int ScriptedHost::successorQuestions() const {
  std::lock_guard lock(mu_);
  return successorQuestions_;
}

int ScriptedHost::memoClears(Memo m) const {
  std::lock_guard lock(mu_);
  return memoClears_[static_cast<int>(m)];
}

void ScriptedHost::SetStatusText(const std::string& text) {
  std::lock_guard lock(mu_);
  status_.push_back(text);
}

void ScriptedHost::SetGauge(int percent) {
  std::lock_guard lock(mu_);
  gauge_.push_back(percent);
}

MessageResult ScriptedHost::ShowMessage(const std::string& text, const std::string& caption,
                                        MessageIcon icon, MessageButtons buttons) {
  std::lock_guard lock(mu_);
  messages_.push_back({text, caption, icon, buttons});
  if (!messageAnswers.empty()) {
    const MessageResult r = messageAnswers.front();
    messageAnswers.pop_front();
    return r;
  }
  switch (buttons) {
    case MessageButtons::kYesNo: return MessageResult::kYes;
    case MessageButtons::kAbortRetryIgnore: return MessageResult::kAbort;
    default: return MessageResult::kOk;
  }
}

namespace {
std::optional<std::string> Next(std::deque<std::optional<std::string>>& q) {
  if (q.empty()) return std::nullopt;
  auto r = q.front();
  q.pop_front();
  return r;
}
}  // namespace

std::optional<std::string> ScriptedHost::ChooseSaveFile(const FileDialogRequest& request) {
  std::lock_guard lock(mu_);
  dialogs_.push_back(request);
  return Next(saveAnswers);
}

std::optional<std::string> ScriptedHost::ChooseOpenFile(const FileDialogRequest& request) {
  std::lock_guard lock(mu_);
  dialogs_.push_back(request);
  return Next(openAnswers);
}

std::optional<std::string> ScriptedHost::ChooseFolder(const std::string& title) {
  std::lock_guard lock(mu_);
  dialogs_.push_back({title, "", ""});
  return Next(folderAnswers);
}

void ScriptedHost::SetClipboardText(const std::string& text) {
  std::lock_guard lock(mu_);
  clipboard_ = text;
}

std::vector<std::string> ScriptedHost::memo(Memo m) const {
  std::lock_guard lock(mu_);
  return memos_[static_cast<int>(m)];
}

std::vector<std::string> ScriptedHost::statusTexts() const {
  std::lock_guard lock(mu_);
  return status_;
}

std::vector<int> ScriptedHost::gaugeValues() const {
  std::lock_guard lock(mu_);
  return gauge_;
}

std::vector<RecordedMessage> ScriptedHost::messages() const {
  std::lock_guard lock(mu_);
  return messages_;
}

std::vector<FileDialogRequest> ScriptedHost::dialogRequests() const {
  std::lock_guard lock(mu_);
  return dialogs_;
}

std::string ScriptedHost::clipboard() const {
  std::lock_guard lock(mu_);
  return clipboard_;
}

std::vector<std::string> ScriptedHost::messageTexts() const {
  std::lock_guard lock(mu_);
  std::vector<std::string> out;
  for (const auto& m : messages_) out.push_back(m.text);
  return out;
}

}  // namespace pagerake::testing

namespace pagerake::testing {

std::optional<std::vector<int>> ScriptedHost::ChooseTablesToExport(
    const std::vector<TableChoiceRow>& rows) {
  std::lock_guard lock(mu_);
  tablesOffered = rows;
  if (tableAnswers.empty()) return std::nullopt;
  std::optional<std::vector<int>> answer = tableAnswers.front();
  tableAnswers.pop_front();
  return answer;
}

}  // namespace pagerake::testing
