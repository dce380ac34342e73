#include "blink/markerbox.h"
#include "blink/markeroverlay.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/fixture.h"
#include "view/imageframe.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

class TestBlink : public QObject {
    Q_OBJECT
    ScriptedPrompter* prompter = nullptr;
    frmBl* f = nullptr;
    QTemporaryDir dir;

    QString solid(const QString& name, QColor c) {
        QImage img(300, 200, QImage::Format_RGB32);
        img.fill(c);
        return savePicture(dir, name, img);
    }
    /// The colour the user sees at a spot of the picture area.
    QColor seen(QPoint p = QPoint(50, 50)) { return f->centralWidget()->grab(QRect(p, QSize(1, 1))).toImage().pixelColor(0, 0); }

    void loadThree() {
        loadSlot(*f, *prompter, 1, solid("red.png", Qt::red));
        loadSlot(*f, *prompter, 2, solid("blue.png", Qt::blue));
        loadSlot(*f, *prompter, 3, solid("green.png", QColor(0, 255, 0)));
    }

private slots:
    void init() {
        startCase(prompter, f);
    }
    void cleanup() {
        endCase(prompter);
    }

    void startHidesAllAndTicksAlternateOneAndTwo() {
        loadThree();
        f->lblVvod1->setBackColor(colors::Yellow);
        f->CmdStart->click();
        QCOMPARE(f->CmdStart->text(), QString("СТОП"));
        QCOMPARE(f->timerInterval(), 1000);
        QVERIFY(f->Img1->isHidden() && f->Img2->isHidden() && f->Img3->isHidden());
        QCOMPARE(f->lblVvod1->backColor(), QColor(255, 0, 255));
        QCOMPARE(f->lblVvod2->backColor(), QColor(255, 0, 255));
        QCOMPARE(f->armedPoint(), 0);
        const QColor background = seen();
        QVERIFY(background != QColor(Qt::red) && background != QColor(Qt::blue));
        f->Timer1_Timer();
        QCOMPARE(f->BlinkPhase, int16_t(1));
        QCOMPARE(seen(), QColor(Qt::red));
        f->Timer1_Timer();
        QCOMPARE(f->BlinkPhase, int16_t(2));
        QCOMPARE(seen(), QColor(Qt::blue));
        f->Timer1_Timer();
        QCOMPARE(f->BlinkPhase, int16_t(1));
        QCOMPARE(seen(), QColor(Qt::red));
        f->CmdStart->click();
        QCOMPARE(f->CmdStart->text(), QString("ПУСК"));
        QCOMPARE(f->timerInterval(), 0);
        // The phase survives the stop: the next start goes on with the partner.
        f->CmdStart->click();
        f->Timer1_Timer();
        QCOMPARE(seen(), QColor(Qt::blue));
    }

    void pairOneThreeAndSwitchWhileBlinking() {
        loadThree();
        f->CmdStart->click();
        f->Timer1_Timer();
        f->Timer1_Timer(); // phase 2: blue
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
        // Moving it while stopped starts ticks under "ПУСК".
        QCOMPARE(f->timerInterval(), 1500);
        QCOMPARE(f->CmdStart->text(), QString("ПУСК"));
        QLocale::setDefault(QLocale::c());
        f->HScrTime->setValue(5000);
        QCOMPARE(f->Label6->text(), QString("5 сек."));
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
