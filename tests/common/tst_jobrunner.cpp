// The job runner as its users see it from the GUI thread: progress while the job runs, the
// last report before the end, a stop that ends a polling job quickly, one job at a time.

#include "common/jobrunner.h"
#include "common/vorlanerror.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>
#include <atomic>

using namespace vorlan;

namespace {

/// A job that reports step after step until it has done steps (or, with steps 0, until stopped).
JobRunner::Work stepping(int steps, int msPerStep = 2) {
    return [steps, msPerStep](JobControl& c) {
        for (int i = 1; steps == 0 || i <= steps; ++i) {
            QThread::msleep(msPerStep);
            c.progress(i, steps, QString::number(i));
            if (c.stopRequested()) return;
        }
    };
}

/// Counts the ends a job's finish handler is given and keeps the last.
struct Ends {
    int count = 0;
    JobEnd last;
    auto handler() {
        return [this](const JobEnd& e) {
            ++count;
            last = e;
        };
    }
};

} // namespace

class TestJobRunner : public QObject {
    Q_OBJECT

  private slots:
    void progressArrivesWhileItRunsAndTheLastBeforeTheEnd() {
        JobRunner jobs;
        QList<JobProgress> seen;
        QList<bool> busyWhenSeen;
        Ends ends;
        QSignalSpy started(&jobs, &JobRunner::started);
        QSignalSpy finished(&jobs, &JobRunner::finished);
        QVERIFY(jobs.start(
            "steps", stepping(60),
            [&](const JobProgress& p) {
                seen << p;
                busyWhenSeen << jobs.busy();
                QCOMPARE(ends.count, 0);
            },
            [&](const JobEnd& e) {
                QVERIFY(!jobs.busy()); // a finish handler may start the next job
                ends.handler()(e);
            }));
        QVERIFY(jobs.busy());
        QCOMPARE(jobs.title(), QString("steps"));
        QCOMPARE(started.value(0).value(0).toString(), QString("steps"));
        QTRY_COMPARE_WITH_TIMEOUT(ends.count, 1, 10000);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!ends.last.stopped && !ends.last.failure);
        QVERIFY(!jobs.busy());
        QVERIFY(jobs.title().isEmpty());
        // Reports came while the job ran, in order, never all of them, and the last was exact.
        QVERIFY2(seen.size() >= 2, qPrintable(QString::number(seen.size())));
        QVERIFY(seen.size() < 60);
        QVERIFY(busyWhenSeen.first());
        QVERIFY(seen.first().done < 60);
        for (int i = 1; i < seen.size(); ++i)
            QVERIFY(seen[i].done > seen[i - 1].done);
        QCOMPARE(seen.last(), (JobProgress{60, 60, "60"}));
    }

    // A polling job ends within 100 ms of a stop; meanwhile a second job is refused whatever it
    // is, and a stop asked for while nothing runs does not reach the next job.
    void aStopEndsAPollingJobQuicklyAndOneJobRunsAtATime() {
        JobRunner jobs;
        Ends ends;
        std::atomic<int> secondRan{0};
        QVERIFY(jobs.start("first", stepping(0, 1), {}, ends.handler()));
        QVERIFY(!jobs.start(
            "second", [&](JobControl&) { ++secondRan; }, {}, ends.handler()));
        QCOMPARE(jobs.title(), QString("first"));
        QTest::qWait(30);
        QVERIFY(jobs.busy());
        QCOMPARE(ends.count, 0);
        QElapsedTimer sinceStop;
        sinceStop.start();
        jobs.requestStop();
        QTRY_COMPARE_WITH_TIMEOUT(ends.count, 1, 1000);
        QVERIFY2(sinceStop.elapsed() <= 100, qPrintable(QString::number(sinceStop.elapsed())));
        QVERIFY(ends.last.stopped);
        QVERIFY(!jobs.busy());
        QCOMPARE(secondRan.load(), 0);

        jobs.requestStop();
        QVERIFY(jobs.start("third", stepping(5), {}, ends.handler()));
        QTRY_COMPARE(ends.count, 2);
        QVERIFY(!ends.last.stopped);
    }

    void aJobThatTakesTheStopGoesOnAndItsFailureComesBack() {
        JobRunner jobs;
        std::atomic<int> phase{0};
        jobs.hold(true);
        Ends ends;
        QVERIFY(jobs.start(
            "two phases",
            [&](JobControl& c) {
                phase = 1;
                const bool first = c.takeStopRequest(); // held here until the test lets go
                const bool second = c.takeStopRequest();
                phase = 2;
                if (first && !second) throw overflowError();
            },
            {}, ends.handler()));
        QTRY_COMPARE(phase.load(), 1);
        QTest::qWait(20);
        QCOMPARE(phase.load(), 1); // held at its poll
        jobs.requestStop();
        jobs.hold(false);
        QTRY_COMPARE(ends.count, 1);
        QCOMPARE(phase.load(), 2);
        QVERIFY(ends.last.stopped);
        QVERIFY(ends.last.failure);
        try {
            ends.last.rethrowFailure();
            QFAIL("no exception");
        } catch (const VorlanError& e) {
            QCOMPARE(e.number(), int(Overflow));
        }
    }

    void destroyingTheRunnerStopsTheJobAndWaits() {
        std::atomic<bool> returned{false};
        Ends ends;
        {
            JobRunner jobs;
            QVERIFY(jobs.start(
                "endless",
                [&](JobControl& c) {
                    while (!c.stopRequested())
                        QThread::msleep(1);
                    returned = true;
                },
                {}, ends.handler()));
            QTest::qWait(10);
        }
        QVERIFY(returned);
        QCoreApplication::processEvents();
        QCOMPARE(ends.count, 0);
    }
};

QTEST_GUILESS_MAIN(TestJobRunner)
#include "tst_jobrunner.moc"
