// The comparison cut-out window driven as a user does: Shift + click on a picture, circles,
// colour, stop, exit, close and saving the strip.

#include "cutout/canvasbox.h"
#include "cutout/cutoutgeometry.h"
#include "cutout/frmpiccopy.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Picture 2 differs from picture 1 in every pixel.
QImage secondPicture(int w, int h) {
    QImage img = gradientPicture(w, h);
    img.invertPixels();
    return img;
}

bool isYellow(QRgb c) {
    return c == qRgb(255, 255, 0);
}

/// Distances from centre of the canvas pixels that differ between before and after; empty when
/// nothing changed.
QPair<double, double> changedRing(const QImage& before, const QImage& after, QPointF centre) {
    double lo = 1e9, hi = -1;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y)) {
                const double d = QLineF(centre, QPointF(x + 0.5, y + 0.5)).length();
                lo = std::min(lo, d);
                hi = std::max(hi, d);
            }
    return {lo, hi};
}

} // namespace

class TestPicCopy : public WindowTest {
    Q_OBJECT
    QImage picture1 = gradientPicture(600, 400);
    QImage picture2 = secondPicture(600, 400);

    void loadBoth() {
        load(1, "one.png", picture1);
        load(2, "two.png", picture2);
    }
    /// Shift + click on picture 2; true once the cut-out it started has ended.
    bool shiftClick(QPoint at) {
        QTest::mouseClick(f->Img2, Qt::LeftButton, Qt::ShiftModifier, at);
        return jobEnds();
    }
    frmPicCopy& form() { return PicCopyForm(); }
    const QImage& canvas() { return form().Pic1->image(); }

  private slots:
    void cutOut_data() {
        // columns1: of block 1 taken from picture 1
        // from1: picture 1 pixel at canvas (0, 0)
        DataTable<int, QPoint, QSize, QSize, int, QPoint>("pictures", "spot", "canvasSize", "windowSize",
                                                          "columns1", "from1")
            .row("default sizes, two pictures", 2, QPoint(300, 200), QSize(430, 200), QSize(500, 430), 201,
                 QPoint(200, 100))
            .row("spot 50 pixels from the left edge", 2, QPoint(50, 200), QSize(430, 200), QSize(500, 430),
                 151, QPoint(0, 100))
            .row("only picture 1 loaded", 1, QPoint(300, 200), QSize(230, 200), QSize(500, 430), 201,
                 QPoint(200, 100));
    }
    void cutOut() {
        QFETCH(int, pictures);
        QFETCH(QPoint, spot);
        QFETCH(QSize, canvasSize);
        QFETCH(QSize, windowSize);
        QFETCH(int, columns1);
        QFETCH(QPoint, from1);
        QLocale::setDefault(QLocale(QLocale::Russian));
        if (pictures == 2) {
            loadBoth();
            QTest::mouseClick(f->Lbl2, Qt::LeftButton);
        } else {
            load(1, "one.png", picture1);
        }
        // Shift + click on the picture shown.
        auto cut = [&] {
            QTest::mouseClick(f->Img(pictures), Qt::LeftButton, Qt::ShiftModifier, spot);
            return jobEnds();
        };
        QVERIFY(cut());
        frmPicCopy& w = form();
        QVERIFY(prompter->messages.isEmpty());
        // The caption of the next cut-out: the sky position under the cursor and the user's text.
        State().CoordText = "05h 30,9m  +11°00'";
        QTest::mouseClick(w.txtP, Qt::LeftButton);
        QTest::keyClicks(w.txtP, "kometa?");
        QVERIFY(cut());
        QVERIFY(w.isVisible());
        QCOMPARE(canvas().size(), canvasSize);
        QCOMPARE(w.frameGeometry().size(), windowSize);
        QCOMPARE(w.lblFile1->text(), QString(" Готово! "));
        QCOMPARE(w.lblFile2->text(), QString(" Готово! "));
        QCOMPARE(w.windowTitle(), QString("Копирование двух участков"));
        QCOMPARE(State().StopRequested, int16_t(0));

        // Block 1: picture 1's region at full resolution, then the background up to block 2.
        const int h = canvasSize.height();
        for (int y : {0, 60, h - 40})
            for (int x : {0, columns1 / 2, columns1 - 1})
                QCOMPARE(canvas().pixel(x, y), picture1.pixel(from1 + QPoint(x, y)));
        QCOMPARE(canvas().pixel(columns1, 60), CanvasBackground);
        if (pictures == 2) {
            QCOMPARE(canvas().pixel(215, 0), picture2.pixel(from1));
            QCOMPARE(canvas().pixel(215 + 100, 60), picture2.pixel(from1 + QPoint(100, 60)));
        } else {
            QCOMPARE(canvas().pixel(canvasSize.width() - 1, 60), CanvasBackground);
        }

        // The caption, in the colour of Label2, from (0, h - 25): what the window shows.
        const QImage shown = w.Pic1->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), canvasSize);
        QImage expected = newCanvas(canvasSize);
        {
            QFont font = w.Pic1->font();
            font.setPixelSize(16);
            QPainter p(&expected);
            p.setFont(font);
            p.setPen(QColor(255, 255, 0));
            p.drawText(QPoint(0, h - 25 + QFontMetrics(font).ascent()), "05h 30,9m  +11°00' kometa?");
        }
        int yellow = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < canvasSize.width(); ++x) {
                QCOMPARE(isYellow(shown.pixel(x, y)), isYellow(expected.pixel(x, y)));
                yellow += isYellow(shown.pixel(x, y));
            }
        QVERIFY(yellow > 50);
    }

    void circles_data() {
        // radius 0: nothing drawn
        DataTable<QPoint, Qt::MouseButton, Qt::KeyboardModifiers, double, double>("at", "button", "modifiers",
                                                                                  "radius", "halfWidth")
            .row("left in block 1", QPoint(100, 100), Qt::LeftButton, Qt::KeyboardModifiers(), 15.0, 1.0)
            .row("left in block 2, bars 1000 and 2000", QPoint(300, 100), Qt::LeftButton,
                 Qt::KeyboardModifiers(), 7.5, 1.0)
            .row("Shift + left in block 2 at scale 2", QPoint(300, 100), Qt::LeftButton,
                 Qt::KeyboardModifiers(Qt::ShiftModifier), 35.0, 1.5)
            .row("right button", QPoint(100, 100), Qt::RightButton, Qt::KeyboardModifiers(), 0.0, 0.0)
            .row("Ctrl + left", QPoint(100, 100), Qt::LeftButton, Qt::KeyboardModifiers(Qt::ControlModifier),
                 0.0, 0.0);
    }
    void circles() {
        QFETCH(QPoint, at);
        QFETCH(Qt::MouseButton, button);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(double, radius);
        QFETCH(double, halfWidth);
        loadBoth();
        QVERIFY(shiftClick(QPoint(300, 200)));
        // Picture 2 to scale 2 after the cut-out: its slider to the end, then 50 pages back.
        QVERIFY(keysTo(f->HScr2, 2000, true));
        const QImage before = canvas().copy();
        QTest::mouseClick(form().Pic1, button, modifiers, at);
        const auto [lo, hi] = changedRing(before, canvas(), QPointF(at));
        if (radius == 0) {
            QCOMPARE(canvas(), before);
            return;
        }
        QVERIFY2(lo >= radius - halfWidth - 0.8 && hi <= radius + halfWidth + 0.8,
                 qPrintable(QString("drawn from %1 to %2").arg(lo).arg(hi)));
        // The window shows it.
        const QImage shown = form().Pic1->grab().toImage();
        const QPoint onRing = at + QPoint(0, -int(std::lround(radius)));
        QCOMPARE(QColor(shown.pixel(onRing)), QColor(255, 255, 0));
    }

    void circleColourFromTheDialog() {
        loadBoth();
        QVERIFY(shiftClick(QPoint(300, 200)));
        frmPicCopy& w = form();
        prompter->colours.enqueue(QColor(0, 255, 255));
        QTest::mouseClick(w.Label2, Qt::LeftButton);
        QCOMPARE(prompter->colourInitials.value(0), QColor(255, 255, 0));
        QCOMPARE(w.Label2->backColor(), QColor(0, 255, 255));
        QTest::mouseClick(w.Label2, Qt::LeftButton); // cancelled: the colour stays
        QCOMPARE(w.Label2->backColor(), QColor(0, 255, 255));
        QTest::mouseClick(w.Pic1, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
        QCOMPARE(QColor(canvas().pixel(50, 35)), QColor(0, 255, 255));
    }

    void save_data() {
        // existing: contents of the file before; empty: none
        // names: answers of the dialog; "<dir>" the folder itself
        // answers: to the overwrite question, Yes or No
        DataTable<QString, QStringList, QList<int>, int, bool, QString>("existing", "names", "answers",
                                                                        "questions", "written", "message")
            .row("new file", "", {"strip.bmp"}, {}, 0, true, "")
            .row("existing: No reopens the dialog, then Yes", "old", {"strip.bmp", "strip.bmp"},
                 {QMessageBox::No, QMessageBox::Yes}, 2, true, "")
            .row("existing: No, then cancel", "old", {"strip.bmp"}, {QMessageBox::No}, 1, false, "")
            .row("cancelled dialog", "", {}, {}, 0, false, "")
            .row("a folder's name", "", {"<dir>"}, {}, 0, false,
                 "Не удалось записать файл\n<dir>\nэто папка, а не файл");
    }
    void save() {
        QFETCH(QString, existing);
        QFETCH(QStringList, names);
        QFETCH(QList<int>, answers);
        QFETCH(int, questions);
        QFETCH(bool, written);
        QFETCH(QString, message);
        QTemporaryDir out;
        const QString path = out.filePath("strip.bmp");
        if (!existing.isEmpty()) QVERIFY(writeFile(path, existing.toUtf8()));
        loadBoth();
        QVERIFY(shiftClick(QPoint(300, 200)));
        for (const QString& n : names)
            prompter->saveNames.enqueue(n == "<dir>" ? out.path() : out.filePath(n));
        for (int a : answers)
            prompter->answers.enqueue(QMessageBox::StandardButton(a));
        form().SaveFile->trigger();

        QCOMPARE(prompter->questions.size(), questions);
        for (const QString& q : prompter->questions)
            QCOMPARE(q, QString("Файл с таким именем уже есть.\r\n-----------------------------\r\n"
                                "Произвести запись нового на место старого ?"));
        QCOMPARE(prompter->dialogFilters.last(), QString("(*.bmp) (*.bmp)"));
        QCOMPARE(prompter->messages.value(0), QString(message).replace("<dir>", out.path()));
        if (written)
            QCOMPARE(QImage(path).convertToFormat(QImage::Format_RGB32), canvas());
        else if (!existing.isEmpty())
            QCOMPARE(QString::fromUtf8(readFile(path)), existing);
        else
            QVERIFY(!QFile::exists(path));
    }

    void stopAndRunsInsideRuns_data() {
        // during: what the user does
        DataTable<QString, bool>("during", "region1Complete")
            .row("Прервать before the run: the next run is complete", "stop before", true)
            .row("Прервать during it ends only region 1", "stop during", false)
            .row("a second Shift + click during it is ignored", "click again", true)
            .row("a rotation started during it is ignored", "rotate", true);
    }
    void stopAndRunsInsideRuns() {
        QFETCH(QString, during);
        QFETCH(bool, region1Complete);
        loadBoth();
        frmPicCopy& w = form();
        if (during == "stop before") QTest::mouseClick(w.cmdPrer, Qt::LeftButton);
        // The run waits at its first poll, after the first copied pixel, while the user acts.
        f->jobs().hold(true);
        QTest::mouseClick(f->Img2, Qt::LeftButton, Qt::ShiftModifier, QPoint(300, 200));
        QVERIFY(f->jobs().busy());
        QVERIFY(w.Pic1->isHidden());
        QCOMPARE(w.lblFile2->text(), QString(" Подождите, идёт копирование..."));
        if (during == "stop during")
            QTest::mouseClick(w.cmdPrer, Qt::LeftButton);
        else if (during == "click again")
            QTest::mouseClick(f->Img2, Qt::LeftButton, Qt::ShiftModifier, QPoint(500, 300));
        else if (during == "rotate")
            f->mnuVirovnjat->trigger();
        f->jobs().hold(false);
        QVERIFY(jobEnds());
        QCOMPARE(canvas().size(), QSize(430, 200));
        QCOMPARE(canvas().pixel(150, 150) == picture1.pixel(350, 250), region1Complete);
        QCOMPARE(canvas().pixel(0, 0), picture1.pixel(200, 100));
        QCOMPARE(canvas().pixel(215 + 150, 150), picture2.pixel(350, 250));
        QCOMPARE(w.lblFile1->text(), QString(" Готово! "));
        QCOMPARE(w.lblFile2->text(), QString(" Готово! "));
        QCOMPARE(w.windowTitle(), QString("Копирование двух участков"));
        QCOMPARE(State().StopRequested, int16_t(0));
        QVERIFY(w.Pic1->isVisible());
        QVERIFY(!f->jobs().busy()); // nothing started from inside the run is left running
    }

    void closingTheWindowDuringARunEndsIt() {
        loadBoth();
        QSignalSpy ended(&f->jobs(), &JobRunner::finished);
        f->jobs().hold(true);
        QTest::mouseClick(f->Img2, Qt::LeftButton, Qt::ShiftModifier, QPoint(300, 200));
        PicCopyForm().close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!PicCopyFormExists());
        f->jobs().hold(false);
        QVERIFY(jobEnds());
        QCOMPARE(ended.value(0).value(0).toBool(), true); // stopped by the closing
        QVERIFY(!PicCopyFormExists());
        QVERIFY(prompter->messages.isEmpty());
        QVERIFY(shiftClick(QPoint(300, 200))); // a fresh window, and the run is not blocked
        QCOMPARE(canvas().size(), QSize(430, 200));
        QCOMPARE(canvas().pixel(215, 0), picture2.pixel(200, 100));
    }

    void badSizesAreRefused_data() {
        DataTable<QString, QString>("width", "height")
            .row("not a number", "abc", "200")
            .row("zero", "200", "0")
            .row("too large for memory", "900000", "900000");
    }
    void badSizesAreRefused() {
        QFETCH(QString, width);
        QFETCH(QString, height);
        loadBoth();
        QVERIFY(shiftClick(QPoint(300, 200)));
        const QImage before = canvas();
        frmPicCopy& w = form();
        QTest::mouseClick(w.txtW, Qt::LeftButton);
        w.txtW->selectAll();
        QTest::keyClicks(w.txtW, width);
        QTest::keyClick(w.txtW, Qt::Key_Tab);
        QVERIFY(w.txtH->hasFocus());
        w.txtH->selectAll();
        QTest::keyClicks(w.txtH, height);
        QVERIFY(shiftClick(QPoint(200, 200)));
        QCOMPARE(prompter->messages.size(), 1);
        QCOMPARE(canvas(), before);
        QVERIFY(shiftClick(QPoint(200, 200))); // refused again, and nothing is left running
        QCOMPARE(prompter->messages.size(), 2);
    }

    void exitHidesAndTheTitleBarDestroys() {
        loadBoth();
        QVERIFY(shiftClick(QPoint(300, 200)));
        frmPicCopy* w = &form();
        QTest::mouseClick(w->txtW, Qt::LeftButton);
        w->txtW->selectAll();
        QTest::keyClicks(w->txtW, "120");
        QTest::mouseClick(w->cmdEnd, Qt::LeftButton);
        QVERIFY(w->isHidden());
        QVERIFY(w->Pic1->isHidden());
        QCOMPARE(&form(), w); // kept, with its canvas and fields
        QCOMPARE(w->txtW->text(), QString("120"));
        QCOMPARE(canvas().size(), QSize(430, 200));
        QVERIFY(shiftClick(QPoint(300, 200)));
        QCOMPARE(canvas().size(), QSize(270, 200));
        QVERIFY(w->isVisible());

        w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!PicCopyFormExists());
        QCOMPARE(form().txtW->text(), QString("200"));
        QVERIFY(canvas().isNull());
    }
};

QTEST_MAIN(TestPicCopy)
#include "tst_piccopy.moc"
