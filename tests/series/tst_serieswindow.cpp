// A series as the user opens it: the frames chosen through "Файл", registered while the window
// "Серия" shows its progress, one frame left out by a click on its box, the stacks blinked as
// pictures 1-3 in which the search finds a mover no single frame shows well, and a project that
// brings the same stacks back without registering again.

#include "report/frmmovers.h"
#include "series/frmmotion.h"
#include "series/frmseries.h"
#include "shell/clicklabel.h"
#include "shell/sharedstate.h"
#include "support/seriesframes.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineF>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

QCheckBox* useBox(const frmSeries& w, int row) {
    return w.lstFrames->cellWidget(row, frmSeries::Use)->findChild<QCheckBox*>();
}

/// Pixels of a grab of slot k brighter than level: stars show, an empty or grey frame none.
int brightPixels(frmBl& f, int k, int level) {
    QTest::mouseClick(f.Lbl(k), Qt::LeftButton);
    const QImage shown =
        f.pictureArea->grab(f.Img(k)->geometry()).toImage().convertToFormat(QImage::Format_Grayscale8);
    int n = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            n += shown.constScanLine(y)[x] > level;
    return n;
}

/// The largest difference of grey between two pictures of one size; 256 for pictures of two sizes.
int largestDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 256;
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            most = std::max(most, std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))));
    return most;
}

} // namespace

class TestSeriesWindow : public WindowTest {
    Q_OBJECT
  private slots:
    void stacksOfASeriesAreBlinkedSearchedAndKeptInAProject() {
        SeriesScene s = smallerScene(480, 360, 13, 140);
        s.movers = {{QPointF(150, 120), QPointF(1.6, 0.4), 10}};
        const WrittenSeries written = writeSeries(s, dir.path());
        QStringList titles;
        connect(&f->jobs(), &JobRunner::started, this, [&titles](const QString& t) { titles << t; });

        prompter->openNameLists.enqueue(written.paths);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileSeries));
        frmSeries* w = f->findChild<frmSeries*>();
        QVERIFY(w && w->isVisible() && w->prgSeries->isVisible());
        QCOMPARE(w->windowTitle(), QString("Серия"));
        QVERIFY(jobEnds());
        QCOMPARE(titles, QStringList{"Совмещение серии"});
        QVERIFY(!w->prgSeries->isVisible() && w->cmdStack->isEnabled());
        QCOMPARE(w->lstFrames->rowCount(), 13);
        QCOMPARE(w->lstFrames->item(0, frmSeries::State)->text(), QString("опорный кадр"));
        for (int r = 1; r < 13; ++r)
            QVERIFY2(w->lstFrames->item(r, frmSeries::State)->text().contains("невязка"),
                     qPrintable(w->lstFrames->item(r, frmSeries::State)->text()));
        QCOMPARE(w->lstFrames->item(0, frmSeries::Time)->text(), QString("2026-03-01 21:00:25"));

        // Frame 1, the reference, left out by a click on its box: the stacks still lie on its pixels.
        QTest::mouseClick(useBox(*w, 0), Qt::LeftButton);
        QVERIFY(!useBox(*w, 0)->isChecked());
        QTest::mouseClick(w->cmdStack, Qt::LeftButton);
        QVERIFY(jobEnds());
        // Twelve frames: groups of 4, each named where a file's name would be.
        QStringList captions = {"стопка 1: 4 кадра, 21:01:25–21:04:25",
                                "стопка 2: 4 кадра, 21:05:25–21:08:25",
                                "стопка 3: 4 кадра, 21:09:25–21:12:25"};
        QCOMPARE(f->windowTitle(), captions[0]);
        QVector<QImage> stacks;
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(State().FileName(k), captions[k - 1]);
            QVERIFY2(f->Lbl(k)->toolTip().startsWith(captions[k - 1]), qPrintable(f->Lbl(k)->toolTip()));
            QCOMPARE(f->Img(k)->picture().size(), QSize(s.width, s.height));
            const int stars = brightPixels(*f, k, 200);
            QVERIFY2(stars > 50 && stars < s.width * s.height / 20, qPrintable(QString::number(stars)));
            QCOMPARE(f->LblFile->text(), captions[k - 1]);
            stacks << f->Img(k)->picture();
        }
        QVERIFY(f->Img2->registration() && f->Img3->registration());

        // The search over the stacks finds the mover near where it stood at stack 1's mid-time (frame
        // 2.5) at its speed, 99 pixels an hour. Its trail within a stack is longer than a star, so the
        // clipping takes part of it: two pixels, not a half.
        emit f->mnuViravnivanie->aboutToShow();
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuMovers));
        QVERIFY(jobEnds());
        frmMovers* movers = f->findChild<frmMovers*>();
        QVERIFY(movers);
        const QPointF wanted = moverAt(s, 0, 2.5);
        int found = -1;
        for (int r = 0; r < movers->lstMovers->rowCount(); ++r) {
            const QPointF at(movers->lstMovers->item(r, 1)->text().toDouble(),
                             movers->lstMovers->item(r, 2)->text().toDouble());
            const QString speed = movers->lstMovers->item(r, 5)->text();
            if (QLineF(at, wanted).length() < 2.0 && speed.endsWith(" пикс/ч") &&
                std::abs(speed.split(' ')[0].toDouble() - 99) < 10)
                found = r;
        }
        QVERIFY2(found >= 0, qPrintable(movers->lblStatus->text()));

        // Shift + clicks on the mover in stacks 1 and 3 (at their mid-frames 2.5 and 10.5) offer the
        // motion between them; the dialog cancelled, they are used up.
        for (const auto& [k, frame] : {std::pair{1, 2.5}, std::pair{3, 10.5}}) {
            QTest::mouseClick(f->Lbl(k), Qt::LeftButton);
            const Placement at = f->Img(k)->placement();
            const QPointF p = moverAt(s, 0, frame) * at.scale + QPointF(at.originX, at.originY);
            QTest::mouseClick(f->Img(k), Qt::LeftButton, Qt::ShiftModifier, p.toPoint());
            QVERIFY(jobEnds()); // the click also cuts out the spot, as Shift + clicks do
        }
        QTest::mouseClick(w->cmdMotion, Qt::LeftButton);
        QPointer<frmMotion> clicked = f->findChild<frmMotion*>();
        QVERIFY(clicked && clicked->isVisible());
        const SeriesMotion truth = SeriesMotion::between(moverAt(s, 0, 2.5), moverAt(s, 0, 10.5), 1);
        QVERIFY2(std::abs(clicked->txtSpeed->value() - 99) < 15, qPrintable(clicked->txtSpeed->text()));
        QVERIFY2(std::abs(clicked->txtDirection->value() - truth.directionDegrees) < 8,
                 qPrintable(clicked->txtDirection->text()));
        QTest::mouseClick(clicked->cmdCancel, Qt::LeftButton);
        QTRY_VERIFY(clicked.isNull());

        // Its row chosen, "Сложить по движению..." offers its motion; the whole series stacked along
        // it replaces picture 3 and shows the mover as a point where it stood at the series' mid-time.
        QTest::mouseClick(movers->lstMovers->viewport(), Qt::LeftButton, Qt::NoModifier,
                          movers->lstMovers->visualItemRect(movers->lstMovers->item(found, 1)).center());
        QTest::mouseClick(w->cmdMotion, Qt::LeftButton);
        frmMotion* motion = f->findChild<frmMotion*>();
        QVERIFY(motion && motion->isVisible());
        QCOMPARE(QString::number(motion->txtSpeed->value(), 'f', 1) + " пикс/ч",
                 movers->lstMovers->item(found, 5)->text());
        QCOMPARE(QString::number(motion->txtDirection->value(), 'f', 0) + "°",
                 movers->lstMovers->item(found, 6)->text());
        QTest::mouseClick(motion->cmdOK, Qt::LeftButton);
        QVERIFY(jobEnds());
        QVERIFY2(State().FileName(3).startsWith("стопка 3: 12 кадров, 21:01:25–21:12:25, по движению "),
                 qPrintable(State().FileName(3)));
        QVERIFY2(f->Lbl3->toolTip().contains("2026-03-01 21:06:55.000 UTC"), qPrintable(f->Lbl3->toolTip()));
        QCOMPARE(State().FileName(1), captions[0]);
        const QPoint mid = moverAt(s, 0, 6.5).toPoint();
        QVERIFY2(qGray(f->Img3->picture().pixel(mid)) > qGray(stacks[2].pixel(mid)) + 60,
                 qPrintable(QString::number(qGray(f->Img3->picture().pixel(mid)))));
        stacks[2] = f->Img3->picture();
        captions[2] = State().FileName(3);

        // Saved and opened again: the same stacks, stacked without registering, frame 1 still out.
        const QString project = dir.filePath("series.vln");
        prompter->saveNames.enqueue(project);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileSave));
        w->close();
        QTRY_VERIFY(!f->findChild<frmSeries*>());
        f->Open1File->trigger(); // picture 1 emptied by a cancelled dialog
        titles.clear();
        prompter->openNames.enqueue(project);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileOpen));
        // Stacked twice: the stacks, then picture 3 along the motion.
        QTRY_COMPARE(titles, (QStringList{"Сложение серии", "Сложение серии"}));
        QVERIFY(jobEnds());
        QCOMPARE(prompter->messages, QStringList());
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(State().FileName(k), captions[k - 1]);
            // The workers add the frames in the order they come: the sums may differ in the last bit.
            QVERIFY2(largestDifference(f->Img(k)->picture(), stacks[k - 1]) <= 1,
                     qPrintable(QString::number(k)));
        }
        w = f->findChild<frmSeries*>();
        QVERIFY(w && w->isVisible());
        QVERIFY(!useBox(*w, 0)->isChecked() && useBox(*w, 1)->isChecked());
    }

    // "Прервать" while the frames are registered: the frames not reached say so, nothing is stacked.
    void aStopLeavesTheFramesNotReachedUnregistered() {
        const WrittenSeries written = writeSeries(smallerScene(300, 200, 6, 60), dir.path());
        f->jobs().hold(true); // the run waits at its first step while the user acts
        prompter->openNameLists.enqueue(written.paths);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileSeries));
        frmSeries* w = f->findChild<frmSeries*>();
        QVERIFY(w && w->cmdStop->isVisible() && !w->cmdStack->isEnabled());
        QCOMPARE(w->lstFrames->item(5, frmSeries::State)->text(), QString("ждёт совмещения"));
        QTest::mouseClick(w->cmdStop, Qt::LeftButton);
        f->jobs().hold(false);
        QVERIFY(jobEnds());
        QVERIFY2(w->lblStatus->text().startsWith("Прервано. Совмещено кадров: 0 из 6"),
                 qPrintable(w->lblStatus->text()));
        QCOMPARE(w->lstFrames->item(5, frmSeries::State)->text(),
                 QString("не совмещён: совмещение прервано"));
        QVERIFY(!w->cmdStop->isVisible() && !w->cmdStack->isEnabled() && !useBox(*w, 5)->isEnabled());
    }
};

QTEST_MAIN(TestSeriesWindow)
#include "tst_serieswindow.moc"
