// Finding moving objects as a user does: register two pictures by hand, "Найти движущиеся объекты",
// step through the list "Движущиеся объекты" by click and arrow keys while the view and the marker
// box follow and the blink goes on; copy the report of the chosen object and of a Shift + click;
// see each picture's time in its tool tip and in the panel, with the camera clock set in the
// settings dialog.

#include "notepad/frmast00.h"
#include "photometry/frmfm.h"
#include "report/frmmovers.h"
#include "report/frmsettings.h"
#include "report/mpcreport.h"
#include "report/reportsettings.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "sky/frmvvodkoordinat.h"
#include "support/exifjpeg.h"
#include "support/moverfield.h"
#include "support/useractions.h"
#include "support/wcsheader.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Whether the grab shows a pure green marker pixel within a pixel of p.
bool greenNear(const QImage& grab, QPointF p) {
    const QImage around = grab.copy(int(std::floor(p.x())) - 1, int(std::floor(p.y())) - 1, 3, 3)
                              .convertToFormat(QImage::Format_RGB32);
    const auto* pixels = reinterpret_cast<const QRgb*>(around.constBits());
    return std::find(pixels, pixels + 9, qRgb(0, 255, 0)) != pixels + 9;
}

/// Clicks a row of the list as a user does.
void clickRow(frmMovers& w, int row) {
    QTableWidget* t = w.lstMovers;
    QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier,
                      t->visualItemRect(t->item(row, 1)).center());
}

QStringList cells(const frmMovers& w, int row) {
    QStringList c;
    for (int col = 0; col < w.lstMovers->columnCount(); ++col)
        c << w.lstMovers->item(row, col)->text();
    return c;
}

/// Where picture 1 shows the star the report case measures, picture pixels, and the sky
/// position its header's WCS gives it: 10h 20m 30.42s, +12° 34' 56.72".
constexpr QPointF Star1(812.3, 604.7);
const double Star1Ra = (10 + 20 / 60.0 + 30.42 / 3600) * M_PI / 12,
             Star1Dec = (12 + 34 / 60.0 + 56.72 / 3600) * M_PI / 180;

/// A grey sky 1600 x 1200 with 40 stars and a bright one at Star1, as a FITS file whose exposure
/// started at 2024-03-05 21:14:07.25 and lasted 30 seconds, and whose TAN projection of 1.8"
/// pixels, north up, has its tangent point on Star1.
QString skyPicture1(const QTemporaryDir& dir) {
    QVector<SkyStar> sky = randomSky(QRectF(50, 50, 1500, 1100), 40, 5, 20, 120);
    sky.push_back({Star1.x(), Star1.y(), 150});
    const LinearData counts = countsOf(renderSky(sky, {.width = 1600, .height = 1200, .fwhm = 2.5}).image);
    const QString path = dir.filePath("one.fits");
    // The FITS y axis grows upwards from the bottom row.
    writeFitsWithCards(path, counts,
                       cards(QStringLiteral("DATE-OBS = '2024-03-05T21:14:07.25'|EXPTIME = 30.0|"
                                            "CTYPE1 = 'RA---TAN'|CTYPE2 = 'DEC--TAN'|CRPIX1 = %1|CRPIX2 = %2|"
                                            "CRVAL1 = %3|CRVAL2 = %4|CD1_1 = -0.0005|CD2_2 = 0.0005")
                                 .arg(Star1.x() + 0.5)
                                 .arg(1200 - Star1.y() + 0.5)
                                 .arg(Star1Ra * 180 / M_PI, 0, 'g', 15)
                                 .arg(Star1Dec * 180 / M_PI, 0, 'g', 15)));
    return path;
}

} // namespace

class TestMoversWindow : public WindowTest {
    Q_OBJECT
    QTemporaryDir settingsDir;

  private slots:
    void initTestCase() {
        // The settings of the user who runs the tests stay untouched.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    }
    void init() {
        QFile::remove(settingsDir.filePath("Vorlan/Vorlan.ini"));
        WindowTest::init();
    }
    void cleanup() {
        if (NotepadExists()) Notepad().close();
        WindowTest::cleanup();
    }

    // Picture 2 is turned and mirrored: "Совместить автоматически" registers it, mirror included,
    // and the search works in that registration.
    void searchAfterAutomaticRegistrationAndStepThroughTheList() {
        const MoverField field = moverField(2, 3, 1600, 1200, 1.6, 160, 20.0, true);
        load(1, "one.png", field.pictures[0].image);
        load(2, "two.png", field.pictures[1].image);
        emit f->mnuViravnivanie->aboutToShow();
        QVERIFY(!f->mnuMovers->isEnabled());
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuAutoSovm));
        QVERIFY(jobEnds());
        QVERIFY(f->Img2->registration() && f->Img2->registration()->mirrored);
        QTest::mouseClick(f->Lbl1, Qt::LeftButton);
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        QCOMPARE(f->CmdStart->text(), QString("СТОП"));

        emit f->mnuViravnivanie->aboutToShow();
        QVERIFY(f->mnuMovers->isEnabled());
        f->mnuMovers->trigger();
        frmMovers* w = f->findChild<frmMovers*>();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->windowTitle(), QString("Движущиеся объекты"));
        QVERIFY(jobEnds());
        QVERIFY2(w->lblStatus->text().startsWith("Кандидатов: "), qPrintable(w->lblStatus->text()));

        // Every object of 10 sigmas or more is listed at its place in picture 1; nothing else is,
        // and no flash either (the hot pixels and the trail are no candidates).
        const auto bright =
            std::ranges::count_if(field.objects, [](const MovingObject& o) { return o.peakSnr >= 10; });
        QVERIFY2(w->lstMovers->rowCount() >= bright && w->lstMovers->rowCount() <= 10,
                 qPrintable(QString::number(w->lstMovers->rowCount())));
        for (const MovingObject& o : field.objects) {
            if (o.peakSnr < 10) continue;
            bool listed = false;
            for (int row = 0; row < w->lstMovers->rowCount(); ++row) {
                const QStringList c = cells(*w, row);
                if (QLineF(o.at, QPointF(c[1].toDouble(), c[2].toDouble())).length() >= 0.4) continue;
                listed = true;
                QVERIFY2(c[5].endsWith(" пикс/снимок"), qPrintable(c[5])); // no times in PNG files
                QVERIFY2(std::abs(c[5].split(' ')[0].toDouble() - std::hypot(o.step.x(), o.step.y())) < 0.4,
                         qPrintable(c[5]));
                QCOMPARE(c[3], QString()); // no sky solution
            }
            QVERIFY2(listed, qPrintable(QStringLiteral("object at %1, %2").arg(o.at.x()).arg(o.at.y())));
        }

        const float scale = State().DisplayScale1;
        const QPointF middle(f->pictureArea->width() / 2.0, f->pictureArea->height() / 2.0);
        // The chosen row: its object drawn where the marker box stands (in the middle of the
        // picture area, unless the pan bars cannot reach), the box in the grab.
        auto shows = [&](int row) {
            const QStringList c = cells(*w, row);
            const QPointF at(f->Img1->Left() + c[1].toDouble() * scale,
                             f->Img1->Top() + c[2].toDouble() * scale);
            QVERIFY(QLineF(at, QPointF(State().BoxCentreX, State().BoxCentreY)).length() < 0.08);
            const bool reachable = f->HScroll1->value() > f->HScroll1->minimum() &&
                                   f->HScroll1->value() < f->HScroll1->maximum();
            if (reachable) QVERIFY(std::abs(at.x() - middle.x()) <= 1);
            const QImage grab = f->pictureArea->grab().toImage();
            QVERIFY(greenNear(grab, at + QPointF(0, -100)));  // top side
            QVERIFY(greenNear(grab, at + QPointF(-100, 50))); // left side
            QVERIFY(greenNear(grab, at + QPointF(-150, 0)));  // left whisker
        };
        clickRow(*w, 0);
        QVERIFY(f->mnuRamka->isChecked());
        shows(0);
        for (const auto& [key, row] :
             {std::pair{Qt::Key_Down, 1}, std::pair{Qt::Key_Down, 2}, std::pair{Qt::Key_Up, 1}}) {
            typeKey(w, key);
            QCOMPARE(w->currentRow(), row);
            shows(row);
        }
        QCOMPARE(f->CmdStart->text(), QString("СТОП"));
        QCOMPARE(f->timerInterval(), 1000);
    }

    // Picture 1 is a FITS file with its time and a WCS in its header, picture 2 a camera's JPEG:
    // the times in the tool tips and the panel, the camera clock and the report's settings set in
    // "Настройки...", then the report of a listed object, of a flash and of a Shift + click, with
    // the sky positions from the WCS until the user makes the two-star solution.
    void timesSettingsAndReports() {
        load(1, skyPicture1(dir));
        const QString jpeg = dir.filePath("two.jpg");
        QVERIFY(writeJpegWithExif(jpeg, {"2024:03:06 00:44:07", "5", ExifRational{30, 1}},
                                  starField(1600, 1200, {})));
        load(2, jpeg);
        QVERIFY(f->Lbl1->toolTip().endsWith("середина экспозиции: 2024-03-05 21:14:22.250 UTC"));
        QVERIFY(f->Lbl2->toolTip().endsWith("середина экспозиции: 2024-03-06 00:44:22.500 UTC"));
        QVERIFY(
            f->txtInfo->toPlainText().contains("координаты: WCS из файла\nснимок 1: 2024-03-05 21:14:22.250 "
                                               "UTC\nснимок 2: 2024-03-06 00:44:22.500 UTC"));

        // Vorlan -> Настройки...: the camera ran on Moscow time.
        f->mnuSettings->trigger();
        auto* dialog = f->findChild<frmSettings*>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QString("Настройки"));
        QCOMPARE(dialog->txtStation->text(), QString("500"));
        QCOMPARE(dialog->txtDesignation->text(), QString("VRL0001"));
        type(dialog->txtClockOffset->findChild<QLineEdit*>(), "180");
        type(dialog->txtStation, "c95");
        type(dialog->txtDesignation, "K24-X/01");
        QCOMPARE(dialog->txtDesignation->text(), QString("K24X01"));
        type(dialog->txtSubmitter, "A. Petrov");
        type(dialog->txtMeasurers, "A. Petrov, B. Ivanova");
        QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
        QTRY_VERIFY(!f->findChild<frmSettings*>());
        QVERIFY(f->txtInfo->toPlainText().contains(
            "снимок 1: 2024-03-05 21:14:22.250 UTC\nснимок 2: 2024-03-05 21:44:22.500 UTC"));
        QCOMPARE(f->txtInfo->toPlainText().count("снимок"), 2);
        QVERIFY(f->Lbl2->toolTip().endsWith("2024-03-05 21:44:22.500 UTC"));
        // Remembered for the next run, and shown when the dialog opens again.
        const ReportSettings saved = ReportSettings::load();
        QCOMPARE(saved.cameraClockOffsetMinutes, 180);
        QCOMPARE(saved.station, QString("C95"));
        QCOMPARE(saved.designation, QString("K24X01"));
        f->mnuSettings->trigger();
        dialog = f->findChild<frmSettings*>();
        QCOMPARE(dialog->txtClockOffset->value(), 180);
        QTest::mouseClick(dialog->cmdCancel, Qt::LeftButton);

        // Two stars marked on both pictures (a hand registration) and their catalogue positions,
        // a minute of right ascension off the header's: not in force before "Считать!".
        const QPointF star2 = Star1 + QPointF(-700, -300);
        for (int k : {1, 2}) {
            mark(k, 1, Star1);
            mark(k, 2, star2);
        }
        SharedState& s = State();
        s.StarRA1 = float(Star1Ra + M_PI / 720);
        s.StarDec1 = float(Star1Dec);
        s.StarRA2 = float((10 + 22 / 60.0) * M_PI / 12);
        s.StarDec2 = float((12 + 45 / 60.0) * M_PI / 180);
        emit f->mnuViravnivanie->aboutToShow();
        QVERIFY(f->mnuKoordinat->isEnabled());
        QVERIFY(f->mnuMovers->isEnabled());

        // Without a chosen object the report says what to do.
        f->mnuReportLine->trigger();
        QCOMPARE(prompter->messages.size(), 1);

        // An object on Star1 in picture 1, 13 pixels on in picture 2.
        MovingSearchResult r;
        r.movers = {{.at = {Star1, Star1 + QPointF(12, -5)},
                     .speed = 26, // pixels an hour
                     .perHour = true,
                     .directionDegrees = 67.38,
                     .magnitudeDifference = 0.14}};
        r.flashes = {{1, Star1 + QPointF(300, 200), 20}};
        f->showMovers(r, {1, 2});
        frmMovers* w = f->findChild<frmMovers*>();
        QCOMPARE(w->lstMovers->item(0, 3)->text(), QString("10 20 30.42"));
        QCOMPARE(w->lstMovers->item(0, 4)->text(), QString("+12 34 56.7"));
        clickRow(*w, 0);
        QTest::mouseClick(w->cmdReport, Qt::LeftButton);
        QCOMPARE(prompter->messages.size(), 1);

        QStringList lines = QGuiApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.mid(8, 3), QStringList({"# measurers", "! name A. Petrov", "! name B. Ivanova"}));
        lines.remove(3, 12);       // the ADES lines of who observed with what
        QCOMPARE(lines.size(), 7); // two lines, an empty one, the ADES names, two rows, the end
        const QString line = lines[0];
        // The designation, "C" for CCD, the mid-exposure time 21:14:22.25, RA, Dec and the station.
        QCOMPARE(line, QString(5, ' ') + "K24X01   C2024 03 05.88498 10 20 30.42 +12 34 56.7 " +
                           QString(21, ' ') + "C95");
        QCOMPARE(lines[1].mid(15, 17), QString("2024 03 05.90582 ")); // picture 2, 21:44:22.5
        QVERIFY(lines[1].mid(32, 24) != line.mid(32, 24));
        QCOMPARE(lines[2], QString());
        QCOMPARE(lines[3], adesPsvHeader());
        QVERIFY2(lines[4].startsWith("K24X01 |CCD |C95 |2024-03-05T21:14:22.250Z|155.1267"),
                 qPrintable(lines[4]));
        QVERIFY2(lines[4].contains("|12.58242"), qPrintable(lines[4]));
        QVERIFY(NotepadExists() && Notepad().isVisible());
        QVERIFY(Notepad().text().replace("\r\n", "\n").contains(QGuiApplication::clipboard()->text()));

        // A flash is reported at the time of the one picture it is in.
        QCOMPARE(cells(*w, 1), QStringList({"2", "1112.3", "804.7", w->lstMovers->item(1, 3)->text(),
                                            w->lstMovers->item(1, 4)->text(), "вспышка?", "снимок 2", "", ""}));
        QCOMPARE(cells(*w, 0).mid(5, 3), QStringList({"26.0 пикс/ч", "67°", "+0.1"}));
        clickRow(*w, 1);
        QTest::mouseClick(w->cmdReport, Qt::LeftButton);
        lines = QGuiApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 5 + 12);
        QCOMPARE(lines[0].mid(15, 17), QString("2024 03 05.90582 "));

        // Star1 measured by photometry (Ctrl + click) against a bright star of light 1000 and
        // magnitude 12: a report of it carries the magnitude shown, in V.
        f->mnuFM->trigger();
        type(PhotometryForm().txtZ, "1000");
        type(PhotometryForm().txtM, "12");
        QTest::mouseClick(f->Img1, Qt::LeftButton, Qt::ControlModifier, Star1.toPoint());
        const QString measured = PhotometryForm().lblZV->text();
        QVERIFY2(QRegularExpression("^-?\\d+\\.\\d\\d$").match(measured).hasMatch(), qPrintable(measured));

        // Shift + click two pixels beside Star1: the report is of the star's centroid, in
        // picture 1's time, whatever pixel was clicked.
        const QPoint beside = (Star1 + QPointF(2, -1.5)).toPoint();
        QTest::mouseClick(f->Img1, Qt::LeftButton, Qt::ShiftModifier, beside);
        QVERIFY(jobEnds()); // the comparison cut-out of the spot
        f->mnuReportLine->trigger();
        QVERIFY(jobEnds());
        lines = QGuiApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 5 + 12); // one line, an empty one, the ADES submission, the end
        QCOMPARE(lines[0].mid(15, 17), QString("2024 03 05.88498 "));
        QCOMPARE(lines[0].mid(65, 6), QString::asprintf("%4.1f V", measured.toDouble()));
        QVERIFY2(arcsec(mpcLineSky(lines[0]), SkyCoord{Star1Ra, Star1Dec}) < 0.3, qPrintable(lines[0]));
        QVERIFY(Notepad().text().replace("\r\n", "\n").endsWith(QGuiApplication::clipboard()->text()));

        // "Считать!" makes the two-star solution, the latest, the one in force.
        f->mnuViravnivanie_vvod_koord->trigger();
        QTest::mouseClick(VvodKoordinatForm().cmdSzet, Qt::LeftButton);
        QTest::mouseClick(VvodKoordinatForm().cmdExit, Qt::LeftButton);
        QCOMPARE(prompter->messages.size(), 1);
        QCOMPARE(f->txtInfo->toPlainText().count("координаты: по двум звёздам"), 1);
        f->showMovers(r, {1, 2});
        // (Its single-precision fields place Star1 to a few tenths of an arc-second.)
        QVERIFY2(w->lstMovers->item(0, 3)->text().startsWith("10 21 30."),
                 qPrintable(w->lstMovers->item(0, 3)->text()));

        r.movers[0].unseen = 1; // picture 2 could not show it
        f->showMovers(r, {1, 2, 3});
        QCOMPARE(cells(*w, 0)[5], QString("26.0 пикс/ч, 2 из 3"));
    }
};

QTEST_MAIN(TestMoversWindow)
#include "tst_moverswindow.moc"
