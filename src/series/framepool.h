#pragma once

// The frames of a series worked on side by side inside one job of the job runner: a few worker
// threads take the next frame as they come free, so that one reads its file while another
// computes. What a worker throws ends the run and is thrown again to the job.

#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vorlan {

class JobControl;

class FramePool {
  public:
    /// Counts one item done, from whichever thread.
    using Progress = std::function<void()>;

    /// workers threads (at least 1) for count items; control may be null.
    FramePool(int count, int workers, JobControl* control) : m_count(count), m_workers(workers), m_control(control) {}

    /// Calls work(i) for every i in 0 .. count - 1 (each once, in rising order of start) until a
    /// stop is asked for; true when every item was done.
    bool run(const std::function<void(int)>& work);

    /// Counts one item as done and reports "text k из n" to the job (thread-safe).
    void itemDone(const QString& text);

    bool stopRequested() const;

  private:
    int m_count, m_workers;
    JobControl* m_control;
    std::atomic<int> m_next{0};
    std::atomic<bool> m_failed{false};
    std::atomic<int> m_completed{0};
    std::mutex m_mutex; ///< guards the progress reports and the failure
    int m_done = 0;
    std::exception_ptr m_failure;
};

/// Lets every block of a megabyte or more have pages of its own, handed back to the system when
/// it is freed. The allocator would otherwise serve blocks up to the size of the largest one freed
/// (tens of megabytes: a binned frame) from its per-thread arenas and keep them there after they
/// are freed, as many as there were threads, for the whole run of a series.
void keepLargeBlocksMapped();

/// Frame-sized buffers handed on from one frame to the next: a fresh buffer costs the system a
/// page fault and a cleared page for every 4 KB of it, as long as reading the frame into it.
class FrameShelf {
  public:
    /// A buffer put back earlier, or an empty one.
    std::vector<float> take() {
        std::lock_guard lock(m_mutex);
        if (m_free.empty()) return {};
        std::vector<float> b = std::move(m_free.back());
        m_free.pop_back();
        return b;
    }
    void putBack(std::vector<float>&& buffer) {
        std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(buffer));
    }

  private:
    std::mutex m_mutex;
    std::vector<std::vector<float>> m_free;
};

} // namespace vorlan
