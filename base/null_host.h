// A Host that shows nothing and asks nobody: No and Cancel to every question, every text dropped.
// For work done quietly on the side (a look at what an analysis would chain) and for fuzzing.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/host.h"

namespace pagerake {

class NullHost : public Host {
 public:
  void AddMemoLine(Memo, const std::string&) override {}
  void SetStatusText(const std::string&) override {}
  void SetGauge(int) override {}
  MessageResult ShowMessage(const std::string&, const std::string&, MessageIcon,
                            MessageButtons buttons) override {
    return buttons == MessageButtons::kYesNo ? MessageResult::kNo : MessageResult::kOk;
  }
  std::optional<std::string> ChooseSaveFile(const FileDialogRequest&) override { return {}; }
  std::optional<std::string> ChooseOpenFile(const FileDialogRequest&) override { return {}; }
  std::optional<std::string> ChooseFolder(const std::string&) override { return {}; }
  void SetClipboardText(const std::string&) override {}
  void ProcessEvents() override {}
  void Post(std::function<void()> task) override { task(); }
};

}  // namespace pagerake
