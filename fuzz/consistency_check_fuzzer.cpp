// The consistency check over arbitrary pages: every whole 8192-byte page of the input fed at its
// place, in a file longer than the pages given by what the first two bytes say, then the verdict
// on every page. The record-layout rule runs on each page alone too.
//
// Input: the pages the file has beyond the ones given (2 bytes, at most 4095), then the pages.
#include <cstdint>
#include <cstdlib>

#include "database/consistency_check.h"
#include "fuzz/fuzz_support.h"
#include "page/page_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  fuzz::InputReader in(data, size);
  const int64_t beyond = in.U16() % 4096;
  const int64_t given = static_cast<int64_t>(in.left() / kPageSize);
  ConsistencyCheck check(given + beyond);
  for (int64_t p = 0; p < given; ++p) {
    size_t taken = 0;
    const uint8_t* page = in.Bytes(kPageSize, taken);
    (void)RecordLayoutHolds(page);
    check.Add(p, page);
  }
  const ConsistencyReport r = check.Finish();
  // Every page has one standing, and the counts add up.
  if (static_cast<int64_t>(r.standing.size()) != given + beyond || r.unknown() < 0) std::abort();
  for (const ConsistencyFinding& f : r.findings) {
    if (f.page < 0 || f.page >= given + beyond) std::abort();
  }
  return 0;
}
