#include "source/process_memory.h"

#include <cstdlib>  // defines __GLIBC__ where it is the C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace pagerake {

void KeepLargeBlocksMapped() {
#if defined(__GLIBC__)
  // Setting it at all turns off the allocator's own raising of it.
  (void)::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

}  // namespace pagerake
