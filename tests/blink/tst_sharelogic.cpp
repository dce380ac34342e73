// What is shared of the blink: the phase order, the part of the picture area, the GIF delay and
// the file name.

#include "blink/blinkshare.h"

#include <QtTest>

using namespace vorlan;

class TestShareLogic : public QObject {
    Q_OBJECT

  private slots:
    void nextPhase_data() {
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("next");
        QTest::newRow("start of a pair") << 0 << 2 << 1;
        QTest::newRow("pair, to the partner") << 1 << 2 << 2;
        QTest::newRow("pair, back to picture 1") << 2 << 2 << 1;
        QTest::newRow("three phases, on to the third") << 2 << 3 << 3;
        QTest::newRow("three phases, back") << 3 << 3 << 1;
        QTest::newRow("left from three phases in a pair") << 3 << 2 << 1;
    }
    void nextPhase() {
        QFETCH(int, phase);
        QFETCH(int, count);
        QFETCH(int, next);
        QCOMPARE(nextBlinkPhase(phase, count), next);
    }

    void region_data() {
        QTest::addColumn<std::optional<QPointF>>("boxCentre");
        QTest::addColumn<QRect>("region");
        QTest::newRow("no box: the whole area") << std::optional<QPointF>() << QRect(0, 0, 780, 420);
        QTest::newRow("box inside") << std::optional<QPointF>(QPointF(300, 200)) << QRect(200, 100, 200, 200);
        // The sides stand on the pixel their coordinate falls in: 200.7 draws on pixel 200.
        QTest::newRow("box between pixels")
            << std::optional<QPointF>(QPointF(300.7, 200.2)) << QRect(200, 100, 200, 200);
        QTest::newRow("box over the left edge")
            << std::optional<QPointF>(QPointF(49.5, 150)) << QRect(0, 50, 149, 200);
        QTest::newRow("box over the lower right corner")
            << std::optional<QPointF>(QPointF(730, 400)) << QRect(630, 300, 150, 120);
        QTest::newRow("box outside") << std::optional<QPointF>(QPointF(1000, 200)) << QRect();
    }
    void region() {
        QFETCH(std::optional<QPointF>, boxCentre);
        QFETCH(QRect, region);
        const QRect shared = sharedRegion(QRect(0, 0, 780, 420), boxCentre);
        if (region.isNull())
            QVERIFY(shared.isEmpty());
        else
            QCOMPARE(shared, region);
    }

    void delay_data() {
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<int>("centiseconds");
        QTest::newRow("0.7 s") << 700 << 70;
        QTest::newRow("fastest blink") << 100 << 10;
        QTest::newRow("slowest blink") << 5000 << 500;
        QTest::newRow("rounded down") << 1234 << 123;
        QTest::newRow("rounded up") << 1236 << 124;
        QTest::newRow("never 0") << 3 << 1;
    }
    void delay() {
        QFETCH(int, intervalMs);
        QFETCH(int, centiseconds);
        QCOMPARE(gifDelayCentiseconds(intervalMs), centiseconds);
    }

    void fileName_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("no suffix") << "/tmp/m45"
                                   << "/tmp/m45.gif";
        QTest::newRow("suffix given") << "/tmp/m45.gif"
                                      << "/tmp/m45.gif";
        QTest::newRow("suffix in capitals") << "/tmp/M45.GIF"
                                            << "/tmp/M45.GIF";
        QTest::newRow("another picture format") << "/tmp/m45.png"
                                                << "/tmp/m45.png.gif";
        QTest::newRow("a folder named .gif") << "/tmp/blinks.gif/m45"
                                             << "/tmp/blinks.gif/m45.gif";
        QTest::newRow("a dot in the name") << "/tmp/comet 2024.08"
                                           << "/tmp/comet 2024.08.gif";
    }
    void fileName() {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QCOMPARE(withGifSuffix(chosen), written);
    }
};

QTEST_GUILESS_MAIN(TestShareLogic)
#include "tst_sharelogic.moc"
