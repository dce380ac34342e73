#include "common/jobrunner.h"

#include <QThread>
#include <QTimer>

namespace vorlan {

namespace {
thread_local JobControl* currentControl = nullptr;
}

JobControl::JobControl(JobRunner& runner, std::atomic<bool>& stop, bool reports)
    : m_runner(runner), m_stop(stop), m_held(runner.m_held), m_reports(reports) {}

void JobControl::progress(int done, int total, const QString& text) {
    m_runner.waitWhileHeld();
    if (m_reports) m_runner.report({done, total, text});
}

JobControl* JobControl::current() {
    return currentControl;
}

JobRunner::JobRunner(QObject* parent) : QObject(parent), m_progressTimer(new QTimer(this)) {
    m_progressTimer->setInterval(ProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, &JobRunner::deliverProgress);
}

JobRunner::~JobRunner() {
    m_user.stop = true;
    m_background.stop = true;
    hold(false);
    for (Lane* lane : {&m_user, &m_background})
        if (lane->thread) {
            lane->thread->wait();
            delete lane->thread;
        }
}

void JobRunner::launch(Lane& lane, Work work, OnFinished onFinished, bool reports) {
    lane.onFinished = std::move(onFinished);
    lane.failure = nullptr;
    lane.stop = false;
    lane.stopSeen = false;
    lane.thread = QThread::create([this, &lane, reports, work = std::move(work)] {
        JobControl control(*this, lane.stop, reports);
        currentControl = &control;
        try {
            work(control);
        } catch (...) {
            // Read on the GUI thread only after the thread has ended.
            lane.failure = std::current_exception();
        }
        currentControl = nullptr;
    });
    // Queued: the thread emits finished from itself; the end is handled on this object's thread.
    if (&lane == &m_user)
        connect(lane.thread, &QThread::finished, this, &JobRunner::onThreadFinished, Qt::QueuedConnection);
    else
        connect(
            lane.thread, &QThread::finished, this,
            [this] {
                const JobEnd end = endOf(m_background);
                const OnFinished onFinished = std::move(m_background.onFinished);
                m_background.onFinished = nullptr;
                if (onFinished) onFinished(end);
            },
            Qt::QueuedConnection);
}

JobEnd JobRunner::endOf(Lane& lane) {
    lane.thread->wait();
    delete lane.thread;
    lane.thread = nullptr;
    const JobEnd end{lane.stopSeen.load(), lane.failure};
    lane.failure = nullptr;
    return end;
}

bool JobRunner::start(const QString& title, Work work, OnProgress onProgress, OnFinished onFinished) {
    if (m_user.thread) return false;
    m_title = title;
    m_onProgress = std::move(onProgress);
    {
        std::lock_guard lock(m_mutex);
        m_fresh = false;
    }
    launch(m_user, std::move(work), std::move(onFinished), true);
    m_progressTimer->start();
    m_user.thread->start();
    emit started(title);
    return true;
}

bool JobRunner::startBackground(Work work, OnFinished onFinished) {
    if (m_background.thread) return false;
    launch(m_background, std::move(work), std::move(onFinished), false);
    m_background.thread->start(QThread::LowPriority);
    return true;
}

void JobRunner::requestStop() {
    if (!m_user.thread) return;
    m_user.stopSeen = true;
    m_user.stop = true;
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
    const JobEnd end = endOf(m_user);
    // The last report, so the window is left showing where the job ended.
    deliverProgress();
    const OnFinished onFinished = std::move(m_user.onFinished);
    m_user.onFinished = nullptr;
    m_onProgress = nullptr;
    m_title.clear();
    if (onFinished) onFinished(end);
    emit finished(end.stopped);
}

} // namespace vorlan
