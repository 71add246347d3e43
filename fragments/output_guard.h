// Output files never replace a file the program reads from: the data source (a disk image, or a
// device) and the open fragment-content file. Checked by file identity, not by name, so another
// name for the same file is caught too. Nor is anything written onto the disk or partition being
// read, where it could land on the clusters still to be recovered.
#pragma once

#include <optional>
#include <string>

#include "fragments/page_access.h"
#include "source/data_source.h"

namespace pagerake {

// The message that refuses writing to `outputPath`, or nothing when it may be written.
std::optional<std::string> OutputRefusal(const std::string& outputPath, const DataSource& source,
                                         const PageAccess& pages);

}  // namespace pagerake
