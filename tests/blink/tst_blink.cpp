#include "blink/markerbox.h"
#include "blink/markeroverlay.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/datatable.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

class TestBlink : public WindowTest {
    Q_OBJECT

    /// The colour the user sees at a spot of the picture area.
    QColor seen(QPoint p = QPoint(50, 50)) { return f->centralWidget()->grab(QRect(p, QSize(1, 1))).toImage().pixelColor(0, 0); }

    void loadThree() {
        load(1, "red.png", plainPicture(300, 200, Qt::red));
        load(2, "blue.png", plainPicture(300, 200, Qt::blue));
        load(3, "green.png", plainPicture(300, 200, QColor(0, 255, 0)));
    }

  private slots:
    // "ПУСК" shows the first phase with the click, never an empty picture area; the ticks then
    // alternate, and a stop keeps the phase, so the next start shows the partner at once.
    void startShowsAPictureAtOnceAndTicksAlternate() {
        loadThree();
        f->lblVvod1->setBackColor(colors::Yellow);
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        const QImage first = f->pictureArea->grab().toImage();
        QCOMPARE(first.pixelColor(10, 10), QColor(Qt::red));
        QCOMPARE(first.pixelColor(290, 190), QColor(Qt::red));
        QCOMPARE(f->BlinkPhase, int16_t(1));
        QCOMPARE(f->CmdStart->text(), QString("СТОП"));
        QCOMPARE(f->timerInterval(), 1000);
        QVERIFY(f->Img2->isHidden() && f->Img3->isHidden());
        QCOMPARE(f->lblVvod1->backColor(), QColor(255, 0, 255));
        QCOMPARE(f->lblVvod2->backColor(), QColor(255, 0, 255));
        QCOMPARE(f->armedPoint(), 0);
        f->Timer1_Timer();
        QCOMPARE(f->BlinkPhase, int16_t(2));
        QCOMPARE(seen(), QColor(Qt::blue));
        f->Timer1_Timer();
        QCOMPARE(f->BlinkPhase, int16_t(1));
        QCOMPARE(seen(), QColor(Qt::red));
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        QCOMPARE(f->CmdStart->text(), QString("ПУСК"));
        QCOMPARE(f->timerInterval(), 0);
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        QCOMPARE(seen(), QColor(Qt::blue));
        QVERIFY(f->Img1->isHidden() && f->Img3->isHidden());
    }

    void pairOneThreeAndSwitchWhileBlinking() {
        loadThree();
        f->CmdStart->click(); // phase 1
        f->Timer1_Timer();    // phase 2: blue
        QCOMPARE(seen(), QColor(Qt::blue));
        f->mnuVL_1_2->trigger(); // now 1-3; hides Img3 at once, Img2 stays until a tick
        QVERIFY(f->Img3->isHidden());
        f->Timer1_Timer(); // phase 1
        QCOMPARE(seen(), QColor(Qt::red));
        f->Img2->hide();
        f->Timer1_Timer(); // phase 2: green
        QCOMPARE(seen(), QColor(0, 255, 0));
        QVERIFY(f->Img2->isHidden());
    }

    void realTimerTicks() {
        loadThree();
        f->HScrTime->setValue(100);
        f->CmdStart->click();
        QCOMPARE(f->timerInterval(), 100);
        QTRY_VERIFY_WITH_TIMEOUT(f->BlinkPhase == 1, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(f->BlinkPhase == 2, 2000);
        QVERIFY(f->Img2->isVisible() != f->Img1->isVisible());
    }

    void intervalSliderCaption() {
        QCOMPARE(f->Label6->text(), QString("1"));
        QLocale::setDefault(QLocale(QLocale::Russian));
        f->HScrTime->setValue(1500);
        QCOMPARE(f->Label6->text(), QString("1,5 сек."));
        QLocale::setDefault(QLocale::c());
        f->HScrTime->setValue(5000);
        QCOMPARE(f->Label6->text(), QString("5 сек."));
    }

    // Dragged while stopped, the interval slider only sets the interval for the next start: one
    // click starts, the next stops. Dragged while blinking, it sets the running interval.
    void intervalSliderDrag_data() {
        // by: pixels
        DataTable<bool, int>("blinking", "by")
            .row("stopped, to the right", false, 25)
            .row("stopped, to the left", false, -20)
            .row("blinking, to the right", true, 25)
            .row("blinking, to the left", true, -20);
    }
    void intervalSliderDrag() {
        QFETCH(bool, blinking);
        QFETCH(int, by);
        loadThree();
        if (blinking) QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        dragHandle(f->HScrTime, by);
        const int interval = f->HScrTime->value();
        QVERIFY(interval != 1000);
        QCOMPARE(f->timerInterval(), blinking ? interval : 0);
        QCOMPARE(f->CmdStart->text(), blinking ? QString("СТОП") : QString("ПУСК"));
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        QCOMPARE(f->CmdStart->text(), blinking ? QString("ПУСК") : QString("СТОП"));
        QCOMPARE(f->timerInterval(), blinking ? 0 : interval);
        if (!blinking) {
            QTest::mouseClick(f->CmdStart, Qt::LeftButton);
            QCOMPARE(f->CmdStart->text(), QString("ПУСК"));
            QCOMPARE(f->timerInterval(), 0);
        }
    }

    // The pictures go on alternating while the pan bar is dragged: the pause for each move does
    // not start the interval again.
    void blinkingGoesOnWhileThePanBarIsDragged() {
        loadThree();
        QApplication::setActiveWindow(f);
        clickHandle(f->HScrTime);
        typeKey(f, Qt::Key_Home); // 100 ms
        QCOMPARE(f->HScrTime->value(), 100);
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        int ticks = 0;
        connect(f->Timer1, &QTimer::timeout, this, [&] { ++ticks; });
        QElapsedTimer clock;
        clock.start();
        // 20 moves 30 ms apart: a move every 30 ms, the drag lasting 600 ms.
        dragHandle(f->HScroll1, 60, 20, 30, [&] {
            QVERIFY2(ticks >= 3, qPrintable(QString("%1 ticks in %2 ms").arg(ticks).arg(clock.elapsed())));
        });
        QVERIFY(f->HScroll1->value() != 0);
        QCOMPARE(f->timerInterval(), 100);
    }

    void markerBoxAroundTheCentre() {
        const auto l = markerBoxLines(300, 200);
        QCOMPARE(l[0], QLineF(200, 100, 400, 100));
        QCOMPARE(l[1], QLineF(400, 100, 400, 300));
        QCOMPARE(l[2], QLineF(400, 300, 200, 300));
        QCOMPARE(l[3], QLineF(200, 300, 200, 100));
        QCOMPARE(l[4], QLineF(100, 200, 200, 200));
        QCOMPARE(l[5], QLineF(400, 200, 500, 200));
    }

    void markerBoxIsDrawnOnTicksWhileTicked() {
        loadThree();
        State().BoxCentreX = 300;
        State().BoxCentreY = 200;
        f->Timer1_Timer();
        QCOMPARE(f->Line4->line(0), QLineF()); // not ticked: not placed
        f->mnuRamka->trigger();
        f->Timer1_Timer();
        QCOMPARE(f->Line4->line(4), QLineF(100, 200, 200, 200));
        // Drawn in green above the picture.
        QCOMPARE(seen(QPoint(300, 100)), QColor(0, 255, 0));
        QCOMPARE(seen(QPoint(150, 200)), QColor(0, 255, 0));
        QVERIFY(seen(QPoint(300, 150)) != QColor(0, 255, 0));
        f->mnuRamka->trigger();
        QVERIFY(seen(QPoint(300, 100)) != QColor(0, 255, 0));
    }
};

QTEST_MAIN(TestBlink)
#include "tst_blink.moc"
