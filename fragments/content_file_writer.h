// Writes the fragment-content file of a saved scan: for every line of the fragment table, the 15
// sectors in front of the fragment as read, then its pages scrambled with the key, and at the end
// the trailer (key rotated right by 3 bits, sectors per cluster). See page_access.h for the layout.
//
// Pages are read from the data source in large runs and written in large blocks; the bytes are
// those that reading, clearing and writing one page at a time gives, including where a fragment
// runs past the end of the source (zeros) and where a read fails (the file ends after the last
// page that could be read, without trailer).
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "base/host.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"

namespace pagerake {

enum class ContentWriteStatus { kDone, kReadFailed, kWriteFailed };

// Writes the whole content file to `out` (opened in binary mode). Lets the window process its
// events once per fragment and moves the gauge by fragment count when the table has more than one
// line. Shows no message: the caller does. `splitEnds`, when given, receives the lines whose last
// page fails its check (its tail may lie elsewhere: spare_sectors.h).
[[nodiscard]] ContentWriteStatus WriteFragmentContent(std::ostream& out,
                                                      const FragmentTable& table,
                                                      const DataSource& source, uint32_t key,
                                                      int16_t sectorsPerCluster, Host& host,
                                                      std::vector<size_t>* splitEnds = nullptr);

}  // namespace pagerake
