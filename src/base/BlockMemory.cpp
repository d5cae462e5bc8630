#include "base/BlockMemory.h"

#include <cstdlib> // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Blocks up to this size come from the heap rather than a mapping of
// their own (a socket's read buffer, a read-ahead batch).
constexpr int kHeapUpTo = 4 * 1024 * 1024;
// A heap grows by this much more than it needs at once, and freed memory
// at its top is returned to the system only past the second figure: a
// window of blocks in flight (read ahead, waiting to be sent, waiting to
// be written) stays in place between blocks instead of being faulted in
// again page by page.
constexpr int kGrowBy = 32 * 1024 * 1024;
constexpr int kKeptFree = 64 * 1024 * 1024;

} // namespace

void KeepBlockMemory()
{
#if defined(__GLIBC__)
    // Fixing either threshold stops the library from moving both as it
    // sees large blocks freed, so both are set.
    mallopt(M_MMAP_THRESHOLD, kHeapUpTo);
    mallopt(M_TRIM_THRESHOLD, kKeptFree);
    mallopt(M_TOP_PAD, kGrowBy);
#endif
}
