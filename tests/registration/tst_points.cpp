#include "registration/pointtext.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/datatable.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

class TestPoints : public WindowTest {
    Q_OBJECT

    void loadTwo() {
        load(1, "a.png", gradientPicture(600, 400));
        load(2, "b.png", gradientPicture(500, 300));
        f->Lbl1->clicked();
    }
    /// A click at pixel p of picture k's frame.
    void click(int k, QPoint p, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::mouseClick(f->Img(k), b, m, p);
    }

  private slots:
    void pointTexts() {
        QCOMPARE(pointText(1234.9f, 567.2f), QString("1234  567"));
        QCOMPARE(pointText(90, 45), QString("90  45"));
        QVERIFY(!isMarked(pointText(90, 45)));
        QVERIFY(isMarked(pointText(900, 45)));
        QCOMPARE(pointText(-0.5f, 0), QString("-1  0"));
    }

    void armingTwiceStaysArmed() {
        f->lblVvod1->clicked();
        f->lblVvod1->clicked();
        QCOMPARE(f->lblVvod1->backColor(), QColor(255, 255, 0));
        QCOMPARE(f->lblVvod2->backColor(), QColor(192, 192, 192));
        QCOMPARE(f->armedPoint(), 1);
        f->lblVvod2->clicked();
        QCOMPARE(f->armedPoint(), 2);
        QCOMPARE(f->lblVvod1->backColor(), QColor(192, 192, 192));
    }

    void markingAndReMarking() {
        loadTwo();
        f->mnuKoordinat->setEnabled(true);
        f->lblVvod1->clicked();
        click(1, QPoint(200, 100));
        SharedState& s = State();
        QCOMPARE(s.Point1X1, 3000.0f);
        QCOMPARE(s.Point1Y1, 1500.0f);
        QCOMPARE(s.Point1Text1, QString("3000  1500"));
        QCOMPARE(f->lblT1->text(), QString("3000  1500"));
        QVERIFY(!f->mnuKoordinat->isEnabled());
        QVERIFY(prompter->questions.isEmpty());
        // Marking does not disarm; a second click asks, Cancel keeps everything.
        prompter->answers.enqueue(QMessageBox::Cancel);
        click(1, QPoint(300, 50));
        QCOMPARE(prompter->questions, QStringList{"Первая точка на этой картинке уже отмечена! Переназначить?"});
        QCOMPARE(s.Point1X1, 3000.0f);
        QCOMPARE(s.Point1Text1, QString("3000  1500"));
        QCOMPARE(f->lblT1->text(), QString("3000  1500"));
        // OK re-marks.
        prompter->answers.enqueue(QMessageBox::Ok);
        click(1, QPoint(300, 50));
        QCOMPARE(s.Point1X1, 4500.0f);
        QCOMPARE(s.Point1Text1, QString("4500  750"));
        // Point 2 asks its own question.
        f->lblVvod2->clicked();
        click(1, QPoint(10, 20));
        prompter->answers.enqueue(QMessageBox::Cancel);
        click(1, QPoint(11, 21));
        QCOMPARE(prompter->questions.last(), QString("Вторая точка на этой картинке уже отмечена! Переназначить?"));
        QCOMPARE(s.Point2Text1, QString("150  300"));
    }

    void shortTextCountsAsUnmarked() {
        loadTwo();
        State().Point1Text1 = "90  45";
        f->lblVvod1->clicked();
        click(1, QPoint(6, 3));
        QVERIFY(prompter->questions.isEmpty());
        QCOMPARE(State().Point1Text1, QString("90  45"));
        QCOMPARE(State().Point1X1, 90.0f);
    }

    void picturesTwoAndThreeLeaveTheReadoutAlone() {
        loadTwo();
        load(3, "c.png", gradientPicture(300, 300));
        f->mnuKoordinat->setEnabled(true);
        f->Lbl2->clicked();
        f->lblVvod1->clicked();
        click(2, QPoint(40, 30));
        QVERIFY(f->mnuKoordinat->isEnabled());
        QCOMPARE(State().Point1X2, 600.0f);
        f->Lbl3->clicked();
        f->lblVvod2->clicked();
        click(3, QPoint(40, 30));
        QVERIFY(f->mnuKoordinat->isEnabled());
        QCOMPARE(State().Point2Text3, QString("600  450"));
    }

    void markScaleTable() {
        loadTwo();
        SharedState& s = State();
        f->HScr1->setValue(1500);
        f->lblVvod1->clicked();
        click(1, QPoint(30, 30));
        QCOMPARE(s.MarkScale1, 1.5f);
        f->lblVvod2->clicked();
        click(1, QPoint(60, 30));
        QCOMPARE(s.MarkScale2, 1.5f);
        f->HScr2->setValue(800);
        s.MarkScale1 = s.MarkScale2 = 9;
        f->lblVvod1->clicked();
        click(2, QPoint(30, 30));
        QCOMPARE(s.MarkScale1, 1.5f); // picture 1's scale
        f->lblVvod2->clicked();
        click(2, QPoint(60, 30));
        QCOMPARE(s.MarkScale2, 0.8f);
    }

    void clickAtScaleTwoStoresPictureTwips() {
        loadTwo();
        f->HScr1->setValue(2000);
        f->lblVvod1->clicked();
        f->Img_MouseDown(1, 1, 0, 3000, 3000);
        QCOMPARE(State().Point1X1, 1500.0f);
        QCOMPARE(State().Point1Y1, 1500.0f);
        QCOMPARE(State().Point1X1 / 15, 100.0f);
    }

    void otherClicksPlaceTheMarkerBox() {
        loadTwo();
        f->Lbl2->clicked();
        f->Img2->setPosition(-20, 10);
        State().ImageLeft2 = -20;
        State().ImageTop2 = 10;
        f->lblVvod1->clicked();
        click(2, QPoint(100, 50), Qt::RightButton);
        QCOMPARE(State().BoxCentreX, 80.0f);
        QCOMPARE(State().BoxCentreY, 60.0f);
        QVERIFY(State().Point1Text2.isEmpty());
        click(2, QPoint(10, 10), Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(State().BoxCentreX, -10.0f);
        // Unarmed plain left click on picture 1 moves the box too.
        f->CmdStart->click();
        f->CmdStart->click();
        f->Lbl1->clicked();
        click(1, QPoint(7, 8));
        QCOMPARE(State().BoxCentreX, 7.0f);
        QCOMPARE(State().BoxCentreY, 8.0f);
        QVERIFY(State().Point1Text1.isEmpty());
    }

    void shiftClickPicksTheSameSpotInBothPictures() {
        loadTwo();
        f->HScr2->setValue(2000);
        f->Img2->setPosition(10, -5);
        f->Lbl1->clicked();
        f->CmdStart->click();
        click(1, QPoint(100, 60), Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(f->CmdStart->text(), QString("ПУСК"));
        QCOMPARE(f->timerInterval(), 0);
        SharedState& s = State();
        QCOMPARE(s.CutX1, 1500.0f);
        QCOMPARE(s.CutY1, 900.0f);
        // Picture 2 is 10 right and 5 up: the spot is at (90, 65) of its frame, at scale 2.
        QCOMPARE(s.CutX2, 90 * 15 / 2.0f);
        QCOMPARE(s.CutY2, 65 * 15 / 2.0f);
        // From picture 2 the fields of both frames are refreshed.
        s.ImageLeft2 = 0;
        f->Lbl2->clicked();
        click(2, QPoint(90, 65), Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(s.ImageLeft2, 10.0f);
        QCOMPARE(s.CutX1, 1500.0f);
        QCOMPARE(s.CutY1, 900.0f);
    }

    void resetClearsPointsAndPositions() {
        loadTwo();
        SharedState& s = State();
        f->HScr1->setValue(2000);
        f->lblVvod1->clicked();
        click(1, QPoint(50, 50));
        f->lblVvod2->clicked();
        click(1, QPoint(150, 90));
        s.CoordText = "05h 34.5m  +22°01'";
        f->lblInfo->setText(s.CoordText);
        f->mnuKoordinat->setEnabled(true);
        f->HScroll1->setValue(30);
        s.CutX1 = 5;
        f->cmdSbros->click();
        QVERIFY(!f->mnuKoordinat->isEnabled());
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(s.Point1X(k), 0.0f);
            QCOMPARE(s.Point2Y(k), 0.0f);
            QVERIFY(s.Point1Text(k).isEmpty());
            QCOMPARE(s.ImageLeft(k), 0.0f);
            QCOMPARE(f->Img(k)->pos(), QPoint(0, 0));
            QCOMPARE(f->HScr(k)->value(), 1000);
            QCOMPARE(s.DisplayScale(k), 1.0f);
            QCOMPARE(f->Img(k)->size(), QSize(int(s.PictureWidth(k)), int(s.PictureHeight(k))));
        }
        QCOMPARE(f->LBLk1->text(), QString("1"));
        QCOMPARE(f->lblT1->text(), QString("0  0"));
        QCOMPARE(f->LblT2->text(), QString("0  0"));
        QVERIFY(s.CoordText.isEmpty());
        QVERIFY(f->lblInfo->text().isEmpty());
        // Left alone: the arming, the mark scales, the cut spot, the files.
        QCOMPARE(f->armedPoint(), 2);
        QCOMPARE(s.MarkScale1, 2.0f);
        QCOMPARE(s.CutX1, 5.0f);
        QCOMPARE(s.PictureCount, int16_t(2));
        QVERIFY(!s.FileName1.isEmpty());
        // Marking again asks nothing.
        click(1, QPoint(20, 20));
        QVERIFY(prompter->questions.isEmpty());
        QCOMPARE(s.Point2X1, 300.0f);
    }

    void overlayShiftsPictureTwoOntoPointOne() {
        loadTwo();
        SharedState& s = State();
        s.Point1X1 = 1500;
        s.Point1Y1 = 3000;
        s.DisplayScale2 = 2;
        s.ImageLeft2 = -10;
        s.ImageTop2 = 5;
        s.Point1X2 = 600;
        s.Point1Y2 = 750;
        f->CmdSovm->click();
        QCOMPARE(s.ImageLeft2, 20.0f);
        QCOMPARE(s.ImageTop2, 100.0f);
        QCOMPARE(f->Img2->pos(), QPoint(20, 100));
        // Picture 3, never loaded, has its corner put on point 1.
        QCOMPARE(s.ImageLeft3, 100.0f);
        QCOMPARE(s.ImageTop3, 200.0f);
        // Twice changes nothing.
        f->CmdSovm->click();
        QCOMPARE(s.ImageLeft2, 20.0f);
        QCOMPARE(s.ImageTop2, 100.0f);
        QCOMPARE(s.ImageLeft3, 100.0f);
        // A new scale for picture 2 breaks the coincidence until the next overlay.
        f->HScr2->setValue(2500);
        s.Point1X2 = 600;
        f->CmdSovm->click();
        QCOMPARE(s.ImageLeft2 + s.DisplayScale2 * s.Point1X2 / 15, 100.0f);
    }

    void pointPairToggle() {
        SharedState& s = State();
        s.Point1X1 = 1500.7f;
        s.Point1Y1 = 750;
        s.Point1X2 = 600;
        s.Point1Y2 = 300;
        s.Point2X1 = 3000;
        s.Point2Y1 = 45;
        s.Point2X2 = 90;
        s.Point2Y2 = 12.5f;
        f->mnuVirovnjat2t->trigger();
        QVERIFY(f->mnuVirovnjat2t->isChecked());
        QCOMPARE(f->lblT1->text(), QString("3000  45 (2-ые)"));
        QCOMPARE(f->LblT2->text(), QString("90  12 (2-ые)"));
        f->mnuVirovnjat2t->trigger();
        QVERIFY(!f->mnuVirovnjat2t->isChecked());
        QCOMPARE(f->lblT1->text(), QString("1500  750 (1-ые)"));
        QCOMPARE(f->LblT2->text(), QString("600  300 (1-ые)"));
    }

    // A double-click on a picture is one mouse-down: the star is marked once, and nobody is
    // asked whether to re-mark what the first press has just marked.
    void doubleClickMarksOnce_data() {
        DataTable<int, int>("slot", "point")
            .row("picture 1, point 1", 1, 1)
            .row("picture 1, point 2", 1, 2)
            .row("picture 2, point 1", 2, 1);
    }
    void doubleClickMarksOnce() {
        QFETCH(int, slot);
        QFETCH(int, point);
        loadTwo();
        QTest::mouseClick(f->Lbl(slot), Qt::LeftButton);
        QTest::mouseClick(point == 1 ? f->lblVvod1 : f->lblVvod2, Qt::LeftButton);
        int downs = 0;
        connect(f->Img(slot), &ImageFrame::mouseDown, this, [&] { ++downs; });
        const QPoint at(120, 80);
        QTest::mouseDClick(f->windowHandle(), Qt::LeftButton, Qt::NoModifier, f->Img(slot)->mapTo(f, at));
        QCOMPARE(downs, 1);
        QVERIFY(prompter->questions.isEmpty());
        SharedState& s = State();
        QCOMPARE(s.PointX(point, slot), 1800.0f);
        QCOMPARE(s.PointY(point, slot), 1200.0f);
        QCOMPARE(s.PointText(point, slot), QString("1800  1200"));
        QCOMPARE((point == 1 ? f->lblT1 : f->LblT2)->text(), QString("1800  1200"));
    }

    // The clickable labels act when the button comes up inside them, as buttons do: not on the
    // press, not when the user slides off before letting go, once for a double-click.
    void labelsClickOnRelease_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<bool>("acts");
        for (const char* name : {"Lbl1", "Lbl2", "Lbl3", "lblVvod1", "lblVvod2"}) {
            QTest::addRow("%s, release inside", name) << name << "inside" << true;
            QTest::addRow("%s, slide off", name) << name << "outside" << false;
            QTest::addRow("%s, double-click", name) << name << "double" << true;
        }
    }
    void labelsClickOnRelease() {
        QFETCH(QString, label);
        QFETCH(QString, gesture);
        QFETCH(bool, acts);
        auto* l = f->findChild<ClickLabel*>(label);
        QVERIFY(l);
        const bool slot = label.startsWith("Lbl");
        auto acted = [&] {
            return slot ? l->backColor() == colors::Yellow : f->armedPoint() == (label.endsWith('1') ? 1 : 2);
        };
        int clicks = 0;
        connect(l, &ClickLabel::clicked, this, [&] { ++clicks; });
        const QPoint centre = l->rect().center();
        if (gesture == "double") {
            QTest::mouseDClick(f->windowHandle(), Qt::LeftButton, Qt::NoModifier, l->mapTo(f, centre));
        } else {
            QTest::mousePress(l, Qt::LeftButton, Qt::NoModifier, centre);
            QVERIFY(!acted());
            const QPoint end = gesture == "inside" ? centre + QPoint(3, 1) : QPoint(-8, l->height() + 5);
            QTest::mouseMove(l, end);
            QTest::mouseRelease(l, Qt::LeftButton, Qt::NoModifier, end);
        }
        QCOMPARE(acted(), acts);
        QCOMPARE(clicks, acts ? 1 : 0);
    }

    // Slot 2 never received a picture: clicks on its empty frame do nothing, and a cut from
    // picture 1 takes picture 1 only. No error box either way.
    void clicksOnASlotNeverLoaded_data() {
        // cut1: expected CutX1, CutY1
        DataTable<int, Qt::KeyboardModifiers, bool, QPointF>("clicked", "modifiers", "armed", "cut1")
            .row("Shift + click on picture 1", 1, Qt::KeyboardModifiers(Qt::ShiftModifier), false,
                 QPointF(600, 300))
            .row("marking on the empty 2Ф", 2, Qt::KeyboardModifiers(), true, QPointF(-1, -1))
            .row("Shift + click on the empty 2Ф", 2, Qt::KeyboardModifiers(Qt::ShiftModifier), false,
                 QPointF(-1, -1));
    }
    void clicksOnASlotNeverLoaded() {
        QFETCH(int, clicked);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, armed);
        QFETCH(QPointF, cut1);
        load(1, "a.png", gradientPicture(600, 400));
        SharedState& s = State();
        s.CutX1 = s.CutY1 = s.CutX2 = s.CutY2 = -1;
        s.BoxCentreX = s.BoxCentreY = -1;
        if (armed) QTest::mouseClick(f->lblVvod1, Qt::LeftButton);
        if (clicked == 2) QTest::mouseClick(f->Lbl2, Qt::LeftButton);
        QVERIFY(f->Img(clicked)->isVisible());
        click(clicked, QPoint(40, 20), Qt::LeftButton, modifiers);
        QVERIFY2(prompter->messages.isEmpty(), qPrintable(prompter->messages.join('\n')));
        QCOMPARE(QPointF(s.CutX1, s.CutY1), cut1);
        QCOMPARE(QPointF(s.CutX2, s.CutY2), QPointF(-1, -1));
        QVERIFY(s.Point1Text2.isEmpty());
        QCOMPARE(s.Point1X2, 0.0f);
        QCOMPARE(s.BoxCentreX, -1.0f);
    }

    void zeroScaleMarkingIsReportedNotStored() {
        loadTwo();
        State().DisplayScale1 = 0;
        f->lblVvod1->clicked();
        QTest::mouseClick(f->Img1, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(prompter->messages.size(), 1);
        QCOMPARE(State().Point1X1, 0.0f);
    }
};

QTEST_MAIN(TestPoints)
#include "tst_points.moc"
