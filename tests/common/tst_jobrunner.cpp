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

} // namespace

class TestJobRunner : public QObject {
    Q_OBJECT

  private slots:
    void progressArrivesWhileItRunsAndTheLastBeforeTheEnd() {
        JobRunner jobs;
        QList<JobProgress> seen;
        QList<bool> busyWhenSeen;
        int ends = 0;
        JobEnd end;
        QSignalSpy started(&jobs, &JobRunner::started);
        QSignalSpy finished(&jobs, &JobRunner::finished);
        QVERIFY(jobs.start(
            "steps", stepping(60),
            [&](const JobProgress& p) {
                seen << p;
                busyWhenSeen << jobs.busy();
                QCOMPARE(ends, 0);
            },
            [&](const JobEnd& e) {
                ++ends;
                end = e;
                QVERIFY(!jobs.busy()); // a finish handler may start the next job
            }));
        QVERIFY(jobs.busy());
        QCOMPARE(jobs.title(), QString("steps"));
        QCOMPARE(started.value(0).value(0).toString(), QString("steps"));
        QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 10000);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!end.stopped && !end.failure);
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

    void aStopEndsAPollingJobWithin100Ms() {
        JobRunner jobs;
        bool ended = false;
        JobEnd end;
        QVERIFY(jobs.start("until stopped", stepping(0, 1), {}, [&](const JobEnd& e) {
            ended = true;
            end = e;
        }));
        QTRY_VERIFY(jobs.busy()); // let it run a little
        QTest::qWait(30);
        QVERIFY(!ended);
        QElapsedTimer sinceStop;
        sinceStop.start();
        jobs.requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(ended, 1000);
        QVERIFY2(sinceStop.elapsed() <= 100, qPrintable(QString::number(sinceStop.elapsed())));
        QVERIFY(end.stopped);
        QVERIFY(!jobs.busy());
    }

    void oneJobAtATime() {
        JobRunner jobs;
        std::atomic<int> secondRan{0};
        int ends = 0;
        QVERIFY(jobs.start("first", stepping(0, 1), {}, [&](const JobEnd&) { ++ends; }));
        // Refused, whatever it is: nothing of it runs, the first goes on.
        QVERIFY(!jobs.start(
            "second", [&](JobControl&) { ++secondRan; }, {}, [&](const JobEnd&) { ++ends; }));
        QCOMPARE(jobs.title(), QString("first"));
        QTest::qWait(20);
        QVERIFY(jobs.busy());
        jobs.requestStop();
        QTRY_VERIFY(!jobs.busy());
        QCOMPARE(ends, 1);
        QCOMPARE(secondRan.load(), 0);

        // A stop asked for while nothing runs does not reach the next job.
        jobs.requestStop();
        JobEnd end;
        QVERIFY(jobs.start("third", stepping(5), {}, [&](const JobEnd& e) {
            ++ends;
            end = e;
        }));
        QTRY_COMPARE(ends, 2);
        QVERIFY(!end.stopped);
    }

    void aJobThatTakesTheStopGoesOnAndItsFailureComesBack() {
        JobRunner jobs;
        std::atomic<int> phase{0};
        jobs.hold(true);
        JobEnd end;
        bool ended = false;
        QVERIFY(jobs.start(
            "two phases",
            [&](JobControl& c) {
                phase = 1;
                const bool first = c.takeStopRequest(); // held here until the test lets go
                const bool second = c.takeStopRequest();
                phase = 2;
                if (first && !second) throw overflowError();
            },
            {},
            [&](const JobEnd& e) {
                end = e;
                ended = true;
            }));
        QTRY_COMPARE(phase.load(), 1);
        QTest::qWait(20);
        QCOMPARE(phase.load(), 1); // held at its poll
        jobs.requestStop();
        jobs.hold(false);
        QTRY_VERIFY(ended);
        QCOMPARE(phase.load(), 2);
        QVERIFY(end.stopped);
        QVERIFY(end.failure);
        try {
            end.rethrowFailure();
            QFAIL("no exception");
        } catch (const VorlanError& e) {
            QCOMPARE(e.number(), int(Overflow));
        }
    }

    void destroyingTheRunnerStopsTheJobAndWaits() {
        std::atomic<bool> returned{false};
        bool handled = false;
        {
            JobRunner jobs;
            QVERIFY(jobs.start(
                "endless",
                [&](JobControl& c) {
                    while (!c.stopRequested())
                        QThread::msleep(1);
                    returned = true;
                },
                {}, [&](const JobEnd&) { handled = true; }));
            QTest::qWait(10);
        }
        QVERIFY(returned);
        QCoreApplication::processEvents();
        QVERIFY(!handled);
    }
};

QTEST_GUILESS_MAIN(TestJobRunner)
#include "tst_jobrunner.moc"
