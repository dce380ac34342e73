#include "series/framepool.h"

#include "common/jobrunner.h"

#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vorlan {

bool FramePool::stopRequested() const {
    return m_failed.load() || (m_control && m_control->stopRequested());
}

bool FramePool::run(const std::function<void(int)>& work) {
    auto loop = [&] {
        for (int i = m_next++; i < m_count && !stopRequested(); i = m_next++) {
            try {
                work(i);
                ++m_completed;
            } catch (...) {
                std::lock_guard lock(m_mutex);
                if (!m_failure) m_failure = std::current_exception();
                m_failed = true;
            }
        }
    };
    const int threads = std::clamp(m_workers, 1, std::max(1, m_count));
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(loop);
    loop(); // the job's own thread is one of the workers
    for (std::thread& t : helpers)
        t.join();
    if (m_failure) std::rethrow_exception(m_failure);
    return m_completed == m_count;
}

void FramePool::itemDone(const QString& text) {
    std::lock_guard lock(m_mutex);
    ++m_done;
    if (m_control) m_control->progress(m_done, m_count, QStringLiteral("%1: %2 из %3").arg(text).arg(m_done).arg(m_count));
}

void keepLargeBlocksMapped() {
#if defined(__GLIBC__)
    static const bool once = mallopt(M_MMAP_THRESHOLD, 1 << 20);
    Q_UNUSED(once);
#endif
}

} // namespace vorlan
