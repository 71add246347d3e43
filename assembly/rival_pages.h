// The pages the analysis took from one fragment where another could have given them as well. As
// each such page goes out, the rival's page of the same number is read and compared with it:
// where they hold the same bytes the choice changed nothing. Where they differ, a header that ties
// the page to the file is no proof by itself: a database of the same application carries the same
// units, and its pieces tie each other as this file's pages do. So the file is checked a second
// time as it would stand with each rival in place of the pages chosen over it; where the file's
// own structures refute the rival there, and not the page chosen, the choice is borne out.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "analysis/file_analysis.h"
#include "base/io_buffer.h"
#include "database/consistency_check.h"
#include "fragments/page_access.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"

namespace pagerake {

class RivalPages {
 public:
  // `choices`: the analysis's choices; `table`: the scan's fragments, whose lines they name;
  // `filePages`: the file's length in pages as far as known (the second check's length).
  RivalPages(const std::vector<PageSpan>& choices, const FragmentTable* table, int64_t filePages);
  ~RivalPages();

  // The facts (kFactChosen, kFactRivalUnsettled, kFactRivalNone, and kFactRivalRefuted where the
  // content settled every differing rival's choice) of page `number`, held
  // in `page` as written; reads the rivals' pages of that number. Every page written goes through
  // here, in page order, for the second check.
  uint16_t Judge(int64_t number, const uint8_t* page, PageAccess& pages,
                 const DataSource& source);

  // The pages whose one rival differs and that the file's structures decide for: with the rival
  // in place its span of pages breaks a rule (the rival or a page it ties to is refuted), while as
  // written nothing refutes a page of that span. `written`: the check of the file as written.
  // Call once, after the last Judge.
  std::vector<int64_t> RivalsRefuted(const ConsistencyReport& written);

 private:
  struct Choice {
    int64_t page;
    int32_t rival;  // its line
    bool settled;   // the content showed the rival is not the file's (PageSpan::Settled)
    auto operator<=>(const Choice&) const = default;
  };
  std::vector<Choice> choices_;  // sorted
  size_t next_ = 0;
  const FragmentTable* table_;
  IoBuffer rival_{kPageSize, IoBuffer::kUninitialized};
  // The file with the rivals in place, and the pages put there (a single differing rival each).
  std::unique_ptr<ConsistencyCheck> withRivals_;
  std::vector<std::pair<int64_t, int32_t>> replaced_;  // (page, rival line), in page order
};

}  // namespace pagerake
