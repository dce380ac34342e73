// Rotation onto picture 1 driven from the menu as a user does, and the whole round trip: rotate
// picture 2, save it, load it again, mark, overlay and see the stars coincide.

#include "cutout/canvasbox.h"
#include "cutout/frmpiccopy.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/datatable.h"
#include "support/turning.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <cmath>

using namespace vorlan;
using namespace vorlan::test;

class TestRotationWindow : public WindowTest {
    Q_OBJECT

  private slots:
    void rotateFromTheMenu_data() {
        // target2: point 2 of the target; point 1 is (100, 100)
        DataTable<int, QPointF, bool, QString, QSize>("slot", "target2", "stopBefore", "angle", "canvas")
            .row("picture 2 turned clockwise: 90", 2, QPointF(100, 200), false, "90,00", QSize(220, 300))
            .row("turned the other way: -90", 2, QPointF(100, 20), false, "-90,00", QSize(220, 300))
            .row("picture 3, same geometry, after Прервать", 3, QPointF(200, 100), true, "0,00",
                 QSize(300, 220));
    }
    void rotateFromTheMenu() {
        QFETCH(int, slot);
        QFETCH(QPointF, target2);
        QFETCH(bool, stopBefore);
        QFETCH(QString, angle);
        QFETCH(QSize, canvas);
        QLocale::setDefault(QLocale(QLocale::Russian));
        QImage target = gradientPicture(300, 220);
        for (int y = 10; y < 16; ++y) // a red mark near the top right corner
            for (int x = 270; x < 276; ++x)
                target.setPixel(x, y, qRgb(255, 0, 0));
        load(1, "one.png", gradientPicture(300, 220));
        load(2, "two.png", target);
        if (slot == 3) load(3, "three.png", target);
        mark(1, 1, {100, 100});
        mark(1, 2, {200, 100});
        mark(slot, 1, {100, 100});
        mark(slot, 2, target2);

        frmPicCopy& w = PicCopyForm();
        if (stopBefore) QTest::mouseClick(w.cmdPrer, Qt::LeftButton);
        QStringList captions;
        connect(&w, &QWidget::windowTitleChanged, &w, [&](const QString& t) { captions << t; });
        (slot == 2 ? f->mnuVirovnjat : f->mnuVirovnjat1_3)->trigger();
        QVERIFY(jobEnds());

        const QString announcement = "выполняется поворот на угол " + angle + "°";
        QCOMPARE(captions, QStringList({announcement, "Копирование двух участков"}));
        QCOMPARE(w.lblFile1->text(), announcement);
        QCOMPARE(w.txtP->text(), QString("выполнено = 100,0%"));
        QVERIFY(prompter->messages.isEmpty());
        QCOMPARE(w.Pic1->image().size(), canvas);
        QVERIFY(w.Pic1->isHidden());
        QCOMPARE(State().StopRequested, int16_t(0));
        if (angle == "0,00") QCOMPARE(w.Pic1->image(), target);

        // "Прервать" shows the canvas: the mark is where the turn takes it.
        QTest::mouseClick(w.cmdPrer, Qt::LeftButton);
        QVERIFY(w.Pic1->isVisible());
        const QImage shown = w.Pic1->grab().toImage();
        const double degrees = angle.left(angle.size() - 3).toDouble();
        const QPointF expected = turnedOnCanvas({273, 13}, degrees, target.size(), canvas);
        QCOMPARE(QColor(shown.pixel(expected.toPoint())), QColor(255, 0, 0));
    }

    void stopDuringARotationKeepsWhatIsTurned() {
        load(1, "one.png", gradientPicture(300, 220));
        load(2, "two.png", gradientPicture(300, 220));
        mark(1, 1, {100, 100});
        mark(1, 2, {200, 100});
        mark(2, 1, {100, 100});
        mark(2, 2, {100, 200});
        frmPicCopy& w = PicCopyForm();
        // The run waits after its first row while the user presses "Прервать" and starts the
        // rotation again, which is ignored.
        f->jobs().hold(true);
        f->mnuVirovnjat->trigger();
        QVERIFY(f->jobs().busy());
        QCOMPARE(w.windowTitle(), QString("выполняется поворот на угол 90.00°"));
        QTest::mouseClick(w.cmdPrer, Qt::LeftButton);
        f->mnuVirovnjat->trigger();
        f->jobs().hold(false);
        QVERIFY(jobEnds());
        QCOMPARE(w.txtP->text(), QString("выполнено = 00.0%"));
        QCOMPARE(w.windowTitle(), QString("Копирование двух участков"));
        QCOMPARE(State().StopRequested, int16_t(0));
        const QImage& canvas = w.Pic1->image();
        QCOMPARE(canvas.size(), QSize(220, 300));
        // Row 0 of picture 2 became the canvas's left column; the rest is still background.
        QVERIFY(canvas.pixel(0, 150) != 0xff808080);
        QCOMPARE(canvas.pixel(110, 150), 0xff808080);
    }

    void rotatedSavedReloadedAndOverlaid() {
        constexpr double Turn = 30;
        const QSizeF size(500, 400);
        const QPointF centre(250, 200);
        // The same sky; in picture 2 it is turned clockwise by 30 degrees about the centre.
        const QVector<QPointF> sky{{150, 120}, {340, 280}, {260, 150}, {180, 300},
                                   {320, 110}, {230, 230}, {370, 190}};
        auto inPicture2 = [&](QPointF p) {
            const double a = Turn / 57.2957795130823;
            const QPointF d = p - centre;
            return centre + QPointF(d.x() * std::cos(a) - d.y() * std::sin(a),
                                    d.x() * std::sin(a) + d.y() * std::cos(a));
        };
        QVector<Star> first, second;
        for (QPointF s : sky) {
            first << Star{s.x(), s.y(), 3.5};
            second << Star{inPicture2(s).x(), inPicture2(s).y(), 3.5};
        }
        load(1, "night1.png", starField(500, 400, first));
        load(2, "night2.png", starField(500, 400, second));
        // The user clicks on the star: the pixel under its centre.
        auto star = [&](int k, QPointF near) { return spotCentre(f->Img(k)->picture(), near); };
        mark(1, 1, star(1, sky[0]));
        mark(1, 2, star(1, sky[1]));
        mark(2, 1, star(2, inPicture2(sky[0])));
        mark(2, 2, star(2, inPicture2(sky[1])));

        f->mnuVirovnjat->trigger();
        QVERIFY(jobEnds());
        frmPicCopy& w = PicCopyForm();
        // Marked on whole pixels, the two stars give the turn to a few hundredths of a degree.
        const QString announced = w.lblFile1->text();
        QVERIFY(announced.startsWith("выполняется поворот на угол ") && announced.endsWith("°"));
        QVERIFY(std::fabs(announced.mid(28).chopped(1).toDouble() - Turn) < 0.3);
        const QString saved = dir.filePath("night2-turned.bmp");
        prompter->saveNames.enqueue(saved);
        w.SaveFile->trigger();
        QVERIFY(prompter->messages.isEmpty());
        QTest::mouseClick(w.cmdEnd, Qt::LeftButton);

        load(2, saved);
        const QSizeF canvas = f->Img2->picture().size();
        QCOMPARE(canvas, QSizeF(633, 596));
        auto onCanvas = [&](QPointF p) { return star(2, turnedOnCanvas(inPicture2(p), Turn, size, canvas)); };
        mark(2, 1, onCanvas(sky[0]));
        mark(2, 2, onCanvas(sky[1]));
        f->CmdSovm->click();

        QTest::mouseClick(f->Lbl1, Qt::LeftButton);
        const QImage view1 = f->pictureArea->grab().toImage();
        QTest::mouseClick(f->Lbl2, Qt::LeftButton);
        QVERIFY(f->Img2->isVisible() && f->Img1->isHidden());
        const QImage view2 = f->pictureArea->grab().toImage();
        const QPointF origin(State().ImageLeft1, State().ImageTop1);
        for (QPointF s : sky) {
            const QPointF a = spotCentre(view1, origin + s);
            const QPointF b = spotCentre(view2, origin + s);
            QVERIFY2(a.x() >= 0 && b.x() >= 0,
                     qPrintable(QString("star at %1,%2 not seen").arg(s.x()).arg(s.y())));
            QVERIFY2(QLineF(a, b).length() <= 2.0, qPrintable(QString("star %1,%2: %3,%4 vs %5,%6")
                                                                  .arg(s.x())
                                                                  .arg(s.y())
                                                                  .arg(a.x())
                                                                  .arg(a.y())
                                                                  .arg(b.x())
                                                                  .arg(b.y())));
        }
    }
};

QTEST_MAIN(TestRotationWindow)
#include "tst_rotationwindow.moc"
