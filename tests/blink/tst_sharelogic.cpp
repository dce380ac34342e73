// What is shared of the blink: the part of the picture area, and the file name.

#include "blink/blinkshare.h"

#include <QtTest>

using namespace vorlan;

using BoxCentre = std::optional<QPointF>;

class TestShareLogic : public QObject {
    Q_OBJECT

  private slots:
    void region_data() {
        QTest::addColumn<BoxCentre>("centre");
        QTest::addColumn<QRect>("region"); // of a picture area of 780 x 420 pixels
        QTest::newRow("no box: the whole area") << BoxCentre() << QRect(0, 0, 780, 420);
        QTest::newRow("box inside") << BoxCentre(QPointF(300, 200)) << QRect(200, 100, 200, 200);
        // The sides stand on the pixel their coordinate falls in: 200.7 is drawn on pixel 200.
        QTest::newRow("box between pixels") << BoxCentre(QPointF(300.7, 200.2)) << QRect(200, 100, 200, 200);
        QTest::newRow("box over the left edge") << BoxCentre(QPointF(49.5, 150)) << QRect(0, 50, 149, 200);
        QTest::newRow("box over the lower right corner")
            << BoxCentre(QPointF(730, 400)) << QRect(630, 300, 150, 120);
        QTest::newRow("box outside") << BoxCentre(QPointF(1000, 200)) << QRect();
    }
    void region() {
        QFETCH(BoxCentre, centre);
        QFETCH(QRect, region);
        const QRect shared = sharedRegion(QRect(0, 0, 780, 420), centre);
        QCOMPARE(shared.isEmpty() ? QRect() : shared, region);
    }

    void fileName_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("suffix given") << "/tmp/m45.gif"
                                      << "/tmp/m45.gif";
        QTest::newRow("suffix in capitals") << "/tmp/M45.GIF"
                                            << "/tmp/M45.GIF";
        QTest::newRow("another picture format") << "/tmp/m45.png"
                                                << "/tmp/m45.png.gif";
        QTest::newRow("a folder named .gif") << "/tmp/blinks.gif/m45"
                                             << "/tmp/blinks.gif/m45.gif";
    }
    void fileName() {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QCOMPARE(withGifSuffix(chosen), written);
    }
};

QTEST_GUILESS_MAIN(TestShareLogic)
#include "tst_sharelogic.moc"
