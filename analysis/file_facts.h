// Steps 3 and 4 of the analysis: what the file says of itself before its pages are chained, its
// size and its name.
#pragma once

#include <cstdint>

#include "analysis/file_analysis.h"

namespace pagerake {

// From page 0 of the start fragment (the size only as far as page 0 can be trusted, file_size.h)
// and page 32 (the name); the LSN bound from page 9 where the rule is on. False when page 0
// cannot be read or records no size.
bool ReadFileFacts(const AnalysisInput& in, AnalysisResults& results);

// For a start fragment that begins at page `begin` (> 0), a database whose first pages are gone
// (headless_files.h): the size is what the scan saw of the file's id (the writing settles it from
// what it holds and what the allocation pages mark), the name what page 32 records where the start
// fragment holds it.
bool ReadHeadlessFacts(const AnalysisInput& in, int32_t begin, AnalysisResults& results);

}  // namespace pagerake
