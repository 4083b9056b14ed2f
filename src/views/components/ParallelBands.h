#pragma once
#include <functional>

namespace tallymere::ParallelBands {

// Runs `draw(top, bottom)` for up to `maxBands` disjoint bands of `rows` pixel rows at once and
// returns when all are done. The bands run as tasks of the global thread pool: a painter working
// inside that pool fills its shapes on its own thread, rather than handing every large shape's
// spans to the pool and waiting on them, which costs more than it saves for many shapes.
void run(int rows, int maxBands, const std::function<void(int top, int bottom)>& draw);

} // namespace tallymere::ParallelBands
