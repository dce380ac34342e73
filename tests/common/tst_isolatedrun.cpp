#include "common/isolatedrun.h"
#include "support/datatable.h"

#include <QElapsedTimer>
#include <QtTest>
#include <csignal>
#include <thread>

using namespace vorlan;

class TestIsolatedRun : public QObject {
    Q_OBJECT
  private slots:
    // Whatever the copy does, this process goes on and learns how the copy ended, in time.
    void endings_data() {
        test::DataTable<int, int, QByteArray>("behaviour", "end", "answer")
            .row("answers", 0, int(IsolatedEnd::Answered), QByteArray("fine\0bytes", 10))
            .row("answers nothing", 1, int(IsolatedEnd::Answered), QByteArray())
            .row("crashes", 2, int(IsolatedEnd::Failed), QByteArray())
            .row("hangs", 3, int(IsolatedEnd::Failed), QByteArray())
            .row("throws", 4, int(IsolatedEnd::Failed), QByteArray())
            .row("answers too much", 5, int(IsolatedEnd::Failed), QByteArray());
    }
    void endings() {
        QFETCH(int, behaviour);
        QFETCH(int, end);
        QFETCH(QByteArray, answer);
        int touched = 0;
        QElapsedTimer clock;
        clock.start();
        const IsolatedResult r = runIsolated(
            [&]() -> QByteArray {
                touched = 1; // the copy's own memory: never seen here
                switch (behaviour) {
                case 0:
                    return answer;
                case 2:
                    std::raise(SIGSEGV);
                    break;
                case 3:
                    std::this_thread::sleep_for(std::chrono::seconds(30));
                    break;
                case 4:
                    throw std::runtime_error("no");
                case 5:
                    return QByteArray(100, 'x');
                }
                return QByteArray();
            },
            300, 64);
        QCOMPARE(int(r.end), end);
        QCOMPARE(r.answer, answer);
        QCOMPARE(touched, 0);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    // Pixels the copy writes into the shared memory are the picture this process gets.
    void sharedPicture() {
        SharedPictureMemory memory;
        QVERIFY(memory.valid());
        const IsolatedResult r = runIsolated(
            [&memory] {
                QImage p = memory.writablePicture(5, 3, QImage::Format_Grayscale8);
                p.fill(0);
                p.scanLine(2)[4] = 200;
                return QByteArray::number(p.bytesPerLine());
            },
            5000);
        QCOMPARE(int(r.end), int(IsolatedEnd::Answered));
        const QImage p = memory.picture(5, 3, r.answer.toInt(), QImage::Format_Grayscale8);
        QCOMPARE(p.size(), QSize(5, 3));
        QCOMPARE(p.bytesPerLine(), 8);
        QCOMPARE(int(p.constScanLine(2)[4]), 200);
        QCOMPARE(int(p.constScanLine(1)[4]), 0);
    }
};

QTEST_GUILESS_MAIN(TestIsolatedRun)
#include "tst_isolatedrun.moc"
