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

} // namespace vorlan
