// How the process's allocator gives memory back.
//
// Recovery allocates buffers of a few hundred KiB to a few MiB again and again (page maps, copies
// of the fragment list, write buffers). The GNU C library's allocator serves a large block from
// its own mapping and returns it to the system when freed, but after the first such free it moves
// that size into the heap, where freed blocks stay resident: one long session then grew by tens of
// MiB over its first fifty recoveries without holding any more data. Fixing the threshold at its
// usual 128 KiB keeps every large block in a mapping of its own, so memory stays flat however long
// the window or a script runs.
#pragma once

namespace pagerake {

// Called once at the start of a front end (a no-op where the C library has no such setting).
void KeepLargeBlocksMapped();

}  // namespace pagerake
