// The deep search as the user runs it on a short series: the dialog opened from the menu with its
// estimate, the search run, the faint mover listed as found by it, shown as a point under the
// marker box in the series stacked along its motion, and reported by three sub-stacks.

#include "deep/frmdeep.h"
#include "report/frmmovers.h"
#include "shell/clicklabel.h"
#include "shell/sharedstate.h"
#include "sky/skywcs.h"
#include "support/seriesframes.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QClipboard>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineF>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

class TestDeepWindow : public WindowTest {
    Q_OBJECT
  private slots:
    void aMoverNoFrameShowsIsFoundShownAndReported() {
        const SeriesScene s = faintMoverScene();
        const WrittenSeries written = writeSeries(s, dir.path());
        emit f->mnuViravnivanie->aboutToShow();
        QVERIFY(!f->mnuDeepSearch->isEnabled()); // no series yet
        prompter->openNameLists.enqueue(written.paths);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileSeries));
        QVERIFY(jobEnds());

        // The dialog says how much it will search and how long that takes, before it starts.
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuDeepSearch));
        frmDeep* d = f->findChild<frmDeep*>();
        QVERIFY(d && d->isVisible());
        QCOMPARE(d->txtThreshold->value(), 7.0);
        QCOMPARE(d->txtMaxSpeed->suffix(), QString(" пикс/ч")); // the pictures are no stacks with a sky yet
        QCOMPARE(d->txtMaxSpeed->value(), 240.0);              // four pixels a frame, a frame a minute
        const QString estimate = d->lblEstimate->text();
        QVERIFY2(estimate.startsWith("Кадров: 18, 320×240 пикс; пробных движений: ") &&
                     estimate.contains("Поиск займёт около "),
                 qPrintable(estimate));
        // Half the speeds, a quarter of the motions: the estimate follows.
        auto typeSpeed = [d](const char* text) {
            QTest::mouseClick(d->txtMaxSpeed, Qt::LeftButton);
            QTest::keyClick(d->txtMaxSpeed, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(d->txtMaxSpeed, text);
        };
        typeSpeed("120");
        const int all = estimate.section(": ", 2).section('.', 0, 0).toInt();
        const int half = d->lblEstimate->text().section(": ", 2).section('.', 0, 0).toInt();
        QVERIFY2(half > all / 6 && half < all / 2, qPrintable(d->lblEstimate->text()));
        typeSpeed("240");
        QCOMPARE(d->lblEstimate->text(), estimate);

        // "Прервать" ends a search with nothing listed, and the dialog offers it again.
        f->jobs().hold(true);
        QTest::mouseClick(d->cmdStart, Qt::LeftButton);
        QVERIFY(d->cmdStop->isVisible() && !d->cmdStart->isEnabled() && !d->txtMaxSpeed->isEnabled());
        QTest::mouseClick(d->cmdStop, Qt::LeftButton);
        f->jobs().hold(false);
        QVERIFY(jobEnds());
        QCOMPARE(d->lblEstimate->text(), QString("Поиск прерван."));
        QVERIFY(!d->cmdStop->isVisible() && d->cmdStart->isEnabled() && !f->findChild<frmMovers*>());

        QTest::mouseClick(d->cmdStart, Qt::LeftButton);
        QVERIFY(jobEnds());
        QTRY_VERIFY(!f->findChild<frmDeep*>() || !f->findChild<frmDeep*>()->isVisible());

        // Listed as found by the deep search, where it stood at the series' mid-time.
        frmMovers* list = f->findChild<frmMovers*>();
        QVERIFY(list && list->isVisible());
        QVERIFY2(list->lblStatus->text().startsWith("Глубокий поиск: найдено объектов: 1"),
                 qPrintable(list->lblStatus->text()));
        const QTableWidget* t = list->lstMovers;
        const QPointF listed(t->item(0, 1)->text().toDouble(), t->item(0, 2)->text().toDouble());
        const QPointF truth = moverAt(s, 0, 8.5);
        QVERIFY2(QLineF(listed, truth).length() < 0.6, qPrintable(t->item(0, 1)->text() + " " + t->item(0, 2)->text()));
        const QString motion = t->item(0, 5)->text();
        QVERIFY2(motion.contains(" пикс/ч, глубокий поиск, ОСШ ") &&
                     std::abs(motion.section(' ', 0, 0).toDouble() - 60 * std::hypot(1.3, 0.6)) < 3,
                 qPrintable(motion));

        // Chosen by a click: the stacks made, then the series along its motion as picture 3.
        QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, t->visualItemRect(t->item(0, 1)).center());
        QTRY_VERIFY_WITH_TIMEOUT(State().FileName(3).contains(", по движению "), 60000);
        QVERIFY(jobEnds());
        QVERIFY2(State().FileName(3).startsWith("стопка 3: 18 кадров"), qPrintable(State().FileName(3)));
        QVERIFY(State().FileName(1).startsWith("стопка 1: 6 кадров"));
        // Now that picture 1 is a stack with the reference frame's sky, the row has its place on the sky.
        const SkyWcs wcs = SkyWcs::fromFitsFile(written.paths[0]).value();
        const QString placed = QString(32, ' ') + t->item(0, 3)->text() + " " + t->item(0, 4)->text();
        QVERIFY2(arcsec(wcs.pictureToSky(listed), mpcLineSky(placed)) < 0.3, qPrintable(placed));

        // The grab of picture 3 shows a point under the box: its middle brighter than round it.
        QTest::mouseClick(f->Lbl3, Qt::LeftButton);
        QVERIFY(f->Img3->isVisible() && f->mnuRamka->isChecked());
        const float scale = State().DisplayScale1;
        const QPointF box(State().BoxCentreX, State().BoxCentreY);
        QVERIFY(QLineF(box, QPointF(f->Img1->Left() + listed.x() * scale, f->Img1->Top() + listed.y() * scale)).length() <
                0.1);
        const QImage shown = f->pictureArea->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
        auto grey = [&](int dx, int dy) { return int(shown.pixelColor(box.toPoint() + QPoint(dx, dy)).value()); };
        int centre = 0, ring = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                centre = std::max(centre, grey(dx, dy));
        for (int a = 0; a < 16; ++a)
            ring = std::max(ring, grey(int(std::lround(7 * std::cos(a * M_PI / 8))), int(std::lround(7 * std::sin(a * M_PI / 8)))));
        QVERIFY2(centre > ring + 40, qPrintable(QStringLiteral("%1 against %2").arg(centre).arg(ring)));

        // With the stacks' sky in force the dialog asks for speeds on the sky: 240 pixels an hour
        // at 1.125″ a pixel are 4.5″ a minute.
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuDeepSearch));
        d = f->findChild<frmDeep*>();
        QVERIFY(d && d->isVisible());
        QCOMPARE(d->txtMaxSpeed->suffix(), QString(" ″/мин"));
        QCOMPARE(d->txtMaxSpeed->value(), 4.5);
        QVERIFY(std::abs(d->options().maxSpeed - 240) < 0.01);
        QTest::mouseClick(d->cmdClose, Qt::LeftButton);
        QTRY_VERIFY(!f->findChild<frmDeep*>());

        // "Копировать строку отчёта": one line a third of the series, at its mean time, where the
        // object then stood, within an arc second.
        QTest::mouseClick(list->cmdReport, Qt::LeftButton);
        QVERIFY2(prompter->messages.isEmpty(), qPrintable(prompter->messages.join('|')));
        const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
        QCOMPARE(lines[3], QString());
        for (int k = 0; k < 3; ++k) {
            const QString& line = lines[k];
            QCOMPARE(line.size(), 80);
            const QDateTime t = meanFrameTime(s, 6 * k, 6 * k + 5);
            const QTime day = t.time();
            const double fraction = (day.msecsSinceStartOfDay() / 86400000.0);
            QCOMPARE(line.mid(15, 17), t.toString("yyyy MM dd") + QString::number(fraction, 'f', 5).mid(1) + " ");
            const double off = arcsec(wcs.pictureToSky(moverAt(s, 0, 6 * k + 2.5)), mpcLineSky(line));
            QVERIFY2(off < 1.0, qPrintable(QStringLiteral("%1: %2″").arg(k).arg(off)));
        }
    }
};

QTEST_MAIN(TestDeepWindow)
#include "tst_deepwindow.moc"
