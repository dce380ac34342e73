// Sharing what blinks, as a user does it: a registered pair blinking, "Файл" → "Записать мигание
// в GIF..." and "Копировать кадр" chosen from the menu bar, and what was written read back with
// Qt's GIF reader against grabs of the screen in each phase.

#include "shell/panbar.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/gifcheck.h"
#include "support/skyframes.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QClipboard>
#include <QPushButton>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

class TestShareWindow : public WindowTest {
    Q_OBJECT

    /// The picture area as the screen shows it, once a real tick has shown phase p when p is
    /// given (a null image when none did within three seconds).
    QImage screen(int p = 0) {
        if (p && !QTest::qWaitFor([this, p] { return f->BlinkPhase == p; }, 3000)) return {};
        return f->pictureArea->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

  private slots:
    // One frame per phase, each the screen of that phase (pixel for pixel in grey; in colour
    // within 3 levels and with no flicker the screen does not show), shown for the interval and
    // looped; the screen is left as it was, and "Копировать кадр" copies what it shows.
    void blinkWrittenAsTheScreenShowsIt_data() {
        DataTable<bool, bool>("colour", "box")
            .row("grey pair", false, false)
            .row("grey pair, only the marker box", false, true)
            .row("colour pair", true, false);
    }
    void blinkWrittenAsTheScreenShowsIt() {
        QFETCH(bool, colour);
        QFETCH(bool, box);
        // Two exposures of a sky larger than the picture area, the camera moved by (3, 2) pixels
        // for the second, which holds an object more; marked on the same star and overlaid.
        const QImage sky = skyFrame(1000, 700, colour);
        load(1, "one.png", sky.copy(3, 2, 997, 698));
        load(2, "two.png", partnerFrame(sky, colour, 400, 150));
        mark(1, 1, QPointF(100, 80));
        mark(2, 1, QPointF(103, 82));
        QTest::mouseClick(f->CmdSovm, Qt::LeftButton);
        QVERIFY(f->pictureArea->width() < 990 && f->pictureArea->height() < 690);
        QApplication::setActiveWindow(f);
        QVERIFY(keysTo(f->HScrTime, 700));              // 0.7 s
        QTest::mouseClick(f->CmdStart, Qt::LeftButton); // ends the choice of point 1 too
        QRect region = f->pictureArea->rect();
        if (box) { // round the spot clicked, where the object came; "Меню" stops the blink
            QTest::mouseClick(f->Img1, Qt::LeftButton, Qt::NoModifier, QPoint(400, 150) - f->Img1->pos());
            QVERIFY(chooseMenuItem(f, f->Menu, f->mnuRamka));
            QTest::mouseClick(f->CmdStart, Qt::LeftButton);
            region = QRect(300, 50, 200, 200);
        }
        // Phase 2 and then 1: the file is written while the screen shows phase 1.
        const QImage second = screen(2);
        QVector<QImage> screens{screen(1).copy(region), second.copy(region)};
        QVERIFY(!second.isNull() && screens[0] != screens[1]);

        const QTemporaryDir out;
        prompter->saveNames.enqueue(out.filePath("blink"));
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileGif) && jobEnds());
        QCOMPARE(f->CmdStart->text(), QString("ПУСК")); // opening "Файл" stopped the blink
        QCOMPARE(prompter->messages + prompter->questions, QStringList());
        const ReadGif gif = readGif(out.filePath("blink.gif"));
        QCOMPARE(gif.format, QByteArray("gif"));
        QCOMPARE(gif.loopCount, -1);
        QCOMPARE(gif.delays, (QVector<int>{700, 700}));
        QVERIFY(!gif.frames.isEmpty());
        QCOMPARE(gif.frames[0].size(), region.size());
        QGuiApplication::clipboard()->clear();
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileCopyFrame));
        QVector<QImage> written = gif.frames; // then the screen now and the clipboard
        written << screen().copy(region)
                << QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
        if (box) {
            // The screen draws the box's top and left sides over its square; the file and the
            // clipboard have the pictures there.
            const QRgb green = qRgb(0, 255, 0);
            for (int i = 0; i < 200; ++i)
                QVERIFY(screens[0].pixel(i, 0) == green && screens[1].pixel(0, i) == green &&
                        written[0].pixel(i, 0) != green && written[3].pixel(0, i) != green);
            for (QVector<QImage>* images : {&screens, &written})
                for (QImage& img : *images)
                    img = img.copy(1, 1, 199, 199);
        }
        const FrameDifference d = compareFrames(screens, written.mid(0, 2));
        QVERIFY2(colour ? d.far <= d.pixels / 100 && d.flicker == 0 : d.unequal == 0,
                 qPrintable(
                     QString("%1 of %2 pixels off, %3 flicker").arg(d.unequal).arg(d.pixels).arg(d.flicker)));
        // The screen still shows phase 1, and that is what was copied.
        QCOMPARE(written[2], screens[0]);
        QCOMPARE(written[3], screens[0]);
    }

    // The name asked for gets ".gif"; an existing file is replaced only when the user agrees; a
    // file that cannot be written, or nothing to write, is said in Russian and nothing is written.
    void fileNamesAndFailures_data() {
        // names: answers of the file dialog, in turn
        // written: files of the folder that are GIFs
        // message: %1 = the folder
        DataTable<bool, QStringList, QStringList, QString>("loaded", "names", "written", "message")
            .row("suffix added", true, {"m45"}, {"m45.gif"}, QString())
            .row("old file kept, another name", true, {"old", "new.GIF"}, {"new.GIF"}, QString())
            .row("folder missing", true, {"none/m45.gif"}, {},
                 QString("Не удалось записать файл %1/none/m45.gif: папка не найдена"))
            .row("no picture yet", false, {"m45"}, {},
                 QString("Нет снимков: сначала загрузите первый снимок."));
    }
    void fileNamesAndFailures() {
        QFETCH(bool, loaded);
        QFETCH(QStringList, names);
        QFETCH(QStringList, written);
        QFETCH(QString, message);
        const QTemporaryDir folder;
        QVERIFY(writeFile(folder.filePath("old.gif"), "old"));
        if (loaded) load(1, "sky.png", skyFrame(300, 200, false));
        for (const QString& n : names)
            prompter->saveNames.enqueue(folder.filePath(n));
        prompter->answers.enqueue(QMessageBox::No);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileGif) && jobEnds());
        QCOMPARE(prompter->questions, QStringList(names.contains("old"), "Файл уже существует. Заменить?"));
        QCOMPARE(prompter->messages, QStringList(!message.isEmpty(), message.replace("%1", folder.path())));
        QStringList gifs;
        for (const QString& name : QDir(folder.path()).entryList(QDir::Files))
            if (!readGif(folder.filePath(name)).frames.isEmpty()) gifs << name;
        QCOMPARE(gifs, written);
        QCOMPARE(readFile(folder.filePath("old.gif")), QByteArray("old"));
    }
};

QTEST_MAIN(TestShareWindow)
#include "tst_sharewindow.moc"
