#include "common/numberforms.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/panbars.h"
#include "support/screencompare.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"
#include "view/picturebox.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

class TestView : public WindowTest {
    Q_OBJECT

  private slots:
    void init() {
        WindowTest::init();
        // The bar sizes of a 1024 x 768 screen.
        f->HScroll1->resize(985, f->HScroll1->height());
        f->VScroll1->resize(f->VScroll1->width(), 551);
    }

    void loadingSixThousandByFourThousand() {
        const QString path = savePicture(dir, "big.bmp", gradientPicture(6000, 4000));
        load(1, path);
        QCOMPARE(prompter->dialogTitles.value(0), QString("Открыть файл"));
        // Every format first, then the classic filters.
        const QString filters = prompter->dialogFilters.value(0);
        QVERIFY2(filters.startsWith("Все снимки (") && filters.section(";;", 0, 0).contains("*.fits"), qPrintable(filters));
        QCOMPARE(filters.section(";;", 1),
                 QString("(*.jpg) (*.jpg);;(*.bmp) (*.bmp);;(*.fits *.fit *.fts *.fz) (*.fits *.fit *.fts *.fz);;(*.*) (*)"));
        SharedState& s = State();
        QCOMPARE(s.PictureWidth1, 6000.0f);
        QCOMPARE(s.PictureHeight1, 4000.0f);
        QCOMPARE(panSteps(f->HScroll1), QList<int>({5015, 246, 492}));
        QCOMPARE(panSteps(f->VScroll1), QList<int>({3449, 137, 275}));
        QCOMPARE(f->Img1->size(), QSize(6000, 4000));
        QCOMPARE(f->Img1->pos(), QPoint(0, 0));
        QCOMPARE(f->windowTitle(), path);
        QCOMPARE(f->Lbl1->toolTip(), path + "показать 1-ю картинку ");
        QCOMPARE(f->Lbl1->backColor(), QColor(255, 255, 0));
        QCOMPARE(f->Lbl2->backColor(), QColor(0, 128, 0));
        QVERIFY(f->Open2File->isEnabled());
        QCOMPARE(s.PictureCount, int16_t(1));
        QCOMPARE(s.DisplayScale1, 1.0f);
        QVERIFY(f->Pic1->isHidden());
        QVERIFY(f->Pic1->picture().isNull());
        // The frame holds the decoded picture itself.
        QCOMPARE(f->Img1->picture().size(), QSize(6000, 4000));
        QVERIFY(prompter->messages.isEmpty());
    }

    void sizeRuleRefusesPicturesBeyondTheBars() {
        const QString wide = solid("wide.bmp", 33001, 4, Qt::white);
        load(1, wide);
        QCOMPARE(prompter->messages.size(), 1);
        QCOMPARE(prompter->messages[0], QString("Файл слишком большой! Программа не сможет с ним эффективно работать!"));
        QVERIFY(f->Img1->picture().isNull());
        QCOMPARE(State().FileName1, wide);
        QCOMPARE(f->windowTitle(), wide);
        QVERIFY(!f->Open2File->isEnabled());
        QCOMPARE(State().PictureCount, int16_t(0));
        QCOMPARE(f->Img1->width(), 33001);

        load(1, solid("ok.bmp", 32985, 4, Qt::white));
        QCOMPARE(prompter->messages.size(), 1);
        QCOMPARE(f->HScroll1->Max(), 32000);
        QVERIFY(f->Open2File->isEnabled());
    }

    void reloadingSlotOneUnmarksBothPoints() {
        load(1, solid("a.png", 400, 300, Qt::red));
        SharedState& s = State();
        s.Point1X1 = 1500;
        s.Point1Y1 = 1500;
        s.Point2X1 = 3000;
        s.Point2Y1 = 2250;
        s.Point1Text1 = "1500  1500";
        s.Point2Text1 = "3000  2250";
        f->lblT1->setText(s.Point1Text1);
        load(1, solid("b.png", 500, 300, Qt::blue));
        QVERIFY(s.Point1Text1.isEmpty());
        QVERIFY(s.Point2Text1.isEmpty());
        QCOMPARE(s.Point1X1, 0.0f);
        QCOMPARE(s.Point1Y1, 0.0f);
        QCOMPARE(s.Point2X1, 3000.0f);
        QCOMPARE(s.Point2Y1, 2250.0f);
        QVERIFY(f->lblT1->text().isEmpty());
        QCOMPARE(s.PictureWidth1, 500.0f);
    }

    void cancelledDialogStillOpensTheNextSlot() {
        load(1, solid("a.png", 400, 300, Qt::red));
        f->HScr1->setValue(2000);
        f->Open1File->trigger(); // cancelled
        SharedState& s = State();
        QVERIFY(s.FileName1.isEmpty());
        QVERIFY(s.DialogFileName.isEmpty());
        QVERIFY(f->windowTitle().isEmpty());
        // The picture stays, shown at scale 1 again.
        QVERIFY(!f->Img1->picture().isNull());
        QCOMPARE(s.DisplayScale1, 1.0f);
        QCOMPARE(f->Img1->size(), QSize(400, 300));

        freshProgram();
        f = &MainForm();
        MainForm().Open1File->trigger();
        QVERIFY(MainForm().Open2File->isEnabled());
        QCOMPARE(State().PictureCount, int16_t(1));
        MainForm().Open2File->trigger();
        QVERIFY(MainForm().Open3File->isEnabled());
        QCOMPARE(State().PictureCount, int16_t(2));
    }

    void undecodableFilesLeaveTheSlotAlone_data() {
        DataTable<QByteArray> table("bytes");
        table.row("not a picture", QByteArray("just some text, not a picture"));
        table.row("zero bytes", QByteArray());
        QByteArray truncated;
        {
            QBuffer b(&truncated);
            b.open(QIODevice::WriteOnly);
            gradientPicture(200, 200).save(&b, "PNG");
        }
        table.row("truncated", truncated.left(60));
    }
    void undecodableFilesLeaveTheSlotAlone() {
        QFETCH(QByteArray, bytes);
        const QString good = solid("good.png", 400, 300, Qt::red);
        load(1, good);
        const QString bad = writeFile(dir, "bad.jpg", bytes);
        QVERIFY(!bad.isEmpty());
        load(1, bad);
        QCOMPARE(prompter->messages.size(), 1);
        QVERIFY(prompter->messages[0].contains(bad));
        QCOMPARE(State().FileName1, good);
        QCOMPARE(f->windowTitle(), good);
        QCOMPARE(f->Img1->picture().size(), QSize(400, 300));
        QCOMPARE(State().PictureWidth1, 400.0f);
    }

    void zoomKeepsPointOneInPlace() {
        load(1, solid("a.png", 600, 400, Qt::red));
        State().Point1X1 = 1500;
        State().Point1Y1 = 750;
        f->HScr1->setValue(2000);
        QCOMPARE(f->Img1->Left(), -100.0f);
        QCOMPARE(f->Img1->Top(), -50.0f);
        QCOMPARE(f->Img1->pos(), QPoint(-100, -50));
        QCOMPARE(f->Img1->size(), QSize(1200, 800));
        QCOMPARE(State().ImageLeft1, -100.0f);
        QCOMPARE(State().DisplayScale1, 2.0f);
        QCOMPARE(f->LBLk1->text(), QString::number(2));
        QCOMPARE(f->Img1->Left() + State().Point1X1 * State().DisplayScale1 / 15, 100.0f);
        QCOMPARE(f->HScroll1->value(), 100);
        QCOMPARE(f->HScroll1->Max(), 215);
        QVERIFY(f->Img1->isVisible());
        QCOMPARE(State().ViewBusy, int16_t(0));
        // Without a point only the size changes.
        State().Point1X1 = 0;
        State().Point1Y1 = 0;
        f->HScr1->setValue(1000);
        QCOMPARE(f->Img1->pos(), QPoint(-100, -50));
        QCOMPARE(f->Img1->size(), QSize(600, 400));
    }

    void overallZoomSpringsBack() {
        load(1, solid("a.png", 100, 100, Qt::red));
        load(2, solid("b.png", 100, 100, Qt::blue));
        load(3, solid("c.png", 100, 100, Qt::green));
        f->HScr2->setValue(800);
        f->HScr3->setValue(1200);
        f->HScrOb->setValue(1500);
        QCOMPARE(f->HScr1->value(), 1500);
        QCOMPARE(f->HScr2->value(), 1200);
        QCOMPARE(f->HScr3->value(), 1800);
        QCOMPARE(f->lblKOb->text(), QString::number(1.5).replace('.', QLocale().decimalPoint()));
        QCOMPARE(f->HScrOb->value(), 1000);
        f->HScrOb->setValue(1500);
        QCOMPARE(f->lblKOb->text(), QString("2"));
        QCOMPARE(State().DisplayScale1, 2.25f);
        QCOMPARE(State().DisplayScale2, 1.8f);
        QCOMPARE(State().DisplayScale3, 2.7f);
        // The sliders end at 3000.
        f->HScrOb->setValue(1500);
        QCOMPARE(f->HScr3->value(), 3000);
        QCOMPARE(State().DisplayScale3, 3.0f);
    }

    // The overall zoom acts once per finished move: at the release of a drag, per click on the
    // track, per key step. While dragged the scales stay as they are.
    void overallZoomActsOncePerMove_data() {
        DataTable<QString>("move")
            .row("drag right 8 px", "drag 8")
            .row("drag right 60 px", "drag 60")
            .row("drag left 12 px", "drag -12")
            .row("click the track right of the handle", "page")
            .row("Right key", "key");
    }
    void overallZoomActsOncePerMove() {
        QFETCH(QString, move);
        load(1, solid("a.png", 400, 300, Qt::red));
        load(2, solid("b.png", 400, 300, Qt::blue));
        QList<int> applied; // the values the slider changed to, other than its rest
        connect(f->HScrOb, &QScrollBar::valueChanged, this, [&](int v) {
            if (v != 1000) applied << v;
        });
        if (move.startsWith("drag")) {
            dragHandle(f->HScrOb, move.mid(5).toInt(), 8, 0, [&] {
                QCOMPARE(State().DisplayScale1, 1.0f);
                QCOMPARE(f->Img1->size(), QSize(400, 300));
            });
        } else if (move == "page") {
            const QPoint handle = handleCentre(f->HScrOb);
            QTest::mouseClick(f->HScrOb, Qt::LeftButton, Qt::NoModifier, handle + QPoint(30, 0));
        } else {
            QApplication::setActiveWindow(f);
            clickHandle(f->HScrOb);
            typeKey(f, Qt::Key_Right);
        }
        QCOMPARE(applied.size(), 1);
        const float zoom = float(applied[0]) / 1000.0f;
        QCOMPARE(State().DisplayScale1, zoom);
        QCOMPARE(State().DisplayScale2, zoom);
        QCOMPARE(f->Img1->width(), int(400 * zoom));
        QVERIFY(std::fabs(f->lblKOb->text().toDouble() - zoom) < 1e-4);
        QCOMPARE(f->HScrOb->value(), 1000);
        if (move == "page") QCOMPARE(applied[0], 1200);
        if (move == "key") QCOMPARE(applied[0], 1020);
    }

    void zeroScaleIsOutOfReach() {
        load(1, solid("a.png", 100, 100, Qt::red));
        f->HScr1->setValue(0);
        QCOMPARE(f->HScr1->value(), 1);
        QCOMPARE(State().DisplayScale1, 0.001f);
        f->HScr1->setValue(1000);
        QCOMPARE(f->Img1->size(), QSize(100, 100));
        QVERIFY(f->Img1->isVisible());
    }

    void secondSliderWaitsForTheSecondPicture() {
        load(1, solid("a.png", 100, 100, Qt::red));
        const QSize before = f->Img2->size();
        f->HScr2->setValue(2000);
        QCOMPARE(f->HScr2->value(), 2000);
        QCOMPARE(f->Img2->size(), before);
        QCOMPARE(State().DisplayScale2, 0.0f);
    }

    void panMovesAllFramesAndTheBox() {
        load(1, solid("a.png", 3000, 2000, Qt::red));
        load(2, solid("b.png", 3000, 2000, Qt::blue));
        load(3, solid("c.png", 3000, 2000, Qt::green));
        f->Img2->setPosition(20, 30);
        f->Img3->setPosition(-40, 10);
        State().BoxCentreX = 500;
        State().BoxCentreY = 400;
        f->HScroll1->setValue(300);
        QCOMPARE(f->Img1->Left(), -300.0f);
        QCOMPARE(f->Img2->Left(), -280.0f);
        QCOMPARE(f->Img3->Left(), -340.0f);
        QCOMPARE(State().ImageLeft2, -280.0f);
        QCOMPARE(State().BoxCentreX, 200.0f);
        f->VScroll1->setValue(100);
        QCOMPARE(f->Img1->Top(), -100.0f);
        QCOMPARE(f->Img2->Top(), -70.0f);
        QCOMPARE(State().ImageTop3, -90.0f);
        QCOMPARE(State().BoxCentreY, 300.0f);
        QVERIFY(f->HScroll1->isEnabled() && f->VScroll1->isEnabled());
    }

    void horizontalPanPausesAndRestoresBlinking() {
        load(1, solid("a.png", 3000, 2000, Qt::red));
        f->CmdStart->click();
        int intervalDuringMove = -1;
        connect(f->HScroll1, &QScrollBar::valueChanged, this, [&] { intervalDuringMove = f->timerInterval(); },
                Qt::DirectConnection);
        // The pan handler runs first (connected first), so this sees the restored interval.
        f->HScroll1->setValue(200);
        QCOMPARE(f->timerInterval(), 1000);
        QCOMPARE(intervalDuringMove, 1000);
    }

    // Held down on a pan bar's arrow or track, the mouse goes on paging as on any scroll bar,
    // although each step's pan disables the bar for the moment of the move.
    void holdingThePanBarRepeats_data() {
        DataTable<bool, QString>("across", "where")
            .row("HScroll1 track", true, "track")
            .row("HScroll1 arrow", true, "arrow")
            .row("VScroll1 track", false, "track")
            .row("VScroll1 arrow", false, "arrow");
    }
    void holdingThePanBarRepeats() {
        QFETCH(bool, across);
        QFETCH(QString, where);
        load(1, solid("a.png", 4000, 3000, Qt::red));
        PanBar* bar = across ? f->HScroll1 : f->VScroll1;
        const QPoint end = across ? QPoint(bar->width() - 3, bar->height() / 2) : QPoint(bar->width() / 2, bar->height() - 3);
        const QPoint at = where == "arrow" ? end : (handleCentre(bar) + end) / 2;
        const int step = where == "arrow" ? bar->SmallChange() : bar->LargeChange();
        QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(bar->value(), step);
        QTest::qWait(900);
        QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, at);
        QVERIFY2(bar->value() >= 3 * step, qPrintable(QString::number(bar->value())));
        QCOMPARE(across ? f->Img1->Left() : f->Img1->Top(), -float(bar->value()));
    }

    void smallPictureBarRunsBelowZero() {
        load(1, solid("small.png", 600, 400, Qt::red));
        QCOMPARE(f->HScroll1->Max(), -385);
        QCOMPARE(f->HScroll1->minimum(), -385);
        QCOMPARE(f->HScroll1->maximum(), 0);
        QVERIFY(f->HScroll1->invertedAppearance());
        f->HScroll1->setValue(-100);
        QCOMPARE(f->Img1->Left(), 100.0f); // moved right
    }

    // A picture wider (or higher) than 32767 pixels at its scale pans to its far end: the bar
    // is dragged to its end and the picture area shows the picture's last columns (rows).
    void panReachesTheFarEndOfABigPicture_data() {
        DataTable<bool>("across").row("12000 wide at scale 3", true).row("12000 high at scale 3", false);
    }
    void panReachesTheFarEndOfABigPicture() {
        QFETCH(bool, across);
        const QImage picture = across ? gradientPicture(12000, 300) : gradientPicture(300, 12000);
        load(1, "big.bmp", picture);
        QApplication::setActiveWindow(f);
        clickHandle(f->HScr1);
        typeKey(f, Qt::Key_End);
        QCOMPARE(State().DisplayScale1, 3.0f);
        PanBar* bar = across ? f->HScroll1 : f->VScroll1;
        QVERIFY(bar->Max() > 32767);
        dragHandle(bar, across ? bar->width() : bar->height(), 10);
        QCOMPARE(bar->value(), bar->Max());
        QCOMPARE(across ? f->Img1->Left() : f->Img1->Top(), -float(bar->Max()));
        QVERIFY(prompter->messages.isEmpty());
        // The picture pixel under area pixel (10, 10) at scale 3.
        const QPoint spot(10, 10);
        const int along = (bar->Max() + 10) / 3;
        const QRgb expected = across ? picture.pixel(along, 10 / 3) : picture.pixel(10 / 3, along);
        QCOMPARE(f->pictureArea->grab(QRect(spot, QSize(1, 1))).toImage().pixel(0, 0), expected);
    }

    void selectorLabels() {
        const QString a = solid("a.png", 100, 100, Qt::red);
        load(1, a);
        State().Point1Text1 = "1500  750";
        f->Lbl2->clicked(); // slot 2 holds nothing
        QVERIFY(f->Img2->isVisible());
        QVERIFY(f->Img1->isHidden());
        QVERIFY(f->LblFile->text().isEmpty());
        QVERIFY(f->Pic1->picture().isNull());
        QCOMPARE(f->Lbl2->backColor(), QColor(255, 255, 0));
        QCOMPARE(f->Lbl1->backColor(), QColor(0, 128, 0));
        f->Lbl1->clicked();
        QCOMPARE(f->LblFile->text(), a);
        QCOMPARE(f->lblT1->text(), QString("1500  750"));
        // Pic1 shares the frame's pixels: no second decode, no copy.
        QCOMPARE(f->Pic1->picture().constBits(), f->Img1->picture().constBits());
        // The file went away: a message, Pic1 empty.
        QFile::remove(a);
        f->Lbl1->clicked();
        QCOMPARE(prompter->messages.size(), 1);
        QVERIFY(prompter->messages[0].contains(a));
        QVERIFY(f->Pic1->picture().isNull());
        QVERIFY(f->Img1->isVisible());
    }

    void bigPicturesStayInsideThePictureArea() {
        f->resize(1200, 700);
        load(1, solid("huge.png", 3000, 2000, Qt::red));
        QWidget* client = f->centralWidget();
        auto seen = [client](QPoint p) { return client->grab(QRect(p, QSize(1, 1))).toImage().pixelColor(0, 0); };
        QCOMPARE(seen(QPoint(10, 10)), QColor(Qt::red));
        // Right of the panel and below the pan bar the picture is cut off.
        const QPoint besidePanel(f->Frm1->geometry().right() + 5, f->Frm1->y() + 10);
        QVERIFY(client->rect().contains(besidePanel));
        QVERIFY(seen(besidePanel) != QColor(Qt::red));
        QVERIFY(seen(QPoint(f->VScroll1->geometry().right() + 1, 10)) != QColor(Qt::red));
    }

    void stretchedFrameDrawsTheRightPixels() {
        QImage img(4, 3, QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                img.setPixel(x, y, qRgb(x * 60, y * 100, 7));
        ImageFrame frame;
        frame.setPicture(img);
        frame.resize(12, 9); // scale 3
        const QImage whole = frame.grab().toImage();
        QCOMPARE(whole.pixel(0, 0), img.pixel(0, 0));
        QCOMPARE(whole.pixel(11, 8), img.pixel(3, 2));
        QCOMPARE(whole.pixel(5, 4), img.pixel(1, 1));
        QCOMPARE(whole.pixel(6, 3), img.pixel(2, 1));
        // A partial repaint draws exactly what a full one does.
        const QImage part = frame.grab(QRect(5, 2, 5, 5)).toImage();
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x)
                QCOMPARE(part.pixel(x, y), whole.pixel(x + 5, y + 2));
    }

    // Zoomed in by a whole factor, a screen pixel shows the picture pixel under it; at any other
    // scale the mean of the picture area it covers (within a level: the weights are in 256ths).
    void everyPaintPathShowsTheSamePixels_data() {
        DataTable<QSize>("frameSize")
            .row("scale 3", QSize(120, 90))
            .row("scale 1.25", QSize(50, 37))
            .row("scale 0.5", QSize(20, 15))
            .row("scale 1", QSize(40, 30));
    }
    void everyPaintPathShowsTheSamePixels() {
        QFETCH(QSize, frameSize);
        const QImage img = gradientPicture(40, 30);
        QWidget parent;
        parent.resize(300, 200);
        auto* frame = new ImageFrame(&parent);
        frame->setPicture(img);
        frame->setGeometry(QRect(QPoint(17, 9), frameSize));
        const double scale = frameSize.width() / 40.0;
        auto expected = [&](int x, int y) {
            if (scale == std::floor(scale)) return img.pixel(int(x / scale), int(y / scale));
            const double u0 = x / scale, u1 = std::min(40.0, (x + 1) / scale);
            const double v0 = y / scale, v1 = std::min(30.0, (y + 1) / scale);
            double sum[3] = {};
            for (int v = int(v0); v < v1; ++v)
                for (int u = int(u0); u < u1; ++u) {
                    const double w = (std::min(u1, u + 1.0) - std::max(u0, double(u))) *
                                     (std::min(v1, v + 1.0) - std::max(v0, double(v))) / ((u1 - u0) * (v1 - v0));
                    const QRgb c = img.pixel(u, v);
                    sum[0] += w * qRed(c);
                    sum[1] += w * qGreen(c);
                    sum[2] += w * qBlue(c);
                }
            return qRgb(int(std::lround(sum[0])), int(std::lround(sum[1])), int(std::lround(sum[2])));
        };
        // Through a pixmap (a grab) and straight into a raster image (as the window's backing
        // store is painted), whole and in part, at an offset inside the parent.
        const QImage grabbed = frame->grab().toImage();
        QImage direct(parent.size(), QImage::Format_RGB32);
        direct.fill(Qt::black);
        parent.render(&direct);
        QImage part(frameSize, QImage::Format_ARGB32_Premultiplied);
        part.fill(Qt::black);
        const QRect partRect(frameSize.width() / 3, 1, frameSize.width() / 2, frameSize.height() - 2);
        frame->render(&part, partRect.topLeft(), QRegion(partRect));
        for (int y = 0; y < frameSize.height(); ++y)
            for (int x = 0; x < frameSize.width(); ++x) {
                QCOMPARE_LE(channelDifference(grabbed.pixel(x, y), expected(x, y)), 1);
                QCOMPARE(direct.pixel(x + 17, y + 9), grabbed.pixel(x, y));
                if (partRect.contains(x, y))
                    QCOMPARE(part.pixel(x, y), grabbed.pixel(x, y));
                else
                    QCOMPARE(part.pixel(x, y), qRgb(0, 0, 0));
            }
        QCOMPARE(direct.pixel(16, 9), parent.palette().color(QPalette::Window).rgb()); // nothing beside the frame
    }

    void mousePositionsArriveInTwips() {
        load(1, solid("a.png", 200, 200, Qt::red));
        QList<QVariantList> got;
        connect(f->Img1, &ImageFrame::mouseDown, this,
                [&](int b, int s, float x, float y) { got << QVariantList{b, s, x, y}; });
        QTest::mouseClick(f->Img1, Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier, QPoint(10, 20));
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0][0].toInt(), 2);
        QCOMPARE(got[0][1].toInt(), 3);
        QCOMPARE(got[0][2].toFloat(), 150.0f);
        QCOMPARE(got[0][3].toFloat(), 300.0f);
    }
};

QTEST_MAIN(TestView)
#include "tst_view.moc"
