#include "analysis/successor_choice.h"

#include "fragments/fragment_extraction.h"
#include "fragments/fragment_list.h"

namespace pagerake {
namespace {

SuccessorRow RowForLine(const FragmentTable& table, int32_t line) {
  const FragmentRecord& r = table[static_cast<size_t>(line)];
  return {line + 1, r.sizeKB, r.beginPage, r.endPage, r.fsec, r.esec, false};
}

}  // namespace

void SuccessorChoice::Fill(const FragmentTable& table, const PageOrderIndex& order,
                           const std::vector<int32_t>& candidates_, int32_t lastChained) {
  candidates.clear();
  positions_.clear();
  selected = -1;
  for (int32_t position : candidates_) {
    if (position < 0 || static_cast<size_t>(position) >= order.size()) continue;
    const int32_t line = order[static_cast<size_t>(position)].recordNo;
    if (line < 0 || static_cast<size_t>(line) >= table.size()) continue;
    candidates.push_back(RowForLine(table, line));
    positions_.push_back(position);
  }
  lastChainedRow.reset();
  if (lastChained >= 0 && static_cast<size_t>(lastChained) < table.size()) {
    lastChainedRow = RowForLine(table, lastChained);
  }
  answer_ = kWaiting;
}

void SuccessorChoice::ClickRow(int row) {
  if (row < 0 || static_cast<size_t>(row) >= candidates.size()) return;
  selected = row;
  chosenRow_ = row;
}

void SuccessorChoice::ClickOk() {
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (candidates[i].ticked) {
      chosenRow_ = static_cast<int>(i);
      break;
    }
  }
  answer_ = kConfirmed;
}

void SuccessorChoice::ClickCancel() { answer_ = kCancelled; }

void SuccessorChoice::Close() {
  if (answer_ == kWaiting) answer_ = kCancelled;
}

std::optional<int32_t> SuccessorChoice::Chosen() const {
  if (answer_ != kConfirmed || chosenRow_ < 0 || static_cast<size_t>(chosenRow_) >= positions_.size()) {
    return std::nullopt;
  }
  return positions_[static_cast<size_t>(chosenRow_)];
}

std::optional<int32_t> AskSuccessor(SuccessorChoice& choice, const FragmentTable& table,
                                    const PageOrderIndex& order,
                                    const std::vector<int32_t>& candidates, int32_t lastChained,
                                    std::function<void()> saveTicked, Host& host) {
  choice.Fill(table, order, candidates, lastChained);
  SuccessorQuestion question{choice, std::move(saveTicked)};
  host.AskSuccessor(question);
  return choice.Chosen();
}

void SaveTickedCandidates(const SuccessorChoice& choice, PageAccess& pages,
                          const DataSource& source, Host& host) {
  const std::optional<std::string> folder = host.ChooseFolder("保存目录");
  if (!folder) return;
  // The ticked candidates as ticked rows of a fragment list: the extraction writes them.
  FragmentListModel ticked;
  for (const SuccessorRow& row : choice.candidates) {
    if (!row.ticked) continue;
    FragmentRow r;
    r.number = row.number;
    r.sizeKB = row.sizeKB;
    r.beginPage = row.beginPage;
    r.endPage = row.endPage;
    r.fsec = row.fsec;
    r.esec = row.esec;
    r.checked = true;
    ticked.rows.push_back(std::move(r));
  }
  (void)ExtractSeparateTo(ticked, pages, source, *folder, host);
}

}  // namespace pagerake
