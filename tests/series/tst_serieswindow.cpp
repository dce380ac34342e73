// A series as the user opens it: the frames chosen through "Файл", registered while the window
// "Серия" shows its progress, one frame left out by a click on its box, the stacks blinked as
// pictures 1-3 in which the search finds a mover no single frame shows well, and a project that
// brings the same stacks back without registering again.

#include "report/frmmovers.h"
#include "series/frmseries.h"
#include "shell/clicklabel.h"
#include "shell/sharedstate.h"
#include "support/seriesframes.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QCheckBox>
#include <QLineF>
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
    const QImage shown = f.pictureArea->grab(f.Img(k)->geometry()).toImage().convertToFormat(QImage::Format_Grayscale8);
    int n = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            n += shown.constScanLine(y)[x] > level;
    return n;
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
        for (int r = 0; r < 13; ++r)
            QVERIFY2(w->lstFrames->item(r, frmSeries::State)->text().contains("невязка"),
                     qPrintable(w->lstFrames->item(r, frmSeries::State)->text()));
        QCOMPARE(w->lstFrames->item(0, frmSeries::Time)->text(), QString("2026-03-01 21:00:25"));

        // Frame 1, the reference, left out by a click on its box: the stacks still lie on its pixels.
        QTest::mouseClick(useBox(*w, 0), Qt::LeftButton);
        QVERIFY(!useBox(*w, 0)->isChecked());
        QTest::mouseClick(w->cmdStack, Qt::LeftButton);
        QVERIFY(jobEnds());
        // Twelve frames: groups of 4, each named where a file's name would be.
        const QStringList captions = {"стопка 1: 4 кадра, 21:01:25–21:04:25", "стопка 2: 4 кадра, 21:05:25–21:08:25",
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
        bool found = false;
        for (int r = 0; r < movers->lstMovers->rowCount(); ++r) {
            const QPointF at(movers->lstMovers->item(r, 1)->text().toDouble(),
                             movers->lstMovers->item(r, 2)->text().toDouble());
            const QString speed = movers->lstMovers->item(r, 5)->text();
            found = found || (QLineF(at, wanted).length() < 2.0 && speed.endsWith(" пикс/ч") &&
                              std::abs(speed.split(' ')[0].toDouble() - 99) < 10);
        }
        QVERIFY2(found, qPrintable(movers->lblStatus->text()));

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
        QVERIFY(jobEnds());
        QCOMPARE(titles, QStringList{"Сложение серии"});
        QCOMPARE(prompter->messages, QStringList());
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(State().FileName(k), captions[k - 1]);
            QVERIFY(f->Img(k)->picture() == stacks[k - 1]);
        }
        w = f->findChild<frmSeries*>();
        QVERIFY(w && w->isVisible());
        QVERIFY(!useBox(*w, 0)->isChecked() && useBox(*w, 1)->isChecked());
    }
};

QTEST_MAIN(TestSeriesWindow)
#include "tst_serieswindow.moc"
