#include "platform/HeapPolicy.h"

#include <malloc.h>

namespace tallymere::HeapPolicy {

void returnLargeBlocks() {
    // Setting either bound also stops the library from moving them by itself.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
}

void giveBackFree() { malloc_trim(0); }

} // namespace tallymere::HeapPolicy
