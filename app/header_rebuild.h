// A database recovered without its page 0 gets one built from its own catalog: after the file is
// written (page 0 as zeros), its catalog is read from the file, page 0 is built from the catalog's
// row for the file and the size found, written in place and flushed, and the file's SHA-256 is
// taken again. This reads the written file once more, for such databases alone: the writer does
// not decode the catalog as the pages go out.
#pragma once

#include <string>

#include "assembly/mdf_writer.h"

namespace pagerake {

// Rebuilds page 0 of the file `w` wrote. True when it was; false, with the reason in English,
// when the file's catalog does not give it (the file stays as written).
bool RebuildHeaderPage(MdfWriteResult& w, std::string& why);

}  // namespace pagerake
