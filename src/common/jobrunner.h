#pragma once

// Long work (a rotation, a cut-out, and whatever else takes seconds) runs on a worker thread of
// its own while the window goes on repainting, one job at a time:
//
//     if (!jobs.start(QStringLiteral("поворот"),
//                     [canvas, picture](JobControl& c) mutable {   // worker thread: values only
//                         for (int y = 0; y < rows && !c.stopRequested(); ++y) { ...; c.progress(y, rows); }
//                     },
//                     [](const JobProgress& p) { label->setText(p.text); },  // GUI thread
//                     [](const JobEnd& e) { e.rethrowFailure(); ... }))        // GUI thread
//         return; // another job runs: this start is refused
//
// The work function gets copies (QImage shares its pixels without copying them) and never
// touches a widget or the shared state; the two handlers run on the GUI thread, where it is safe.
// The windows start their jobs through frmBl::startJob, which guards the handlers and keeps
// StopRequested, and stop them through frmBl::requestStop ("Прервать").
//
// Work the user did not ask for (the difference picture the view wants next) runs in a lane of
// its own, startBackground, so that it never makes the user's own start wait or fail. "Прервать"
// is for what the user started; a background job is stopped when the runner goes. Code deep below a work function (star detection inside a registration)
// polls the stop of the job it runs in through JobControl::current(), without a control
// handed through every signature.

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

class QThread;
class QTimer;

namespace vorlan {

class JobRunner;

/// Where a job stands: done of total steps (rows, regions, ...) and a text for the window.
struct JobProgress {
    int done = 0;
    int total = 0;
    QString text;
    bool operator==(const JobProgress&) const = default;
};

/// How a job ended: stopped when a stop was asked for while it ran (it may have gone on after
/// taking the request, as a cut-out copies its second region); failure holds what it threw.
struct JobEnd {
    bool stopped = false;
    std::exception_ptr failure;
    /// Throws the job's exception again, so that the handler guard of the GUI thread reports
    /// it as it reports any handler's.
    void rethrowFailure() const {
        if (failure) std::rethrow_exception(failure);
    }
};

/// A running job's side of the runner, used from the worker thread. Polling is two relaxed
/// atomic reads, cheap enough for every pixel of a copy.
class JobControl {
  public:
    /// Tells the window where the job stands. Cheap enough for every row: the window takes the
    /// latest report JobRunner::ProgressIntervalMs apart, and always the last one, before the
    /// job's end is handled.
    void progress(int done, int total, const QString& text = QString());
    /// True once a stop has been asked for ("Прервать"): end the job soon, keeping what is done.
    inline bool stopRequested() const;
    /// As stopRequested(), and takes the request away, for a job that goes on after a stop: the
    /// next request is then seen afresh.
    inline bool takeStopRequest();

    /// The control of the job running on this thread; null on any other thread (the GUI
    /// thread, a pool thread a job shares its rows out to).
    static JobControl* current();

  private:
    friend class JobRunner;
    JobControl(JobRunner& runner, std::atomic<bool>& stop, bool reports);
    JobRunner& m_runner;
    std::atomic<bool>& m_stop;
    const std::atomic<bool>& m_held;
    const bool m_reports; ///< false in the background lane, which shows no progress
};

/// True once a stop was asked for the job running on this thread; false off a job's thread.
inline bool stopRequestedHere() {
    const JobControl* c = JobControl::current();
    return c && c->stopRequested();
}

/// Runs one job at a time on a worker thread and reports its progress and end on the thread
/// that owns the runner (the GUI thread). A start while a job runs is refused; a stop is a
/// request the job polls.
class JobRunner : public QObject {
    Q_OBJECT
  public:
    using Work = std::function<void(JobControl&)>;
    using OnProgress = std::function<void(const JobProgress&)>;
    using OnFinished = std::function<void(const JobEnd&)>;

    /// How often, in milliseconds, the latest progress reaches the GUI thread: 25 times a second,
    /// more than the eye follows, few enough to leave the worker its processor.
    static constexpr int ProgressIntervalMs = 40;

    explicit JobRunner(QObject* parent = nullptr);
    /// Asks a running job to stop and waits for it; its handlers are not called any more.
    ~JobRunner() override;

    /// Starts work on a worker thread. onProgress and onFinished run later on this object's thread
    /// (either may be empty). Returns false, and runs nothing, while another job runs. A stop
    /// asked for before the start does not reach this job.
    bool start(const QString& title, Work work, OnProgress onProgress = {}, OnFinished onFinished = {});
    /// True from a successful start until the job's end has been handled.
    bool busy() const { return m_user.thread != nullptr; }
    /// The running job's title; empty when none runs.
    QString title() const { return m_title; }
    /// Runs work in the background lane, beside whatever the user started: one background job
    /// at a time (false, and nothing run, while one runs), no progress, and neither busy(),
    /// title() nor the signals tell of it, and requestStop leaves it alone. onFinished runs
    /// later on this object's thread.
    bool startBackground(Work work, OnFinished onFinished = {});
    bool backgroundBusy() const { return m_background.thread != nullptr; }

    /// Asks the user's running job to stop; nothing when none runs.
    void requestStop();

    /// For tests that must act at a known point inside a run: while held, a running job waits
    /// at its next progress report or stop poll.
    void hold(bool held);

  signals:
    /// The job has started (after the start was accepted).
    void started(const QString& title);
    /// Progress as the job's onProgress gets it.
    void progressed(int done, int total, const QString& text);
    /// The job has ended and its onFinished has run; busy() is false again.
    void finished(bool stopped);

  private:
    friend class JobControl;
    /// One job at a time on a thread of its own.
    struct Lane {
        QThread* thread = nullptr;
        OnFinished onFinished;
        std::exception_ptr failure;
        std::atomic<bool> stop{false};
        std::atomic<bool> stopSeen{false};
    };
    void launch(Lane& lane, Work work, OnFinished onFinished, bool reports);
    JobEnd endOf(Lane& lane);
    void report(JobProgress p);
    void waitWhileHeld();
    void deliverProgress();
    void onThreadFinished();

    Lane m_user;
    Lane m_background;
    QTimer* m_progressTimer = nullptr;
    QString m_title;
    OnProgress m_onProgress;
    std::atomic<bool> m_held{false};

    std::mutex m_mutex; ///< guards what follows and the waits while held, shared with the worker
    std::condition_variable m_released;
    JobProgress m_latest;
    bool m_fresh = false; ///< m_latest not yet delivered
};

inline bool JobControl::stopRequested() const {
    if (m_held.load(std::memory_order_relaxed)) m_runner.waitWhileHeld();
    return m_stop.load(std::memory_order_relaxed);
}

inline bool JobControl::takeStopRequest() {
    return stopRequested() && m_stop.exchange(false);
}

} // namespace vorlan
