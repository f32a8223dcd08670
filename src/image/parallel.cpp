#include "image/parallel.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace orbelune {

namespace {

std::atomic<int> g_workerThreads{0};

// Below this much work per call, starting threads costs more than it saves.
constexpr std::int64_t kMinParallelBytes = 256 * 1024;

}  // namespace

void SetWorkerThreads(int count) {
    g_workerThreads = std::max(0, count);
}

int WorkerThreads() {
    const int chosen = g_workerThreads.load();
    if (chosen > 0) return chosen;
    return std::max(1u, std::thread::hardware_concurrency());
}

bool ParallelRows(int rows, std::int64_t bytesPerRow, const std::function<void(int, int)>& body,
                  const std::function<bool(int, int)>& progress, int minBlockRows) {
    if (rows <= 0) return true;
    const int threads = std::min(WorkerThreads(), rows);
    const bool serial =
        threads <= 1 || static_cast<std::int64_t>(rows) * bytesPerRow < kMinParallelBytes;
    if (serial) {
        // Row by row (or block by block), so that a stop request leaves later
        // rows untouched.
        const int step = std::max(1, minBlockRows);
        for (int first = 0; first < rows; first += step) {
            const int end = std::min(rows, first + step);
            body(first, end);
            for (int y = first; y < end; ++y)
                if (progress && !progress(y, rows)) return false;
        }
        return true;
    }

    // Small blocks keep the cores evenly loaded and progress smooth.
    const int blockRows = std::max({1, minBlockRows, std::min(64, rows / (threads * 8))});
    const int blocks = (rows + blockRows - 1) / blockRows;
    std::atomic<int> nextBlock{0};
    std::atomic<int> rowsDone{0};
    std::atomic<bool> stop{false};

    auto work = [&]() -> bool {
        const int block = nextBlock.fetch_add(1);
        if (block >= blocks || stop.load(std::memory_order_relaxed)) return false;
        const int first = block * blockRows;
        const int end = std::min(rows, first + blockRows);
        body(first, end);
        rowsDone.fetch_add(end - first);
        return true;
    };

    std::vector<std::thread> workers;
    workers.reserve(static_cast<std::size_t>(threads - 1));
    for (int t = 1; t < threads; ++t) {
        try {
            workers.emplace_back([&] {
                while (work()) {
                }
            });
        } catch (const std::system_error&) {
            break;  // fewer threads; the calling thread still does all remaining blocks
        }
    }

    bool keepGoing = true;
    int reported = 0;
    auto report = [&] {
        const int done = rowsDone.load();
        while (keepGoing && reported < done) {
            ++reported;
            if (progress && !progress(reported - 1, rows)) {
                keepGoing = false;
                stop = true;
            }
        }
    };
    while (keepGoing && work())
        report();
    for (std::thread& worker : workers)
        worker.join();
    if (keepGoing) report();
    return keepGoing;
}

}  // namespace orbelune
