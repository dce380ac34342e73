// Sky coordinates without typing, driven through the main window: the WCS of a FITS header under
// the cursor against astrometry.net's own reading of the same file, a photograph solved from its
// stars through "Определить координаты по звёздам...", which source is in force, and a project
// that keeps a solved WCS.

#include "shell/panbar.h"
#include "sky/frmsolve.h"
#include "sky/skytext.h"
#include "support/catalogfield.h"
#include "support/processgroup.h"
#include "support/useractions.h"
#include "support/wcsheader.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// The last line of txtInfo: the source in force.
QString sourceLine(const frmBl& f) {
    return f.txtInfo->toPlainText().trimmed().section(QLatin1Char('\n'), -1);
}

/// The corners and the centre of the part of picture 1 the picture area shows, one pixel in
/// from its edges, in Img1's pixels: where a user can put the mouse.
QList<QPoint> viewPoints(const frmBl& f) {
    const QRect shown = QRect(f.Img1->pos(), f.Img1->size()).intersected(f.pictureArea->rect());
    const QRect r = shown.translated(-f.Img1->pos()).adjusted(1, 1, -2, -2);
    return {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight(), r.center()};
}

/// Moves the mouse to pos of Img1; the picture pixel (continuous, y down) shown there. The frame
/// stands on a whole pixel and the picture lies the remaining fraction off it.
QPointF hoverPicture(frmBl& f, QPoint pos) {
    moveMouse(f.Img1, pos);
    const QPointF origin(f.Img1->Left() - f.Img1->x(), f.Img1->Top() - f.Img1->y());
    return (QPointF(pos) - origin) / double(State().DisplayScale1);
}

/// The readout's position, before it is rounded into the labels' form.
std::optional<SkyCoord> readout() {
    return SkyCoord{State().CoordRA, State().CoordDec};
}

/// Chooses "Определить координаты по звёздам..." and waits until its solver process runs and
/// the window says so.
bool solverRuns(frmBl& f) {
    return chooseMenuItem(&f, f.mnuViravnivanie, f.mnuSolve) && SolveFormExists() &&
           QTest::qWaitFor(
               [] {
                   return SolveForm().solver().isRunning() &&
                          SolveForm().lblShag->text().startsWith(QStringLiteral("Звёзд на снимке: "));
               },
               30000);
}

/// Waits for the solve under way to end and its outcome to be handled.
bool solveEnds(int seconds = 75) {
    return QTest::qWaitFor([] { return !SolveFormExists() || !SolveForm().isRunning(); }, seconds * 1000);
}

} // namespace

class TestSkyCoordinates : public WindowTest {
    Q_OBJECT

  private slots:
    // A TAN-SIP header: at the corners and the centre of what the window shows, at two zooms
    // and panned, the readout agrees with wcs-xy2rd on the same file within 0.1"; marking a
    // point and opening "Выравнивание" leave it on.
    void headerWcsUnderTheCursor() {
        const TanPicture tan{84 * Rad, -1.2 * Rad, 1.0, 23.0, 600, 400};
        const QString file = dir.filePath("orion.fits");
        QCOMPARE(writeFitsWithCards(file, blankPicture(600, 400), withSip(tanHeaderCards(tan))), 0);
        const QImage blankLabel = f->lblInfo->grab().toImage();
        // First a broken copy, with CRVAL1 = NAN (wcslib would read 0h): refused, with the card to blame.
        QStringList broken = withSip(tanHeaderCards(tan));
        broken.replaceInStrings(QRegularExpression("^CRVAL1 .*"), "CRVAL1  = NAN");
        QCOMPARE(writeFitsWithCards(dir.filePath("broken.fits"), blankPicture(600, 400), broken), 0);
        load(1, dir.filePath("broken.fits"));
        QCOMPARE(f->txtInfo->toPlainText(), "WCS в заголовке испорчен: карточки не читаются: CRVAL1  = NAN");
        hoverPicture(*f, QPoint(30, 30));
        QVERIFY(!f->mnuKoordinat->isEnabled() && f->lblInfo->grab().toImage() == blankLabel);
        load(1, file);
        QVERIFY(f->mnuKoordinat->isEnabled());
        QCOMPARE(sourceLine(*f), QStringLiteral("координаты: WCS из файла"));
        QVERIFY2(
            f->txtInfo->toPlainText().startsWith(QStringLiteral(
                "центр: 05h 36.0m  -01°12'\nразмер в градусах  1 x  0\nразмер в пикселах  600 x  400\n")),
            qPrintable(f->txtInfo->toPlainText()));
        // The top displayed row is FITS row 400.
        auto anAt = [&](QPointF p) { return anSky(file, {p.x() + 0.5, 400 - p.y() + 0.5}); };
        double worst = 0;
        auto compareView = [&] {
            for (const QPoint pos : viewPoints(*f)) {
                worst = std::max(worst, arcsec(readout(), anAt(hoverPicture(*f, pos))));
                QCOMPARE(f->lblInfo->text(), SkyPositionText(State().CoordRA, State().CoordDec));
                QCOMPARE(State().CoordText, f->lblInfo->text());
            }
        };
        compareView();
        QVERIFY(f->lblInfo->grab().toImage() != blankLabel);
        // Zoomed out by the scale bar, then zoomed in and panned to the right and down.
        dragHandle(f->HScr1, -12);
        QVERIFY(State().DisplayScale1 > 0.2f && State().DisplayScale1 < 0.9f);
        compareView();
        dragHandle(f->HScr1, 60);
        dragHandle(f->HScroll1, 30);
        dragHandle(f->VScroll1, 20);
        QVERIFY(State().DisplayScale1 > 1.2f && f->Img1->x() < 0 && f->Img1->y() < 0);
        compareView();
        qInfo("largest difference from wcs-xy2rd: %.4f\"", worst);
        QVERIFY2(worst < 0.1, qPrintable(QString::number(worst)));

        // Marking point 1 on picture 1 and opening "Выравнивание" do not switch the WCS off.
        mark(1, 1, viewPoints(*f).last());
        QVERIFY(!State().Point1Text1.isEmpty());
        QVERIFY(!chooseMenuItem(f, f->mnuViravnivanie, f->mnuViravnivanie_vvod_koord)); // one point only
        QVERIFY(f->mnuSolve->isEnabled());
        QVERIFY(f->mnuKoordinat->isEnabled());
        QVERIFY(arcsec(readout(), anAt(hoverPicture(*f, viewPoints(*f).first()))) < 0.1);
    }

    // A photograph of real Tycho-2 stars, 2° wide, with nothing in its header: solved through
    // the menu while a progress window counts the time, the readout at the corners and centre
    // lies within 2" of the projection it was drawn with. A project saved then, with picture 2
    // registered automatically, keeps both: reopened in a fresh program, the same readout comes
    // back without a solve, and the registration with it.
    void solvesThroughTheWindow() {
        const TanPicture tan{84 * Rad, -1.5 * Rad, 2.0, 30.0, 1500, 1000};
        const CatalogField field = catalogField(tan, 7);
        const QString file = dir.filePath("belt.fits");
        QCOMPARE(writeFits(file, field.picture, FitsLayout{}), 0);
        load(1, file);
        QVERIFY(!f->mnuKoordinat->isEnabled());
        QVERIFY(solverRuns(*f));
        frmSolve& w = SolveForm();
        QVERIFY(w.isVisible());
        QCOMPARE(w.windowModality(), Qt::WindowModal);
        QVERIFY2(w.lblShag->text().startsWith(QStringLiteral("Звёзд на снимке: ")),
                 qPrintable(w.lblShag->text()));
        QVERIFY(w.lblVremja->text().endsWith(QStringLiteral("(не больше 60 с)")));
        // The step is drawn: its label is not all of one colour.
        const QImage step = w.lblShag->grab().toImage();
        QImage flat = step;
        flat.fill(step.pixel(0, 0));
        QVERIFY(step != flat);
        QVERIFY(solveEnds());
        QVERIFY2(prompter->messages.isEmpty(), qPrintable(prompter->messages.join('\n')));
        QVERIFY(!w.isVisible());
        QVERIFY(f->mnuKoordinat->isEnabled());
        QCOMPARE(sourceLine(*f), QStringLiteral("координаты: решение по звёздам"));
        QVERIFY2(f->txtInfo->toPlainText().contains(QStringLiteral("\nразмер в пикселах  1500 x  1000\n")),
                 qPrintable(f->txtInfo->toPlainText()));

        // Marking a point does not switch it off; the readout against the drawn projection.
        mark(1, 1, QPointF(20, 20));
        QVERIFY(f->mnuKoordinat->isEnabled());
        QList<std::pair<QPoint, SkyCoord>> seen;
        double worst = 0;
        for (const QPoint pos : viewPoints(*f)) {
            SkyCoord drawnAt;
            const QPointF p = hoverPicture(*f, pos);
            tan.skyAt(p.x(), p.y(), drawnAt.ra, drawnAt.dec);
            worst = std::max(worst, arcsec(readout(), drawnAt));
            seen << std::pair{pos, *readout()};
        }
        qInfo("solved in %.1f s; largest difference from the drawn projection: %.3f\"",
              SolveForm().solver().elapsedSeconds(), worst);
        QVERIFY2(worst < 2, qPrintable(QString::number(worst)));

        // Picture 2, the same photograph, registered on it automatically: the project keeps both.
        load(2, file);
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuAutoSovm));
        QVERIFY(jobEnds());
        QVERIFY(f->Img2->registration());
        const QString project = dir.filePath("belt.vln");
        prompter->saveNames.enqueue(project);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileSave));
        f = &freshProgram();
        prompter->openNames.enqueue(project);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileOpen));
        // The 34 lines hold no star coordinates: nothing to solve from them, nothing said.
        QVERIFY2(prompter->messages.isEmpty(), qPrintable(prompter->messages.join('|')));
        QVERIFY(!SolveFormExists());
        QVERIFY(f->mnuKoordinat->isEnabled());
        QVERIFY(jobEnds());
        QVERIFY(f->Img2->registration());
        QVERIFY2(f->txtInfo->toPlainText().contains(QStringLiteral("координаты: решение по звёздам")),
                 qPrintable(f->txtInfo->toPlainText()));
        for (const auto& [pos, sky] : seen) {
            hoverPicture(*f, pos);
            QVERIFY(arcsec(readout(), sky) < 1e-3);
        }
    }

    // A picture of noise: the solve ends within its limit with the message and changes nothing.
    // "Прервать" ends the solver's whole process tree within a second, and says nothing.
    void noiseFailsAndStopStops() {
        const QString file = dir.filePath("noise.fits");
        QCOMPARE(writeFitsWithCards(file, noisePicture(1500, 1000, 300, 11),
                                    cards("FOCALLEN = 386.75|XPIXSZ = 9")),
                 0);
        load(1, file);
        f->txtInfo->setPlainText(QStringLiteral("заметки"));
        setSolveTimeLimit(10);
        auto restore = qScopeGuard([] { setSolveTimeLimit(60); });

        QVERIFY(solverRuns(*f));
        frmSolve& w = SolveForm();
        const qint64 group = w.solver().processGroup();
        // solve-field hands the stars to astrometry-engine, a process of its own (and a watchdog).
        QVERIFY(QTest::qWaitFor([&] { return livingInGroup(group) >= 3; }, 10000));
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(w.cmdPrer, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return livingInGroup(group) == 0; }, 1000));
        qInfo("stopped in %lld ms", clock.elapsed());
        QVERIFY(!w.isVisible());
        QVERIFY(jobEnds()); // the stop ends the runner's job, so the next start is taken

        QVERIFY(solverRuns(*f));
        QVERIFY(solveEnds(10 + 5));
        qInfo("noise gave up after %.1f s", SolveForm().solver().elapsedSeconds());
        QVERIFY(SolveForm().solver().elapsedSeconds() < 10 + 1);
        QCOMPARE(prompter->messages.size(), 1);
        QVERIFY2(
            prompter->messages[0].startsWith(QStringLiteral("Не удалось определить координаты по звёздам: ")),
            qPrintable(prompter->messages[0]));
        QCOMPARE(f->txtInfo->toPlainText(), QStringLiteral("заметки"));
        QVERIFY(!f->mnuKoordinat->isEnabled());
        const QString label = f->lblInfo->text();
        hoverPicture(*f, QPoint(30, 30));
        QCOMPARE(f->lblInfo->text(), label);
    }
};

QTEST_MAIN(TestSkyCoordinates)
#include "tst_skycoordinates.moc"
