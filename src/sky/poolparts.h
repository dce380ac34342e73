#pragma once

// Work split into parts that run on the threads of Qt's global pool, while the calling thread
// (a job's worker, or a test's) waits for them and meanwhile may report progress.

#include <QThreadPool>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

namespace vorlan {

/// Runs part(0) .. part(parts - 1) on the global pool and returns when all have ended; calls
/// waiting() on the calling thread every few milliseconds until then. The first exception a part
/// throws is thrown again here, after every part has ended.
inline void runPoolParts(int parts, const std::function<void(int)>& part,
                         const std::function<void()>& waiting = {}) {
    int left = parts;
    std::exception_ptr failure;
    std::mutex mutex;
    std::condition_variable ended;
    for (int i = 0; i < parts; ++i)
        QThreadPool::globalInstance()->start([&, i] {
            try {
                part(i);
            } catch (...) {
                const std::lock_guard lock(mutex);
                if (!failure) failure = std::current_exception();
            }
            const std::lock_guard lock(mutex);
            if (--left == 0) ended.notify_all();
        });
    std::unique_lock lock(mutex);
    while (left > 0) {
        if (waiting) {
            lock.unlock();
            waiting();
            lock.lock();
        }
        ended.wait_for(lock, std::chrono::milliseconds(10), [&] { return left == 0; });
    }
    if (failure) std::rethrow_exception(failure);
}

} // namespace vorlan
