#pragma once

#include <cstdint>
#include <functional>

namespace orbelune {

// Threads the row-parallel kernels use; 0 restores the default (all cores).
void SetWorkerThreads(int count);
int WorkerThreads();

// Runs body(firstRow, endRow) over blocks of rows [0, rows) on all workers.
// Rows must be independent, so the result equals a single-threaded run.
// `progress(rowsDone - 1, rows)` is called on the calling thread only, with
// rows finished so far, rising; when it returns false no further block starts
// and ParallelRows returns false. `bytesPerRow` decides whether threads pay off.
// Bodies get `minBlockRows` rows at a time or more where there are so many
// (kernels that tile across rows want whole tiles); on one thread progress is
// then reported after each block.
bool ParallelRows(int rows, std::int64_t bytesPerRow, const std::function<void(int, int)>& body,
                  const std::function<bool(int, int)>& progress = {}, int minBlockRows = 1);

}  // namespace orbelune
