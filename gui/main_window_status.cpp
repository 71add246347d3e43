// TForm1's status bar beyond the scan's own state: the scan's throughput and time left while it
// runs, and otherwise what a disabled control of the tab in front is waiting for.
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include "app/assembly_commands.h"
#include "app/scan_command.h"
#include "gui/main_window.h"
#include "gui/ui_text.h"

namespace pagerake::gui {
namespace {

// Samples come often until the first estimate, so that the walk's start is placed closely.
constexpr int kFirstRateIntervalMs = 100;
constexpr int kRateIntervalMs = 500;
constexpr int kAssemblyTabIndex = 3;

// The fourth tab's buttons walk the assembly list in page order.
constexpr char kSortTooltip[] = "点击列表的“起始页面号”列标题，按页面号排好序后才能使用";
constexpr char kSortStatus[] = "点击列表的“起始页面号”列标题按页面号排序后，才能检查遗漏页和组合MDF";

// Throughput in MB/s and the time left.
QString RateText(const ScanRateEstimate& e) {
  const auto left = static_cast<int64_t>(e.secondsLeft + 0.5);
  return Ui("速度 %1 MB/s   剩余时间 %2:%3:%4")
      .arg(e.bytesPerSecond / 1e6, 0, 'f', 1)
      .arg(left / 3600)
      .arg(left / 60 % 60, 2, 10, QChar('0'))
      .arg(left % 60, 2, 10, QChar('0'));
}

}  // namespace

void TForm1::PushStatus() {
  Session& s = *session_;
  // 1. A disabled button of the assembly tab says what enables it.
  for (QPushButton* b : {Button6, Button5, Button2}) {
    b->setToolTip(b->isEnabled() ? QString() : Ui(kSortTooltip));
  }
  // 2. The second panel: the rate while a scan runs, counted anew for each scan.
  const bool scanning = !s.scanStopped.load() && s.jobKind == JobKind::kScan && !s.jobs.Idle();
  if (scanning) {
    if (!rateTimer_.isActive()) {
      const ParsedScanOptions parsed = ParseScanFields(s.fields);
      rate_.Start(parsed.options ? parsed.options->beginSector : 0,
                  parsed.options ? parsed.options->endSector : 0);
      statRate->clear();
      rateTimer_.setInterval(kFirstRateIntervalMs);
      rateTimer_.start();
    }
    return;
  }
  rateTimer_.stop();
  // 3. Otherwise, in front of the assembly list, what CHECK and CREATE MDF wait for.
  const bool waiting = PageControl1->currentIndex() == kAssemblyTabIndex &&
                       !(Button5->isEnabled() && Button2->isEnabled());
  statRate->setText(waiting ? Ui(kSortStatus) : QString());
}

void TForm1::TickRate() {
  rate_.Sample(session_->scanProgress.cursor.load());
  const std::optional<ScanRateEstimate> estimate = rate_.Estimate();
  if (!estimate) return;
  if (rateTimer_.interval() != kRateIntervalMs) rateTimer_.setInterval(kRateIntervalMs);
  statRate->setText(RateText(*estimate));
}

void TForm1::CreateMdfWithTimeLeft() {
  Session& s = *session_;
  writing_ = true;
  writeEstimate_.reset();
  Run([&] { (void)ClickCreateMdf(s, *host_); }, kNoList);
  writing_ = false;
  writeEstimate_.reset();
  PushStatus();
}

void TForm1::WritingGauge(int percent) {
  if (!writing_) return;
  // The estimate starts with the writing, not while the file was being chosen.
  if (!writeEstimate_) {
    writeEstimate_.emplace();
    writeEstimate_->FilesFound({int64_t{session_->analysis.targetFileSizePages} * kPageSize});
  }
  writeEstimate_->FileAt(0, RecoveryEstimate::FileStage::kWriting, percent / 100.0);
  const std::optional<double> left = writeEstimate_->SecondsLeft();
  if (!left) return;
  const auto seconds = static_cast<int64_t>(*left + 0.5);
  statRate->setText(Ui("组合MDF   剩余时间 %1:%2:%3")
                        .arg(seconds / 3600)
                        .arg(seconds / 60 % 60, 2, 10, QChar('0'))
                        .arg(seconds % 60, 2, 10, QChar('0')));
}

}  // namespace pagerake::gui
