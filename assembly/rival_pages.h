// The pages the analysis took from one fragment where another could have given them as well. As
// each such page goes out, the rival's page of the same number is read and compared with it:
// where they hold the same bytes the choice changed nothing. Where they differ the page stays
// named, even where the consistency check ties it to the file: a database of the same application
// carries the same units, and its pieces tie each other as this file's pages do.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "analysis/file_analysis.h"
#include "base/io_buffer.h"
#include "fragments/page_access.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"

namespace pagerake {

class RivalPages {
 public:
  // `choices`: the analysis's choices; `table`: the scan's fragments, whose lines they name.
  RivalPages(const std::vector<PageSpan>& choices, const FragmentTable* table);

  // The facts (kFactChosen, kFactRivalUnsettled, kFactRivalNone) of page `number`, held
  // in `page` as written; reads the rivals' pages of that number.
  uint16_t Judge(int64_t number, const uint8_t* page, PageAccess& pages,
                 const DataSource& source);

 private:
  std::vector<std::pair<int64_t, int32_t>> choices_;  // (page, rival line), sorted
  size_t next_ = 0;
  const FragmentTable* table_;
  IoBuffer rival_{kPageSize, IoBuffer::kUninitialized};
};

}  // namespace pagerake
