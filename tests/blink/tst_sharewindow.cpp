// Sharing what blinks, as a user does it: a registered pair blinking, "Файл" → "Записать мигание
// в GIF..." and "Копировать кадр" chosen from the menu bar, and what was written read back with
// Qt's GIF reader against grabs of the screen in each phase.

#include "blink/markeroverlay.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/fixture.h"
#include "support/gifcheck.h"
#include "support/skyframes.h"
#include "support/useractions.h"
#include "view/imageframe.h"

#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

class TestShareWindow : public QObject {
    Q_OBJECT
    ScriptedPrompter* prompter = nullptr;
    frmBl* f = nullptr;
    QTemporaryDir dir;

    /// Arms point 1 and clicks picture k at `at` (frame pixels, scale 1).
    void markPoint1(int k, QPoint at) {
        QTest::mouseClick(f->Lbl(k), Qt::LeftButton);
        QTest::mouseClick(f->lblVvod1, Qt::LeftButton);
        QTest::mouseClick(f->Img(k), Qt::LeftButton, Qt::NoModifier, at);
    }

    /// Two exposures of one sky larger than the picture area, picture 2 taken with the camera
    /// moved by (3, 2) pixels and with an object that was not there before, marked on the same
    /// star and overlaid.
    void registeredPair(bool colour) {
        const QImage sky = skyFrame(1000, 700, colour);
        QImage later = partnerFrame(sky, colour, 400, 150);
        loadSlot(*f, *prompter, 1, savePicture(dir, "one.png", sky.copy(3, 2, 997, 698)));
        loadSlot(*f, *prompter, 2, savePicture(dir, "two.png", later));
        markPoint1(1, QPoint(100, 80));
        markPoint1(2, QPoint(103, 82));
        QTest::mouseClick(f->CmdSovm, Qt::LeftButton);
        QCOMPARE(f->Img2->Left() - f->Img1->Left(), -3.0f);
        QVERIFY(f->pictureArea->width() < 990 && f->pictureArea->height() < 690); // covered by both
    }

    /// The screen once a real tick of the running blink has shown phase p; a null image when no
    /// tick did within three seconds.
    QImage screenInPhase(int p) {
        if (!QTest::qWaitFor([this, p] { return f->BlinkPhase == p; }, 3000)) return {};
        return f->pictureArea->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

  private slots:
    void init() { startCase(prompter, f); }
    void cleanup() {
        endCase(prompter);
        QGuiApplication::clipboard()->clear();
    }

    // One frame per phase, each the screen of that phase (pixel for pixel in grey, within 3 levels
    // and without flicker that the screen does not show in colour), shown for the interval, looped;
    // the frame shown then goes to the clipboard as the screen shows it.
    void blinkWrittenAsTheScreenShowsIt_data() {
        QTest::addColumn<bool>("colour");
        QTest::addColumn<bool>("box");
        QTest::newRow("grey pair") << false << false;
        QTest::newRow("grey pair, only the marker box") << false << true;
        QTest::newRow("colour pair") << true << false;
    }
    void blinkWrittenAsTheScreenShowsIt() {
        QFETCH(bool, colour);
        QFETCH(bool, box);
        registeredPair(colour);
        // 0.7 s: the interval slider takes the focus by a click and goes down three large steps.
        QApplication::setActiveWindow(f);
        clickHandle(f->HScrTime);
        for (int i = 0; i < 3; ++i)
            typeKey(f, Qt::Key_PageUp);
        QCOMPARE(f->Label6->text(), QString("0.7 сек."));
        QRect region(QPoint(0, 0), f->pictureArea->size());
        QTest::mouseClick(f->CmdStart, Qt::LeftButton); // ends the choice of point 1 as well
        if (box) {
            // The box goes round the spot clicked, the object that came in picture 2; showing
            // it from "Меню" stops the blink, and "ПУСК" starts it again.
            const QPoint spot(400, 150);
            QTest::mouseClick(f->Img1, Qt::LeftButton, Qt::NoModifier, spot - f->Img1->pos());
            QVERIFY(chooseMenuItem(f, f->Menu, f->mnuRamka));
            QTest::mouseClick(f->CmdStart, Qt::LeftButton);
            region = QRect(spot - QPoint(100, 100), QSize(200, 200));
        }
        // Phase 2, then 1 again: the file is written while the screen shows phase 1, and must
        // leave it showing that.
        const QImage second = screenInPhase(2);
        QVector<QImage> screens{screenInPhase(1), second};
        QVERIFY(!screens[0].isNull() && !screens[1].isNull());
        QVERIFY(screens[0].copy(region) != screens[1].copy(region));
        for (QImage& s : screens)
            s = s.copy(region);

        const QTemporaryDir out;
        prompter->saveNames.enqueue(out.filePath("blink"));
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileGif));
        QCOMPARE(f->CmdStart->text(), QString("ПУСК")); // opening "Файл" stopped the blink
        QCOMPARE(prompter->dialogTitles.last(), QString("Записать мигание в GIF"));
        QCOMPARE(prompter->messages + prompter->questions, QStringList());
        const ReadGif gif = readGif(out.filePath("blink.gif"));
        QCOMPARE(gif.format, QByteArray("gif"));
        QCOMPARE(gif.loopCount, -1);
        QCOMPARE(gif.delays, (QVector<int>{700, 700}));
        QCOMPARE(gif.frames.size(), 2);
        QCOMPARE(gif.frames[0].size(), region.size());
        // The green sides of the box are drawn over the box's top row and left column on the
        // screen; the file has the pictures there.
        QVector<QImage> written = gif.frames;
        if (box) {
            const QRgb green = qRgb(0, 255, 0);
            for (int i = 0; i < 200; ++i) {
                QVERIFY(screens[0].pixel(i, 0) == green && screens[1].pixel(0, i) == green);
                QVERIFY(written[0].pixel(i, 0) != green && written[1].pixel(0, i) != green);
            }
            for (QImage* img : {&screens[0], &screens[1], &written[0], &written[1]})
                *img = img->copy(1, 1, 199, 199);
        }
        const FrameDifference d = compareFrames(screens, written);
        if (colour) {
            QVERIFY2(d.far <= d.pixels / 100,
                     qPrintable(QString("%1 of %2 pixels off").arg(d.far).arg(d.pixels)));
            QCOMPARE(d.flicker, 0);
        } else {
            QCOMPARE(d.unequal, 0);
        }

        // The screen shows what it showed before the file was written: the phase last ticked.
        const QImage shown = f->pictureArea->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const int last = f->BlinkPhase;
        QCOMPARE(shown.copy(region).copy(box ? QRect(1, 1, 199, 199) : shown.rect()), screens[last - 1]);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileCopyFrame));
        QImage copied = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(copied.size(), region.size());
        if (box) copied = copied.copy(1, 1, 199, 199);
        QCOMPARE(copied, screens[last - 1]);
    }

    // The file name asked for, its suffix, an existing file replaced only when the user agrees,
    // and a file that cannot be written said in Russian with the old one kept.
    void fileNamesAndFailures_data() {
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QStringList>("names");   // answers of the file dialog, in turn
        QTest::addColumn<QList<int>>("answers");  // to "replace?", in turn: 1 yes, 0 no
        QTest::addColumn<QStringList>("written"); // files of the folder with a GIF in them
        QTest::addColumn<QString>("message");     // %1 = the folder
        QTest::newRow("suffix added")
            << true << QStringList{"m45"} << QList<int>{} << QStringList{"m45.gif"} << QString();
        QTest::newRow("cancelled") << true << QStringList{} << QList<int>{} << QStringList{} << QString();
        QTest::newRow("old file replaced")
            << true << QStringList{"old.gif"} << QList<int>{1} << QStringList{"old.gif"} << QString();
        QTest::newRow("old file kept, another name")
            << true << QStringList{"old", "new.GIF"} << QList<int>{0} << QStringList{"new.GIF"} << QString();
        QTest::newRow("folder missing")
            << true << QStringList{"none/m45.gif"} << QList<int>{} << QStringList{}
            << QString("Не удалось записать файл %1/none/m45.gif: папка не найдена");
        QTest::newRow("no picture yet") << false << QStringList{"m45"} << QList<int>{} << QStringList{}
                                        << QString("Нет снимков: сначала загрузите первый снимок.");
    }
    void fileNamesAndFailures() {
        QFETCH(bool, loaded);
        QFETCH(QStringList, names);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, written);
        QFETCH(QString, message);
        const QTemporaryDir folder;
        QFile old(folder.filePath("old.gif"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old content") == 11);
        old.close();
        if (loaded) {
            QImage grey(300, 200, QImage::Format_RGB32);
            grey.fill(qRgb(90, 90, 90));
            loadSlot(*f, *prompter, 1, savePicture(dir, "grey.png", grey));
        }
        for (const QString& n : names)
            prompter->saveNames.enqueue(folder.filePath(n));
        for (int a : answers)
            prompter->answers.enqueue(a ? QMessageBox::Yes : QMessageBox::No);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileGif));
        QCOMPARE(prompter->questions, QStringList(answers.size(), "Файл уже существует. Заменить?"));
        if (message.contains("%1")) message = message.arg(folder.path());
        QCOMPARE(prompter->messages, message.isEmpty() ? QStringList() : QStringList{message});
        QStringList gifs;
        for (const QString& name : QDir(folder.path()).entryList(QDir::Files))
            if (!readGif(folder.filePath(name)).frames.isEmpty()) gifs << name;
        QCOMPARE(gifs, written);
        if (!written.contains("old.gif")) {
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), QByteArray("old content"));
        }
    }
};

QTEST_MAIN(TestShareWindow)
#include "tst_sharewindow.moc"
