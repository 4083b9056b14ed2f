#pragma once
#include <functional>

namespace tallymere::ParallelBands {

// Runs `draw(top, bottom)` for up to `maxBands` disjoint bands of `rows` pixel rows at once and
// returns when all are done. The bands run as tasks of the global thread pool: a painter working
// inside that pool fills its shapes on its own thread, rather than handing every large shape's
// spans to the pool and waiting on them, which costs more than it saves for many shapes.
// With `piecesPerBand` above 1 the rows are cut that many times finer and the pieces handed out as
// threads come free, for pictures whose work is uneven down the rows.
void run(int rows, int maxBands, const std::function<void(int top, int bottom)>& draw, int piecesPerBand = 1);

// Runs `work` on one thread of the global thread pool and returns when it is done (on the calling thread
// when that is a thread of the pool, or when no thread of the pool is free). A painter on the window's thread hands every
// large shape's spans to the pool in small pieces and waits for each; on a busy machine those
// hand-overs cost more than the drawing. On a thread of the pool it fills them itself, so a picture
// drawn by a general painter costs one hand-over in all.
void runOnPool(const std::function<void()>& work);

} // namespace tallymere::ParallelBands
