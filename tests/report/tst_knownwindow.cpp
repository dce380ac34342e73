// Known objects as a user meets them: two FITS pictures 40 minutes apart, centred where the minor
// planet (1) stands then, with a dot that moves as it does and two other known objects in the
// field. The orbit file chosen through "Файл орбит малых планет...", "Показывать известные
// объекты" circles all three with their designations where PyEphem puts them (numbers from
// tools/orbitreference/ephemeris_reference.py), lists them, and the dot found by the search is named in
// "Движущиеся объекты" and reported under its packed designation.

#include "report/frmknown.h"
#include "report/frmmovers.h"
#include "report/frmsettings.h"
#include "report/knownsession.h"
#include "report/reportsettings.h"
#include "series/frmseries.h"
#include "shell/clicklabel.h"
#include "support/ceresfield.h"
#include "support/seriesframes.h"
#include "support/starsky.h"
#include "support/useractions.h"
#include "support/wcsheader.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Whether the grab shows the circle's colour within a pixel of p.
bool ringNear(const QImage& grab, QPointF p) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QColor c = grab.pixelColor(int(p.x()) + dx, int(p.y()) + dy);
            if (c.red() > 200 && c.green() > 140 && c.blue() < 90) return true;
        }
    return false;
}

double arcsecBetween(SkyCoord a, double raDeg, double decDeg) {
    return separationArcsec(a, {raDeg * Deg, decDeg * Deg});
}

} // namespace

class TestKnownWindow : public WindowTest {
    Q_OBJECT
    QTemporaryDir settingsDir;

  private:
    /// The orbit file of the Ceres field, written and chosen through "Файл орбит малых планет...".
    QString chooseCeresOrbits() {
        const QString orbits = dir.filePath("MPCORB.DAT");
        QFile file(orbits);
        if (!file.open(QIODevice::WriteOnly)) return {};
        file.write(ceresOrbitFile());
        file.close();
        prompter->openNames << orbits;
        return chooseMenuItem(f, f->mnuVL, f->mnuOrbitFile) ? orbits : QString();
    }

  private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        QStandardPaths::setTestModeEnabled(true);
    }
    void init() {
        QFile::remove(settingsDir.filePath("Vorlan/Vorlan.ini"));
        WindowTest::init();
    }

    void knownObjectsCircledListedAndReported() {
        load(1, ceresPicture(dir, "one.fits", "2026-03-16T01:59:45", Ceres.ra, Ceres.dec));
        load(2, ceresPicture(dir, "two.fits", "2026-03-16T02:39:45", Ceres.laterRa, Ceres.laterDec));
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuAutoSovm));
        QVERIFY(jobEnds());

        const QString orbits = chooseCeresOrbits();
        QVERIFY(!orbits.isEmpty());
        QCOMPARE(prompter->dialogTitles.last(), QString("Файл орбит малых планет"));
        QVERIFY(jobEnds());
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuKnownObjects));
        QVERIFY(jobEnds());
        QVERIFY(f->mnuKnownObjects->isChecked());
        QVERIFY(ReportSettings::load().showKnownObjects);
        QCOMPARE(ReportSettings::load().orbitFiles, QStringList{orbits});

        // Three circled, each within 2″ of PyEphem's place, the faint one and the far one left out.
        const std::vector<KnownObject>& known = f->knownSession().known;
        QCOMPARE(int(known.size()), 3);
        const QImage grab = f->Img1->grab().toImage();
        const Placement at = f->Img1->placement();
        for (const Reference& r : {Ceres, Ahead, Behind}) {
            const auto k = std::find_if(known.begin(), known.end(),
                                        [&](const KnownObject& o) { return o.designation == r.designation; });
            QVERIFY2(k != known.end(), r.designation);
            QVERIFY2(arcsecBetween(k->sky, r.ra, r.dec) < 2.0, qPrintable(QString::number(arcsecBetween(k->sky, r.ra, r.dec))));
            QVERIFY(std::fabs(k->magnitude - r.magnitude) < 0.05);
            const QPointF centre(at.originX + k->pixel.x() * at.scale, at.originY + k->pixel.y() * at.scale);
            QVERIFY2(ringNear(grab, centre + QPointF(KnownOverlay::Radius, 0)) &&
                         ringNear(grab, centre - QPointF(0, KnownOverlay::Radius)),
                     r.designation);
        }

        // The list, copied as text.
        QVERIFY(KnownWindowExists() && KnownWindow().isVisible());
        frmKnown& list = KnownWindow();
        QCOMPARE(list.windowTitle(), QString("Известные объекты в поле"));
        QCOMPARE(list.lstKnown->rowCount(), 3);
        QCOMPARE(list.lstKnown->item(0, 0)->text(), QString("(1)"));
        // The drawn stars are none of the catalogue's: no zero point, the limit stays V 20.
        QVERIFY2(list.lblStatus->text().contains("предел V 20: нет звёзд каталога для нуль-пункта"),
                 qPrintable(list.lblStatus->text()));
        QTest::mouseClick(list.cmdCopy, Qt::LeftButton);
        const QStringList copied = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(copied.size(), 4);
        QVERIFY2(copied[1].startsWith("(1)\t23 15 39.0"), qPrintable(copied[1]));

        // A brighter limit typed in the settings leaves "2024 AB1" (V 19.9) out; the typed place is kept.
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuSettings));
        auto* settings = f->findChild<frmSettings*>();
        QVERIFY(settings && settings->isVisible());
        QVERIFY(settings->chkKnownLimitAuto->isChecked());
        type(settings->txtKnownLimit->findChild<QLineEdit*>(), "19.8");
        QVERIFY(!settings->chkKnownLimitAuto->isChecked());
        type(settings->txtPlace, "-110.7887 32.4426 2790");
        QTest::mouseClick(settings->cmdOK, Qt::LeftButton);
        QVERIFY(jobEnds());
        QCOMPARE(KnownWindow().lstKnown->rowCount(), 2);
        QVERIFY2(KnownWindow().lblStatus->text().endsWith("предел V 19.8 задан в настройках"),
                 qPrintable(KnownWindow().lblStatus->text()));
        QVERIFY(ReportSettings::load().placeTyped && ReportSettings::load().orbitFiles == QStringList{orbits});

        // The search finds the dot: named in its row, reported under (1)'s packed number.
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuMovers));
        QVERIFY(jobEnds());
        frmMovers& movers = MoversWindow();
        int knownColumn = -1, row = -1;
        for (int c = 0; c < movers.lstMovers->columnCount(); ++c)
            if (movers.lstMovers->horizontalHeaderItem(c)->text() == "Известный объект") knownColumn = c;
        QVERIFY(knownColumn >= 0);
        for (int r = 0; r < movers.lstMovers->rowCount(); ++r)
            if (movers.lstMovers->item(r, knownColumn)->text() == "(1)") row = r;
        QVERIFY2(row >= 0, qPrintable(movers.lblStatus->text()));
        QVERIFY(std::fabs(movers.lstMovers->item(row, 1)->text().toDouble() - 800) < 1.5);
        QTest::mouseClick(movers.lstMovers->viewport(), Qt::LeftButton, Qt::NoModifier,
                          movers.lstMovers->visualItemRect(movers.lstMovers->item(row, 1)).center());
        QTest::mouseClick(movers.cmdReport, Qt::LeftButton);
        const QStringList report = QGuiApplication::clipboard()->text().split('\n');
        QVERIFY2(report[0].startsWith("00001         C2026 03 16.08333 23 15 39."), qPrintable(report[0]));
        QVERIFY2(report[0].endsWith("500") && report[1].endsWith("500"), qPrintable(report[0]));
        QVERIFY2(report[1].startsWith("00001         C2026 03 16.11111 23 15 41."), qPrintable(report[1]));
    }

    // Stacks of a series taken round Ceres: each stack circles the objects where they stand at its
    // own mid-time, so the circles move with the blink.
    void circlesFollowTheStacks() {
        SeriesScene s = smallerScene(480, 360, 12, 140);
        s.turnDegrees = 0;
        s.withWcs = true;
        s.centreRa = Ceres.ra * Deg;
        s.centreDec = Ceres.dec * Deg;
        s.start = QDateTime(QDate(2026, 3, 16), QTime(1, 40), Qt::UTC);
        s.cadenceSeconds = 200;
        prompter->openNameLists.enqueue(writeSeries(s, dir.path()).paths);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileSeries));
        QVERIFY(jobEnds());
        QTest::mouseClick(f->findChild<frmSeries*>()->cmdStack, Qt::LeftButton);
        QVERIFY(jobEnds());

        QVERIFY(!chooseCeresOrbits().isEmpty());
        QVERIFY(jobEnds());
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuKnownObjects));
        QVERIFY(jobEnds());

        const KnownSession& k = f->knownSession();
        auto ceresIn = [](const std::vector<KnownObject>& known) {
            const auto c = std::find_if(known.begin(), known.end(), [](const KnownObject& o) { return o.designation == "(1)"; });
            return c == known.end() ? std::optional<QPointF>() : std::optional<QPointF>(c->pixel);
        };
        const std::optional<QPointF> first = ceresIn(k.known);
        QVERIFY(first);
        double moved = 0;
        for (int i = 0; i < 2; ++i) {
            const std::optional<QPointF> later = ceresIn(k.onStacks[size_t(i)]);
            QVERIFY2(later, qPrintable(QString::number(k.onStacks[size_t(i)].size())));
            // Ceres moves about a quarter of a pixel a minute here: later stacks, farther along.
            QVERIFY2(QLineF(*first, *later).length() > moved + 1, qPrintable(QString::number(QLineF(*first, *later).length())));
            moved = QLineF(*first, *later).length();
            QTest::mouseClick(f->Lbl(i + 2), Qt::LeftButton);
            const QImage grab = f->Img(i + 2)->grab().toImage();
            const Placement at = f->Img(i + 2)->placement();
            const QPointF centre(at.originX + later->x() * at.scale, at.originY + later->y() * at.scale);
            QVERIFY(ringNear(grab, centre + QPointF(KnownOverlay::Radius, 0)));
        }
    }
};

QTEST_MAIN(TestKnownWindow)
#include "tst_knownwindow.moc"
