// A Host that passes everything on to another but the gauge: a command that runs beside a scan
// (SAVE) must not move the scan's gauge.
#pragma once

#include "base/host.h"

namespace pagerake {

class GaugeKeepingHost final : public Host {
 public:
  explicit GaugeKeepingHost(Host& host) : host_(host) {}

  void SetGauge(int percent) override { (void)percent; }

  void AddMemoLine(Memo memo, const std::string& line) override { host_.AddMemoLine(memo, line); }
  void ClearMemo(Memo memo) override { host_.ClearMemo(memo); }
  void SetStatusText(const std::string& text) override { host_.SetStatusText(text); }
  MessageResult ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override {
    return host_.ShowMessage(text, caption, icon, buttons);
  }
  std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override {
    return host_.ChooseSaveFile(request);
  }
  std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override {
    return host_.ChooseOpenFile(request);
  }
  std::optional<std::string> ChooseFolder(const std::string& title) override {
    return host_.ChooseFolder(title);
  }
  void SetClipboardText(const std::string& text) override { host_.SetClipboardText(text); }
  void ProcessEvents() override { host_.ProcessEvents(); }
  void AskSuccessor(SuccessorQuestion& question) override { host_.AskSuccessor(question); }
  void Post(std::function<void()> task) override { host_.Post(std::move(task)); }

 private:
  Host& host_;
};

}  // namespace pagerake
