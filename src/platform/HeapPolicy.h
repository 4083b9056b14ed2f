#pragma once

namespace tallymere::HeapPolicy {

// Makes the C library give large blocks back to the system when they are freed, for a long-lived
// process that builds and drops large lists over and over on whichever of its threads is free (a
// scan's working lists, the layouts of a large tree). Blocks from 1 MiB up are taken from the
// system for each use and returned when freed, and a heap gives back its free top once it passes
// 128 KiB. Left to itself the library raises the first bound to the largest block freed so far (up
// to 32 MiB) and lets each thread's heap keep twice that free: the few megabytes of lists a scan
// builds on a worker then stay with that worker, and as later scans land on other workers the
// process grows by as much again for each of them. Call once, before any thread starts.
void returnLargeBlocks();

// Gives the free memory inside every heap back to the system now, where whole pages of it are
// free: after work that freed much of what it built (a scan's working lists).
void giveBackFree();

} // namespace tallymere::HeapPolicy
