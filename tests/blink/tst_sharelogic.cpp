// What is shared of the blink: the part of the picture area, and the file name.

#include "blink/blinkshare.h"
#include "support/datatable.h"

#include <QtTest>

using namespace vorlan;

using BoxCentre = std::optional<QPointF>;

class TestShareLogic : public QObject {
    Q_OBJECT

  private slots:
    void region_data() {
        // region: of a picture area of 780 x 420 pixels
        test::DataTable<BoxCentre, QRect>("centre", "region")
            .row("no box: the whole area", BoxCentre(), QRect(0, 0, 780, 420))
            .row("box inside", BoxCentre(QPointF(300, 200)), QRect(200, 100, 200, 200))
            // The sides stand on the pixel their coordinate falls in: 200.7 is drawn on pixel 200.
            .row("box between pixels", BoxCentre(QPointF(300.7, 200.2)), QRect(200, 100, 200, 200))
            .row("box over the left edge", BoxCentre(QPointF(49.5, 150)), QRect(0, 50, 149, 200))
            .row("box over the lower right corner", BoxCentre(QPointF(730, 400)), QRect(630, 300, 150, 120))
            .row("box outside", BoxCentre(QPointF(1000, 200)), QRect());
    }
    void region() {
        QFETCH(BoxCentre, centre);
        QFETCH(QRect, region);
        const QRect shared = sharedRegion(QRect(0, 0, 780, 420), centre);
        QCOMPARE(shared.isEmpty() ? QRect() : shared, region);
    }

    void fileName_data() {
        test::textFunctionTable()
            .row("suffix given", "/tmp/m45.gif", "/tmp/m45.gif")
            .row("suffix in capitals", "/tmp/M45.GIF", "/tmp/M45.GIF")
            .row("another picture format", "/tmp/m45.png", "/tmp/m45.png.gif")
            .row("a folder named .gif", "/tmp/blinks.gif/m45", "/tmp/blinks.gif/m45.gif");
    }
    void fileName() { test::checkTextFunction(withGifSuffix); }
};

QTEST_GUILESS_MAIN(TestShareLogic)
#include "tst_sharelogic.moc"
