// The successor choice (Tfrmuserchoose) as a model: when several fragments fit behind the one
// chained last and the analysis is not automatic, the user sees that fragment and the candidates,
// ticks or clicks one, and confirms or cancels; the ticked candidates can be saved as files first.
//
// One model serves every question of one analysis: the row clicked last stays chosen from one
// question to the next. The window shows it; the Host's ChooseSuccessor presents it and returns
// once it has an answer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/host.h"
#include "fragments/page_access.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"

namespace pagerake {

// A row of either list: caption the fragment's table position + 1, then its line's values.
struct SuccessorRow {
  int32_t number = 0;
  int32_t sizeKB = 0;
  int32_t beginPage = 0;
  int32_t endPage = 0;
  int64_t fsec = 0;
  int64_t esec = 0;
  bool ticked = false;
};

class SuccessorChoice {
 public:
  static constexpr int kWaiting = -1;
  static constexpr int kConfirmed = 0;
  static constexpr int kCancelled = 1;

  // Steps 1 to 3 of a question: the candidates (positions in `order`) as rows of the candidate
  // list, the fragment at table position `lastChained` as the one row above; waiting for an answer.
  void Fill(const FragmentTable& table, const PageOrderIndex& order,
            const std::vector<int32_t>& candidates, int32_t lastChained);

  // The user's actions.
  void ClickRow(int row);  // a click on either list with `row` current in the candidate list
  void ClickOk();          // 确定: the first ticked row, if any, becomes the chosen one
  void ClickCancel();      // 取消
  void Close();            // the close box: a cancel while no answer was given

  int answer() const { return answer_; }
  int chosenRow() const { return chosenRow_; }
  // The chosen candidate's position in the page-order index once confirmed; nothing when
  // cancelled, still waiting, or when the chosen row is not one of this question's.
  std::optional<int32_t> Chosen() const;

  std::vector<SuccessorRow> candidates;      // ListView2
  std::optional<SuccessorRow> lastChainedRow;  // ListView1
  int selected = -1;                          // the selected row of the candidate list

 private:
  std::vector<int32_t> positions_;
  int answer_ = kWaiting;
  int chosenRow_ = 0;
};

// One question as the Host presents it: the model, and what "把勾选的碎片保存为文件" does.
struct SuccessorQuestion {
  SuccessorChoice& choice;
  std::function<void()> saveTicked;
};

// AskSuccessor: fills `choice` with the candidates and the fragment at table position
// `lastChained`, asks through the Host and returns the chosen candidate's position in `order`;
// nothing when the user cancelled, closed the window, or the answer cannot be used.
std::optional<int32_t> AskSuccessor(SuccessorChoice& choice, const FragmentTable& table,
                                    const PageOrderIndex& order,
                                    const std::vector<int32_t>& candidates, int32_t lastChained,
                                    std::function<void()> saveTicked, Host& host);

// "把勾选的碎片保存为文件": asks for a folder ("保存目录") and writes each ticked candidate's pages to
// <folder>/<fsec>.hex, then "保存完毕"; a file that cannot be created or a page that cannot be read
// stops the save with its message. Nothing when the folder dialog is cancelled.
void SaveTickedCandidates(const SuccessorChoice& choice, PageAccess& pages,
                          const DataSource& source, Host& host);

}  // namespace pagerake
