#include "cli/console_host.h"

#include "app/translation.h"

namespace pagerake::cli {
namespace {

const char* MemoName(Memo memo) {
  switch (memo) {
    case Memo::kSource: return "Memo1";
    case Memo::kAnalysis: return "Memo2";
    case Memo::kAssembly: return "Memo3";
  }
  return "memo";
}

std::string Answered(const std::optional<std::string>& answer) {
  return answer ? " -> " + *answer : " -> (cancelled)";
}

}  // namespace

void ConsoleHost::Print(const std::string& line) {
  std::lock_guard lock(mu_);
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void ConsoleHost::AddMemoLine(Memo memo, const std::string& line) {
  Print(std::string("[") + MemoName(memo) + "] " + Tr(line));
}

void ConsoleHost::SetStatusText(const std::string& text) {
  if (answers_.showStatus) Print("[status] " + Tr(text));
}

MessageResult ConsoleHost::ShowMessage(const std::string& text, const std::string& caption,
                                       MessageIcon, MessageButtons buttons) {
  MessageResult result = MessageResult::kOk;
  const char* shown = "";
  switch (buttons) {
    case MessageButtons::kOk:
      break;
    case MessageButtons::kYesNo:
      result = answers_.yes ? MessageResult::kYes : MessageResult::kNo;
      shown = answers_.yes ? " -> Yes" : " -> No";
      break;
    case MessageButtons::kOkCancel:
      result = answers_.yes ? MessageResult::kOk : MessageResult::kCancel;
      shown = answers_.yes ? " -> OK" : " -> Cancel";
      break;
    case MessageButtons::kAbortRetryIgnore:
      result = answers_.yes ? MessageResult::kRetry : MessageResult::kAbort;
      shown = answers_.yes ? " -> Retry" : " -> Abort";
      break;
  }
  Print("[" + Tr(caption) + "] " + Tr(text) + shown);
  return result;
}

std::optional<std::string> ConsoleHost::ChooseSaveFile(const FileDialogRequest& request) {
  Print("[save] " + Tr(request.title) + Answered(answers_.saveFile));
  return answers_.saveFile;
}

std::optional<std::string> ConsoleHost::ChooseOpenFile(const FileDialogRequest& request) {
  Print("[open] " + Tr(request.title) + Answered(answers_.openFile));
  return answers_.openFile;
}

std::optional<std::string> ConsoleHost::ChooseFolder(const std::string& title) {
  Print("[folder] " + Tr(title) + Answered(answers_.folder));
  return answers_.folder;
}

void ConsoleHost::SetClipboardText(const std::string& text) { Print("[clipboard] " + text); }

}  // namespace pagerake::cli
