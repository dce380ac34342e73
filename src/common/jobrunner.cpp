#include "common/jobrunner.h"

#include <QThread>
#include <QTimer>

namespace vorlan {

JobControl::JobControl(JobRunner& runner) : m_runner(runner), m_stop(runner.m_stop), m_held(runner.m_held) {}

void JobControl::progress(int done, int total, const QString& text) {
    m_runner.waitWhileHeld();
    m_runner.report({done, total, text});
}

JobRunner::JobRunner(QObject* parent) : QObject(parent), m_progressTimer(new QTimer(this)) {
    m_progressTimer->setInterval(ProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, &JobRunner::deliverProgress);
}

JobRunner::~JobRunner() {
    if (!m_thread) return;
    m_stop = true;
    hold(false);
    m_thread->wait();
    delete m_thread;
}

bool JobRunner::start(const QString& title, Work work, OnProgress onProgress, OnFinished onFinished) {
    if (m_thread) return false;
    m_title = title;
    m_onProgress = std::move(onProgress);
    m_onFinished = std::move(onFinished);
    m_failure = nullptr;
    m_stop = false;
    m_stopSeen = false;
    {
        std::lock_guard lock(m_mutex);
        m_fresh = false;
    }
    m_thread = QThread::create([this, work = std::move(work)] {
        JobControl control(*this);
        try {
            work(control);
        } catch (...) {
            // Read on the GUI thread only after the thread has ended.
            m_failure = std::current_exception();
        }
    });
    // Queued: the thread emits finished from itself; the end is handled on this object's thread.
    connect(m_thread, &QThread::finished, this, &JobRunner::onThreadFinished, Qt::QueuedConnection);
    m_progressTimer->start();
    m_thread->start();
    emit started(title);
    return true;
}

void JobRunner::requestStop() {
    if (!m_thread) return;
    m_stopSeen = true;
    m_stop = true;
}

void JobRunner::hold(bool held) {
    {
        std::lock_guard lock(m_mutex);
        m_held = held;
    }
    if (!held) m_released.notify_all();
}

void JobRunner::waitWhileHeld() {
    if (!m_held) return;
    std::unique_lock lock(m_mutex);
    m_released.wait(lock, [this] { return !m_held; });
}

void JobRunner::report(JobProgress p) {
    std::lock_guard lock(m_mutex);
    m_latest = std::move(p);
    m_fresh = true;
}

void JobRunner::deliverProgress() {
    JobProgress p;
    {
        std::lock_guard lock(m_mutex);
        if (!m_fresh) return;
        p = m_latest;
        m_fresh = false;
    }
    if (m_onProgress) m_onProgress(p);
    emit progressed(p.done, p.total, p.text);
}

void JobRunner::onThreadFinished() {
    m_progressTimer->stop();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    // The last report, so the window is left showing where the job ended.
    deliverProgress();
    const JobEnd end{m_stopSeen.load(), m_failure};
    const OnFinished onFinished = std::move(m_onFinished);
    m_onFinished = nullptr;
    m_onProgress = nullptr;
    m_failure = nullptr;
    m_title.clear();
    if (onFinished) onFinished(end);
    emit finished(end.stopped);
}

} // namespace vorlan
