// The list "Движущиеся объекты" as a user works with it: rows chosen by click and by the arrow
// keys take the view and the marker box to the object while the blink goes on; the report of the
// chosen object reaches the clipboard and the notepad; each picture's time shows in its tool tip
// and in the panel, with the camera clock's offset from the settings dialog.

#include "notepad/frmast00.h"
#include "report/frmmovers.h"
#include "report/frmsettings.h"
#include "report/mpcreport.h"
#include "report/reportsettings.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/exifjpeg.h"
#include "support/fixture.h"
#include "support/useractions.h"
#include "support/wcsheader.h"
#include "view/imageframe.h"

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Whether the grab shows a pure green marker pixel within a pixel of p.
bool greenNear(const QImage& grab, QPointF p) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint q(int(std::floor(p.x())) + dx, int(std::floor(p.y())) + dy);
            if (grab.valid(q) && grab.pixelColor(q) == QColor(0, 255, 0)) return true;
        }
    return false;
}

/// Clicks a cell of the list as a user does.
void clickRow(frmMovers& w, int row) {
    QTableWidget* t = w.lstMovers;
    QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, t->visualItemRect(t->item(row, 1)).center());
}

MovingCandidate candidate(QPointF one, QPointF two) {
    MovingCandidate c;
    c.at = {one, two};
    c.significance = {30, 28};
    const QPointF d = two - one;
    c.speed = std::hypot(d.x(), d.y()) * 2;
    c.perHour = true;
    c.directionDegrees = std::fmod(std::atan2(d.x(), -d.y()) * 180 / M_PI + 360, 360);
    c.magnitudeDifference = 0.14;
    return c;
}

/// A FITS picture with its exposure started at dateObs and lasting 30 seconds.
QString fitsAt(const QTemporaryDir& dir, const QString& name, const QString& dateObs) {
    const QString path = dir.filePath(name);
    writeFitsWithCards(path, linearStarField(1600, 1200, 40, 1000, 30, 30000, 3),
                       {QStringLiteral("DATE-OBS= '%1'").arg(dateObs), QStringLiteral("EXPTIME =                 30.0")});
    return path;
}

} // namespace

class TestMoversWindow : public QObject {
    Q_OBJECT
    ScriptedPrompter* prompter = nullptr;
    frmBl* f = nullptr;
    QTemporaryDir dir;
    QTemporaryDir settingsDir;

  private slots:
    void initTestCase() {
        // The settings of the user who runs the tests stay untouched.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    }
    void init() {
        QFile::remove(settingsDir.filePath("Vorlan/Vorlan.ini"));
        startCase(prompter, f);
    }
    void cleanup() {
        if (NotepadExists()) Notepad().close();
        endCase(prompter);
    }

    void listTakesTheViewToEachObjectWhileBlinking() {
        const QImage field = starField(1600, 1200, {{300, 200, 2}, {1200, 900, 2}, {800, 600, 2}});
        loadSlot(*f, *prompter, 1, savePicture(dir, "one.png", field));
        loadSlot(*f, *prompter, 2, savePicture(dir, "two.png", field));
        QTest::mouseClick(f->Lbl1, Qt::LeftButton);
        f->CmdStart->click();

        MovingSearchResult r;
        r.movers = {candidate({1200.4, 900.6}, {1210.4, 905.6}), candidate({300.2, 200.7}, {296.2, 180.7})};
        r.flashes = {{1, {800.26, 600.74}, 20}};
        f->showMovers(r, {1, 2});
        frmMovers* w = f->findChild<frmMovers*>();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->windowTitle(), QString("Движущиеся объекты"));
        QCOMPARE(w->lstMovers->rowCount(), 3);
        QCOMPARE(w->lblStatus->text(), QString("Кандидатов: 2, вспышек: 1"));
        auto cells = [w](int row) {
            QStringList c;
            for (int col = 0; col < w->lstMovers->columnCount(); ++col)
                c << w->lstMovers->item(row, col)->text();
            return c;
        };
        // No sky solution: the sky columns stay empty.
        QCOMPARE(cells(0), QStringList({"1", "1200.4", "900.6", "", "", "22.4 пикс/ч", "117°", "+0.1"}));
        QCOMPARE(cells(2), QStringList({"3", "800.3", "600.7", "", "", "вспышка?", "снимок 2", ""}));

        const float scale = State().DisplayScale1;
        const QPointF middle(f->pictureArea->width() / 2.0, f->pictureArea->height() / 2.0);
        auto drawn = [&](QPointF p) { return QPointF(f->Img1->Left() + p.x() * scale, f->Img1->Top() + p.y() * scale); };
        // Each chosen row: the object drawn where the marker box stands, the box in the grab.
        auto shows = [&](QPointF p, bool centred) {
            const QPointF at = drawn(p);
            QVERIFY2(std::abs(at.x() - State().BoxCentreX) < 0.01 && std::abs(at.y() - State().BoxCentreY) < 0.01,
                     qPrintable(QStringLiteral("box at %1, %2").arg(State().BoxCentreX).arg(State().BoxCentreY)));
            if (centred) QVERIFY(std::abs(at.x() - middle.x()) <= 1 && std::abs(at.y() - middle.y()) <= 1);
            const QImage grab = f->pictureArea->grab().toImage();
            QVERIFY(greenNear(grab, at + QPointF(0, -100)));  // top side
            QVERIFY(greenNear(grab, at + QPointF(-100, 50))); // left side
            QVERIFY(greenNear(grab, at + QPointF(-150, 0)));  // left whisker
        };

        clickRow(*w, 0);
        QVERIFY(f->mnuRamka->isChecked());
        shows({1200.4, 900.6}, true);
        typeKey(w, Qt::Key_Down);
        QCOMPARE(w->currentRow(), 1);
        shows({300.2, 200.7}, false); // near the corner the pan bars stop at 0
        QCOMPARE(f->HScroll1->value(), 0);
        typeKey(w, Qt::Key_Down);
        shows({800.26, 600.74}, true);
        typeKey(w, Qt::Key_Up);
        QCOMPARE(w->currentRow(), 1);
        shows({300.2, 200.7}, false);
        QCOMPARE(f->CmdStart->text(), QString("СТОП"));
        QCOMPARE(f->timerInterval(), 1000);
    }

    void reportOfTheChosenObject() {
        loadSlot(*f, *prompter, 1, fitsAt(dir, "one.fits", "2024-03-05T21:14:07.25"));
        loadSlot(*f, *prompter, 2, fitsAt(dir, "two.fits", "2024-03-05T21:44:07.25"));
        QTest::mouseClick(f->Lbl1, Qt::LeftButton);
        // The two-star solution: star 1 where the object stands in picture 1.
        const QPointF star1(1200.4, 900.6), star2(300.2, 200.7);
        SharedState& s = State();
        for (auto [p, at] : {std::pair{1, star1}, std::pair{2, star2}}) {
            QTest::mouseClick(p == 1 ? f->lblVvod1 : f->lblVvod2, Qt::LeftButton);
            f->Img_MouseDown(1, 1, 0, float(at.x() * 15), float(at.y() * 15));
        }
        s.StarRA1 = float((10 + 20 / 60.0 + 30.42 / 3600) * M_PI / 12);
        s.StarDec1 = float((12 + 34 / 60.0 + 56.72 / 3600) * M_PI / 180);
        s.StarRA2 = float((10 + 24 / 60.0) * M_PI / 12);
        s.StarDec2 = float((13 + 1 / 60.0) * M_PI / 180);
        f->mnuViravnivanie_Click();
        QVERIFY(f->mnuKoordinat->isEnabled());

        // Without a chosen object the report says what to do.
        f->mnuReportLine->trigger();
        QCOMPARE(prompter->messages.size(), 1);
        MovingSearchResult r;
        r.movers = {candidate(star1, star1 + QPointF(12, -5))};
        f->showMovers(r, {1, 2});
        frmMovers* w = f->findChild<frmMovers*>();
        QCOMPARE(w->lstMovers->item(0, 3)->text(), QString("10 20 30.42"));
        QCOMPARE(w->lstMovers->item(0, 4)->text(), QString("+12 34 56.7"));
        clickRow(*w, 0);
        QTest::mouseClick(w->cmdReport, Qt::LeftButton);
        QCOMPARE(prompter->messages.size(), 1);

        const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 7); // two lines, an empty one, the ADES names, two rows, the end
        const QString line = lines[0];
        QCOMPARE(line.size(), 80);
        QCOMPARE(line.mid(0, 5), QString(5, ' '));
        QCOMPARE(line.mid(5, 7), QString("VRL0001"));
        QCOMPARE(line.mid(12, 2), QString("  "));
        QCOMPARE(line.mid(14, 1), QString("C"));
        QCOMPARE(line.mid(15, 17), QString("2024 03 05.88498 ")); // 21:14:22.25, mid-exposure
        QCOMPARE(line.mid(32, 12), QString("10 20 30.42 "));
        QCOMPARE(line.mid(44, 12), QString("+12 34 56.7 "));
        QCOMPARE(line.mid(56, 21), QString(21, ' '));
        QCOMPARE(line.mid(77, 3), QString("500"));
        QCOMPARE(lines[1].mid(15, 17), QString("2024 03 05.90581 ")); // picture 2, 30 minutes on
        QVERIFY(lines[1].mid(32, 24) != line.mid(32, 24));
        QCOMPARE(lines[2], QString());
        QCOMPARE(lines[3], adesPsvHeader());
        QVERIFY2(lines[4].startsWith("VRL0001|CCD |500 |2024-03-05T21:14:22.250Z|155.1267"), qPrintable(lines[4]));
        QVERIFY2(lines[4].contains("|12.58242"), qPrintable(lines[4]));
        QVERIFY(NotepadExists() && Notepad().isVisible());
        QVERIFY(Notepad().text().replace("\r\n", "\n").contains(QGuiApplication::clipboard()->text()));
    }

    void timesShownAndTheCameraClockSet() {
        loadSlot(*f, *prompter, 1, fitsAt(dir, "one.fits", "2024-03-05T21:14:07.25"));
        const QString jpeg = dir.filePath("two.jpg");
        QVERIFY(writeJpegWithExif(jpeg, {"2024:03:06 00:44:07", "5", ExifRational{30, 1}}, starField(1600, 1200, {})));
        loadSlot(*f, *prompter, 2, jpeg);
        QVERIFY(f->Lbl1->toolTip().endsWith("середина экспозиции: 2024-03-05 21:14:22.250 UTC"));
        QVERIFY(f->Lbl2->toolTip().endsWith("середина экспозиции: 2024-03-06 00:44:22.500 UTC"));
        QVERIFY(f->txtInfo->toPlainText().contains("снимок 1: 2024-03-05 21:14:22.250 UTC\nснимок 2: 2024-03-06 00:44:22.500 UTC"));

        // Vorlan -> Настройки...: the camera ran on Moscow time.
        f->mnuSettings->trigger();
        auto* dialog = f->findChild<frmSettings*>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QString("Настройки"));
        QCOMPARE(dialog->txtStation->text(), QString("500"));
        QCOMPARE(dialog->txtDesignation->text(), QString("VRL0001"));
        QTest::mouseClick(dialog->txtClockOffset, Qt::LeftButton);
        QTest::keyClick(dialog->txtClockOffset, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(dialog->txtClockOffset, "180");
        type(dialog->txtStation, "c95");
        type(dialog->txtDesignation, "K24-X/01");
        QCOMPARE(dialog->txtDesignation->text(), QString("K24X01"));
        QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
        QTRY_VERIFY(!f->findChild<frmSettings*>());
        QVERIFY(f->txtInfo->toPlainText().contains("снимок 1: 2024-03-05 21:14:22.250 UTC\nснимок 2: 2024-03-05 21:44:22.500 UTC"));
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
    }
};

QTEST_MAIN(TestMoversWindow)
#include "tst_moverswindow.moc"
