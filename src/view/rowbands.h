#pragma once

// Long row loops over a picture shared out among the worker threads of the global pool.

#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <atomic>

namespace vorlan {

/// Runs body(y0, y1) over [0, rows) in bands when the work is big enough to be worth sharing:
/// the caller's thread and the pool's take the next band as each finishes, so a thread that the
/// system holds back delays no more than one band.
template <typename Body> void inBands(int rows, double work, const Body& body) {
    QThreadPool* pool = QThreadPool::globalInstance();
    const int helpers = std::max(0, pool->maxThreadCount() - 1);
    const int bands = work < 2.0e6 || helpers == 0 ? 1 : std::min(rows / 8, 8 * (helpers + 1));
    if (bands <= 1) {
        body(0, rows);
        return;
    }
    std::atomic<int> next{0};
    auto takeBands = [&] {
        for (int b = next++; b < bands; b = next++)
            body(rows * b / bands, rows * (b + 1) / bands);
    };
    QSemaphore done;
    for (int h = 0; h < helpers; ++h)
        pool->start([&takeBands, &done] {
            takeBands();
            done.release();
        });
    takeBands();
    done.acquire(helpers);
}

} // namespace vorlan
