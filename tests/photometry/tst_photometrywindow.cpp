#include "common/numberforms.h"
#include "cutout/frmpiccopy.h"
#include "greypicture.h"
#include "photometry/circleshape.h"
#include "photometry/cutview.h"
#include "photometry/frmfm.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/datatable.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>
#include <cmath>

using namespace vorlan;
using namespace vorlan::test;

namespace {

void ctrlClick(frmFM& w, QPoint p) {
    QTest::mouseClick(w.Pic1, Qt::LeftButton, Qt::ControlModifier, p);
}

QImage shown(frmFM& w) {
    return w.Pic1->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

/// Counts the paint events a widget gets.
struct PaintCount : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override { return (count += e->type() == QEvent::Paint), false; }
};

class TestPhotometryWindow : public WindowTest {
    Q_OBJECT

    /// Picture 1 loaded from a BMP file through the menu.
    QString loadPicture(const QImage& picture) { return load(1, "p1.bmp", picture); }
    /// A right click (or Ctrl + click) on picture 1 at its pixel p; picture 1 is at scale 1.
    frmFM& cutAt(QPoint p, bool measure = false) {
        QTest::mouseClick(f->Img1, measure ? Qt::LeftButton : Qt::RightButton,
                          measure ? Qt::ControlModifier : Qt::NoModifier, p);
        return PhotometryForm();
    }

  private slots:
    // Before any cut-out the menu shows a white picture that holds nothing to measure, but its
    // white sets the threshold; "Выход" keeps what was typed, the title bar's close forgets it.
    void lifecycle() {
        f->mnuFM->trigger();
        frmFM& w = PhotometryForm();
        QVERIFY(w.isVisible());
        QCOMPARE(w.windowTitle(), QStringLiteral("Фотометрия избранной области"));
        QCOMPARE(w.Pic1->geometry(), QRect(16, 112, 400, 400));
        QCOMPARE(w.txtZ->toolTip(), QStringLiteral("Интегральный свет первой звезды"));
        QVERIFY(!w.Label4->isVisible());
        const QImage white = plainPicture(400, 400, Qt::white);
        QCOMPARE(shown(w), white);
        ctrlClick(w, QPoint(50, 50));
        QCOMPARE(w.LblInfo1->text(), QString());
        QCOMPARE(shown(w), white);
        QTest::mouseClick(w.Pic1, Qt::RightButton, {}, QPoint(50, 50));
        QCOMPARE(State().MinIntensity, 255.0f);
        QCOMPARE(w.HScFM->value(), 255);
        QCOMPARE(w.lblzvetZ->text(), QStringLiteral(" 255"));
        QCOMPARE(w.lblZvet->grab().toImage().pixel(2, 2), qRgb(255, 255, 255));

        type(w.txtZ, QStringLiteral("12,5x"));
        QCOMPARE(w.txtZ->text(), QStringLiteral("12.5"));
        QTest::mouseClick(w.cmdV, Qt::LeftButton);
        QVERIFY(!w.isVisible());
        f->mnuFM->trigger();
        QCOMPARE(PhotometryForm().txtZ->text(), QStringLiteral("12.5"));
        PhotometryForm().close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!PhotometryFormExists());
        f->mnuFM->trigger();
        QCOMPARE(PhotometryForm().txtZ->text(), QStringLiteral("20000"));
    }

    // A grey 3 x 3 star of 200 on 20, Ctrl + clicked on picture 1, measured at once; measured
    // again on the cut-out, it gives the same figures.
    void workedExample_data() {
        // texts: txtZ, txtZ2, txtM2
        // fields: LblInfo1, LblInfo2, txtKb, lblZV
        DataTable<bool, int, QStringList, QStringList> table("russian", "uv", "texts", "fields");
        const QString i1620 = "Общая интенсивность  1620";
        table.row("one star", false, 1, {"20000", "", ""},
                  {i1620, "Показатель цвета   0.00", " 2.857866", "1.12"});
        table.row("one star ru", true, 1, {"20000", "", ""},
                  {i1620, "Показатель цвета   0,00", " 2,857866", "1,12"});
        table.row("two stars", false, 1, {"20000", "2000", "0.5"},
                  {i1620, "Показатель цвета   0.00", " 2.5", "0.73"});
        table.row("uv 3", false, 3, {"20000", "", ""},
                  {"Общая интенсивность  180", "Показатель цвета   0.00", " 2.540699", "3.20"});
        table.row("txtZ emptied", false, 1, {"", "", ""}, {i1620, "Показатель цвета   0.00", "2.857866", ""});
    }
    void workedExample() {
        QFETCH(bool, russian);
        QFETCH(int, uv);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, fields);
        QLocale::setDefault(russian ? QLocale(QLocale::Russian) : QLocale::c());
        loadPicture(greyPicture({600, 500}, "299,249,3,3,200"));
        f->mnuFM->trigger();
        frmFM& w = PhotometryForm();
        type(w.txtZ, texts[0]);
        type(w.txtZ2, texts[1]);
        type(w.txtM2, texts[2]);
        if (uv != 1) dragTo(w.HScrUv, uv);
        QCOMPARE(w.HScrUv->value(), uv);

        cutAt(QPoint(300, 250), true);
        const QLabel* mode = w.Label7;
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(w.LblInfo1->text(), fields[0]);
            QCOMPARE(w.LblInfo2->text(), fields[1]);
            QCOMPARE(w.txtKb->text(), fields[2]);
            QCOMPARE(w.lblZV->text(), fields[3]);
            QCOMPARE(mode->text().startsWith(QLatin1Char(' ')), !texts[0].isEmpty());
            QCOMPARE(shown(w).pixel(200, 200), qRgb(255, 100, 100));
            QCOMPARE(w.measured().image.pixel(200, 200), qRgb(200, 200, 200));
            // The notice is painted before the background pass, and gone after it.
            PaintCount notice;
            w.Label4->installEventFilter(&notice);
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            ctrlClick(w, QPoint(201, 199));
            QVERIFY(notice.count > 0 && !w.Label4->isVisible());
        }
    }

    // A right click takes the threshold from the pixel; the bar sets it in grey.
    void threshold() {
        QImage picture = greyPicture({400, 400}, QString());
        picture.setPixel(300, 300, qRgb(10, 20, 30));
        loadPicture(picture);
        frmFM& w = cutAt(QPoint(300, 300));
        QTest::mouseClick(w.Pic1, Qt::RightButton, {}, QPoint(200, 200));
        QCOMPARE(State().MinIntensity, 20.0f);
        QCOMPARE(w.HScFM->value(), 20);
        QCOMPARE(w.lblZvet->backColor(), QColor(10, 20, 30));
        QCOMPARE(w.lblZvet->text(), QStringLiteral(" 20"));
        QCOMPARE(w.lblzvetZ->text(), QStringLiteral(" 20"));
        QCOMPARE(w.lblZvet->grab().toImage().pixel(2, 2), qRgb(10, 20, 30));

        QVERIFY(keysTo(w.HScFM, 100));
        QCOMPARE(w.HScFM->value(), 100);
        QCOMPARE(State().MinIntensity, 100.0f);
        QCOMPARE(w.lblZvet->text(), QStringLiteral("100"));
        QCOMPARE(w.lblzvetZ->text(), QStringLiteral("100"));
        QCOMPARE(w.lblZvet->grab().toImage().pixel(2, 2), qRgb(100, 100, 100));
    }

    // The magnification stays odd; the largest circle has a radius of 402 pixels.
    void sliders() {
        loadPicture(greyPicture({400, 400}, QString()));
        frmFM& w = cutAt(QPoint(200, 200));
        dragTo(w.HScrUv, 4);
        QCOMPARE(w.HScrUv->value(), 3);
        dragTo(w.HScrUv, 13);
        QCOMPARE(w.HScrUv->value(), 13);
        dragTo(w.HScrR, 400);
        QCOMPARE(w.HScrR->value(), 400);
        QCOMPARE(w.Shp1->widthTwips(), 800);
        QCOMPARE(w.Shp1->heightTwips(), 800);
        // (0, 0) would be taken for "the middle" by QTest.
        QTest::mouseClick(w.Pic1, Qt::LeftButton, {}, QPoint(1, 1));
        const QImage& mask = w.measured().mask;
        QCOMPARE(mask.pixelColor(285, 285).red(), int(RingPixel)); // 401.6 from the centre
        QCOMPARE(mask.pixelColor(281, 281).red(), int(SkyPixel));  // 396.0
        QCOMPARE(mask.pixelColor(289, 289).red(), int(SkyPixel));  // 407.3
        QCOMPARE(shown(w).pixel(285, 285), qRgb(255, 255, 255));
    }

    // Picture 1 of 800 x 600: centre (400, 300), half-diagonal 500 pixels.
    void readout_data() {
        DataTable<bool, QPoint, QPoint, QString>("russian", "cut", "at", "text")
            .row("centre", false, QPoint(400, 300), QPoint(200, 200), "от центра снимка =0.0%")
            .row("corner", false, QPoint(150, 150), QPoint(50, 50), "от центра снимка =100.0%")
            .row("30 % ru", true, QPoint(400, 300), QPoint(320, 290), "от центра снимка =30,0%");
    }
    void readout() {
        QFETCH(bool, russian);
        QFETCH(QPoint, cut);
        QFETCH(QPoint, at);
        QFETCH(QString, text);
        QLocale::setDefault(russian ? QLocale(QLocale::Russian) : QLocale::c());
        loadPicture(greyPicture({800, 600}, QString()));
        frmFM& w = cutAt(cut);
        hover(w.Pic1, at);
        QCOMPARE(w.lblInfo3->text(), text);
        // A comparison cut-out of the same spot does not move the photometry window's point.
        QTest::mouseClick(f->Img1, Qt::LeftButton, Qt::ShiftModifier, cut);
        QVERIFY(PicCopyForm().isVisible());
        f->mnuFM->trigger();
        w.lblInfo3->clear();
        hover(w.Pic1, at);
        QCOMPARE(w.lblInfo3->text(), text);
        QTest::mouseClick(w.lblInfo3, Qt::LeftButton);
        QCOMPARE(w.lblInfo3->text(),
                 russian ? QStringLiteral("от центра=100,0%") : QStringLiteral("от центра=100.0%"));
    }

    // "Отмена" takes away the marks and rings of two measurements and keeps the cut-out.
    void cancelAfterTwoMeasurements() {
        loadPicture(greyPicture({400, 400}, "150,150,5,5,200;250,250,5,5,200"));
        frmFM& w = cutAt(QPoint(200, 200));
        const QImage cutOut = shown(w);
        QTest::mouseClick(w.Pic1, Qt::LeftButton, {}, QPoint(152, 152));
        ctrlClick(w, QPoint(152, 152));
        ctrlClick(w, QPoint(252, 252));
        QCOMPARE(w.TxtInfo->text(), QStringLiteral("4500"));
        QVERIFY(shown(w) != cutOut);
        QCOMPARE(shown(w).pixel(252, 252), qRgb(255, 100, 100));
        QTest::mouseClick(w.cmdOtmena, Qt::LeftButton);
        QCOMPARE(shown(w), cutOut);
        QCOMPARE(w.measured().image, cutOut);
    }

    // Stars at the edges of the cut-out and of picture 1, a bright star measured twice at a
    // high threshold: the intensity is the star's own, both times.
    void edges_data() {
        // cut: picture-1 pixel right clicked
        // click: on the cut-out
        DataTable<QSize, QString, QPoint, int, QPoint, QString>("size", "stars", "cut", "threshold", "click",
                                                                "intensity")
            .row("bottom row", QSize(400, 400), "195,390,11,10,100", QPoint(200, 200), 60, QPoint(200, 395),
                 "8800")
            .row("column 0", QSize(400, 400), "0,100,6,11,100", QPoint(200, 200), 60, QPoint(3, 105), "5280")
            .row("picture corner", QSize(300, 300), "0,0,4,4,150", QPoint(1, 1), 60, QPoint(200, 200), "2080")
            .row("threshold 200", QSize(400, 400), "190,190,20,20,250", QPoint(200, 200), 200,
                 QPoint(200, 200), "92000");
    }
    void edges() {
        QFETCH(QSize, size);
        QFETCH(QString, stars);
        QFETCH(QPoint, cut);
        QFETCH(int, threshold);
        QFETCH(QPoint, click);
        QFETCH(QString, intensity);
        loadPicture(greyPicture(size, stars));
        frmFM& w = cutAt(cut);
        QVERIFY(keysTo(w.HScFM, threshold));
        for (int round = 0; round < 2; ++round) {
            w.TxtInfo->clear();
            ctrlClick(w, click);
            QCOMPARE(w.TxtInfo->text(), intensity);
        }
        // What lies outside picture 1 is shown in the neutral colour.
        const QRect inside = QRect(QPoint(0, 0), size).translated(200 - cut.x(), 200 - cut.y());
        for (QPoint p : {QPoint(5, 5), QPoint(395, 395)})
            QCOMPARE(shown(w).pixel(p) == NeutralColour, !inside.contains(p));
    }

    // The cut-out comes from the picture as decoded at its load, from the file only when the
    // file changed on disk since: content of the same size under the same time is not read.
    void changedFile_data() {
        // laterBy: seconds added to the file's time after rewriting it
        // centre: brightness expected at the cut-out's centre
        DataTable<int, int>("laterBy", "centre").row("changed", 10, 90).row("same time and size", 0, 20);
    }
    void changedFile() {
        QFETCH(int, laterBy);
        QFETCH(int, centre);
        const QString path = loadPicture(greyPicture({400, 400}, QString()));
        const QDateTime loaded = QFileInfo(path).lastModified();
        greyPicture({400, 400}, "150,150,100,100,90").save(path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(loaded.addSecs(laterBy), QFileDevice::FileModificationTime));
        file.close();
        frmFM& w = cutAt(QPoint(200, 200));
        QCOMPARE(shown(w).pixel(200, 200), qRgb(centre, centre, centre));
    }

    // Against an independent model: Gaussian stars of known flux over four magnitudes on a
    // sloping, noisy background. Threshold photometry loses the wings, so only the order of the
    // fluxes, repeatability, the zero point and the colour are checked.
    void gaussianStars() {
        const double sigma = 2.2;
        const double fluxes[] = {190, 477, 1198, 3010, 7560}; // a magnitude apart
        const QPoint at[] = {{60, 80}, {300, 90}, {120, 300}, {320, 310}, {200, 200}};
        QRandomGenerator noise(7);
        QImage picture(400, 400, QImage::Format_RGB32);
        for (int y = 0; y < 400; ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < 400; ++x) {
                const double sky = 1 + 0.004 * x + 0.004 * y + noise.bounded(3) - 1;
                double grey = 0, red = 0;
                for (int i = 0; i < 5; ++i) {
                    const double r2 = std::pow(x - at[i].x(), 2) + std::pow(y - at[i].y(), 2);
                    const double v =
                        fluxes[i] / (2 * M_PI * sigma * sigma) * std::exp(-r2 / (2 * sigma * sigma));
                    (i == 3 ? red : grey) += v;
                }
                auto level = [](double v) { return std::clamp(int(std::lround(v)), 0, 255); };
                line[x] = qRgb(level(sky + grey + 1.5 * red), level(sky + grey + 0.75 * red),
                               level(sky + grey + 0.75 * red));
            }
        }
        loadPicture(picture);
        frmFM& w = cutAt(QPoint(200, 200));
        QVERIFY(keysTo(w.HScFM, 6));
        auto measure = [&](int i) {
            ctrlClick(w, at[i]);
            return w.TxtInfo->text().toDouble();
        };
        double last = 0;
        for (int i = 0; i < 5; ++i) {
            const double I = measure(i);
            QVERIFY2(I > last, qPrintable(QStringLiteral("star %1: %2 after %3").arg(i).arg(I).arg(last)));
            QCOMPARE(measure(i), I);
            const double ci = w.LblInfo2->text().section(QLatin1Char(' '), -1).toDouble();
            if (i == 3)
                QVERIFY2(ci > 1, qPrintable(w.LblInfo2->text()));
            else
                QVERIFY2(std::fabs(ci) <= 0.05, qPrintable(w.LblInfo2->text()));
            last = I;
        }
        // Star 4 against itself, star 2 as the second comparison star.
        const QString i4 = QString::number(measure(4)), i2 = QString::number(measure(2));
        type(w.txtZ, i4);
        type(w.txtM, QStringLiteral("7.3"));
        measure(4);
        QCOMPARE(w.lblZV->text(), QStringLiteral("7.30"));
        type(w.txtZ2, i2);
        type(w.txtM2, QStringLiteral("9.1"));
        measure(4);
        QCOMPARE(w.lblZV->text(), QStringLiteral("7.30"));
        measure(2);
        QCOMPARE(w.lblZV->text(), QStringLiteral("9.10"));
        QCOMPARE(w.Label7->text(), QStringLiteral(" блеск по отношению к двум звёздам "));
    }
};

QTEST_MAIN(TestPhotometryWindow)
#include "tst_photometrywindow.moc"
