// What a written file holds wrong that its recovery report does not say.
#pragma once

#include <cstdint>
#include <vector>

#include "app/recovery.h"

namespace pagerake::testing {

// The pages of `written` that stand at their place (header version 1 and their own page id),
// differ from `original` and that the report names nowhere: not among the pages that fail
// verification, the unprotected pages that fail the structural check, nor the pages chosen among
// other fragments.
int32_t CountUnreportedWrongPages(const std::vector<uint8_t>& written,
                                  const std::vector<uint8_t>& original,
                                  const RecoveryReport& report);

}  // namespace pagerake::testing
