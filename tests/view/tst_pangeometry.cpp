#include "support/datatable.h"
#include "view/pangeometry.h"

#include <QtTest>

using namespace vorlan;

class TestPanGeometry : public QObject {
    Q_OBJECT
private slots:
    void loaderSetupFor6000x4000() {
        const LoadPanSetup s = loadPanSetup(6000, 4000, 985, 551);
        QVERIFY(!s.tooBig);
        QCOMPARE(s.maxH, 5015);
        QCOMPARE(s.maxV, 3449);
        QCOMPARE(s.largeH, 492);
        QCOMPARE(s.largeV, 275);
        QCOMPARE(s.smallH, 246);
        QCOMPARE(s.smallV, 137);
    }

    void sizeLimit_data() {
        test::DataTable<float, float, bool>("w", "h", "tooBig")
            .row("33001 wide refused", 33001.f, 100.f, true)
            .row("32985 wide accepted", 32985.f, 100.f, false)
            .row("32551 high accepted", 100.f, 32551.f, false)
            .row("32552 high refused", 100.f, 32552.f, true);
    }
    void sizeLimit() {
        QFETCH(float, w);
        QFETCH(float, h);
        QFETCH(bool, tooBig);
        QCOMPARE(loadPanSetup(w, h, 985, 551).tooBig, tooBig);
    }

    void smallPictureGivesNegativeMax() {
        const LoadPanSetup s = loadPanSetup(600, 400, 985, 551);
        QCOMPARE(s.maxH, -385);
        QCOMPARE(s.maxV, -151);
    }

    void rescaleKeepsPointOne() {
        const RescaleGeometry g = rescaleGeometry(1, 2, 0, 0, 1500, 750, 600, 400);
        QCOMPARE(g.left, -100.0f);
        QCOMPARE(g.top, -50.0f);
        QCOMPARE(g.width, 1200);
        QCOMPARE(g.height, 800);
        // Drawn position of the point stays at (100, 50).
        QCOMPARE(g.left + 1500 * 2 / 15.0f, 100.0f);
        // No point: the corner stays.
        const RescaleGeometry c = rescaleGeometry(1, 0.5f, 12, 34, 0, 0, 601, 401);
        QCOMPARE(c.left, 12.0f);
        QCOMPARE(c.top, 34.0f);
        QCOMPARE(c.width, 300);
        QCOMPARE(c.height, 200);
        // A zero old scale never divides.
        const RescaleGeometry z = rescaleGeometry(0, 1, 5, 6, 1500, 750, 10, 10);
        QCOMPARE(z.left, 5.0f);
        QVERIFY(std::isfinite(z.top));
    }

    void rescalePanBars() {
        // Frame 1200 wide at -100: Max |1200-985| = 215, Value |-100| since 215 > 100.
        RescalePanSetup s = rescalePanSetup(1200, 800, -100, -50, 985, 551);
        QCOMPARE(s.maxH, 215);
        QCOMPARE(s.maxV, 249);
        QVERIFY(s.setH && s.setV);
        QCOMPARE(s.valueH, 100);
        QCOMPARE(s.valueV, 50);
        QCOMPARE(s.largeH, 492);
        QCOMPARE(s.smallH, 123);
        QCOMPARE(s.largeV, 275);
        QCOMPARE(s.smallV, 68);
        // A frame shifted right adds its offset; a small range does not move the bar.
        s = rescalePanSetup(1000, 500, 20, 300, 985, 551);
        QCOMPARE(s.maxH, 35);
        QVERIFY(s.setH);
        QCOMPARE(s.maxV, 249);
        QVERIFY(!s.setV);
    }

    void overallSliderValues() {
        QCOMPARE(overallSliderValue(1.0f, 1.5f, 1, 3000), 1500);
        QCOMPARE(overallSliderValue(0.8f, 1.5f, 1, 3000), 1200);
        QCOMPARE(overallSliderValue(1.2f, 1.5f, 1, 3000), 1800);
        QCOMPARE(overallSliderValue(2.5f, 1.5f, 1, 3000), 3000);
        QCOMPARE(overallSliderValue(0.001f, 0.1f, 1, 3000), 1);
    }
};

QTEST_GUILESS_MAIN(TestPanGeometry)
#include "tst_pangeometry.moc"
