#pragma once

namespace tallymere::HeapPolicy {

// Makes the C library give back to the system the memory a long-lived process frees, for one that
// builds and drops large lists over and over on whichever of its threads is free (a scan's working
// lists, the layouts of a large tree), without mapping afresh the pictures it draws every frame: a
// heap gives back its free top once it passes 128 KiB, and only blocks from 32 MiB up (the largest
// bound the library takes) are mapped for each use and returned when freed. Left to itself the
// library raises the first bound to the largest block freed so far and lets each thread's heap
// keep twice that free: the few megabytes of lists a scan builds on a worker then stay with that
// worker, and as later scans land on other workers the process grows by as much again for each of
// them. A lower first bound would return those lists as well, but would also map every canvas
// picture (a few to tens of megabytes) afresh, its pages filled anew on every view switch. Call
// once, before any thread starts.
void returnLargeBlocks();

// Gives the free memory inside every heap back to the system now, where whole pages of it are
// free: after work that freed much of what it built (a scan's working lists).
void giveBackFree();

} // namespace tallymere::HeapPolicy
