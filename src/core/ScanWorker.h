#pragma once
#include "core/FileTree.h"
#include "core/ScanContext.h"

// One scan thread's work: reading folders from the queue into the tree, and summing each folder as
// soon as everything below it is read. Private to DiskScanner.
namespace tallymere::ScanWorker {

// Reads folders from the context's queue until none is left or the scan is cancelled. Nodes are made
// in `arena`; thread 0 also tells the progress which folder is under way.
void work(ScanContext& context, NodeArena& arena, Scratch& scratch, int index);

} // namespace tallymere::ScanWorker
