// Files opened the desktop way: named on the command line, or dropped on the main window.

#include "project/projectwriter.h"
#include "series/frmseries.h"
#include "shell/clicklabel.h"
#include "shell/commandline.h"
#include "shell/givenfiles.h"
#include "shell/start.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/linearsky.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vorlan;
using namespace vorlan::test;

class TestDesktopOpen : public WindowTest {
    Q_OBJECT

    /// Makes the named files: "bad…" holds text, "….fits" a linear star field, "….vln" a project
    /// of a.png and b.fits in the same folder, others a PNG.
    QStringList makeFiles(const QStringList& names) {
        QStringList paths;
        for (const QString& name : names) {
            const QString path = dir.filePath(name);
            if (name.startsWith("bad")) {
                writeFile(path, "no picture here");
            } else if (name.endsWith(".vln")) {
                QStringList lines{"a.png",  " 0", " 0", " 0", " 0", " 200", " 150", " 1",
                                  "b.fits", " 0", " 0", " 0", " 0", " 320", " 200", " 1"};
                lines << "no"
                      << "no"
                      << "no"
                      << "no"
                      << "0"
                      << "0"
                      << "0"
                      << "0"
                      << " 1"
                      << " 1"
                      << "";
                writeFile(path, projectFileBytes(lines.join('\r')));
            } else if (name.endsWith(".fits")) {
                writeFits(path, linearStarField(320, 200, 25, 1000, 30, 60000, 2), {});
            } else {
                plainPicture(200, 150, QColor(200, 40, 40)).save(path);
            }
            paths << path;
        }
        return paths;
    }

    QStringList slotNames() const {
        QStringList names;
        for (int k = 1; k <= 3; ++k)
            names << (f->Img(k)->picture().isNull() ? QString() : QFileInfo(State().FileName(k)).fileName());
        return names;
    }

  private slots:
    void commandLineNamesBecomeFullPaths_data() {
        DataTable<QString, QString>("argument", "path")
            .row("relative", "night/m31.fits", "/home/ann/sky/night/m31.fits")
            .row("up a folder", "../flat.fits", "/home/ann/flat.fits")
            .row("absolute", "/data/m31.jpg", "/data/m31.jpg")
            .row("file URL, Cyrillic and a blank", "file:///data/%D0%BD%D0%BE%D1%87%D1%8C%201.jpg",
                 "/data/ночь 1.jpg");
    }
    void commandLineNamesBecomeFullPaths() {
        QFETCH(QString, argument);
        QFETCH(QString, path);
        QCOMPARE(givenFilePaths({argument}, "/home/ann/sky"), QStringList{path});
    }

    void commandLineOpensPicturesInOrder_data() {
        DataTable<QStringList, QStringList, int>("names", "inSlots", "messages")
            .row("three pictures", {"a.png", "b.fits", "c.png"}, {"a.png", "b.fits", "c.png"}, 0)
            .row("a fourth is left out", {"a.png", "b.png", "c.png", "d.png"}, {"a.png", "b.png", "c.png"}, 0)
            .row("a bad file leaves its slot to the next", {"bad.jpg", "a.fits"}, {"a.fits", "", ""}, 1)
            .row("a missing file", {"a.png", "gone.png"}, {"a.png", "", ""}, 1)
            // A project opens as "Открыть файл *.vln..." does, whatever comes with it; its own
            // messages (a plate solution of no stars) are the reader's business: not counted.
            .row("a project", {"a.png", "b.fits", "x.png", "comet.vln"}, {"a.png", "b.fits", ""}, -1);
    }
    void commandLineOpensPicturesInOrder() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, inSlots);
        QFETCH(int, messages);
        QStringList paths = makeFiles(names);
        if (names.contains("gone.png")) QFile::remove(dir.filePath("gone.png"));
        Main(paths);
        QTRY_COMPARE(slotNames(), inSlots);
        if (messages >= 0) QCOMPARE(prompter->messages.size(), messages);
        if (messages > 0)
            QVERIFY(prompter->messages[0].contains(paths[names.indexOf(QRegularExpression("(bad|gone).*"))]));
        // The command line answered the dialogs: none was shown.
        QVERIFY(prompter->dialogTitles.isEmpty());
        if (messages >= 0) QCOMPARE(f->windowTitle(), dir.filePath(inSlots[0]));
    }

    // Only files (and links to them) are read as pictures; a FIFO (whose open() would wait for a
    // writer), /dev/zero and a link to it (never ending), a folder are refused by reason.
    void onlyFilesAreReadAsPictures() {
        const QString fifo = dir.filePath("f.jpg"), zero = dir.filePath("zero.jpg");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link("/dev/zero", zero));
        QVERIFY(QDir(dir.path()).mkpath("folder.jpg"));
        const QStringList paths =
            QStringList{fifo, "/dev/zero", zero, dir.filePath("folder.jpg")} + makeFiles({"a.png"});
        // A writer now and then: a window waiting on the FIFO would fail here, not hang the test.
        const std::jthread writer([name = QFile::encodeName(fifo)](std::stop_token stop) {
            for (; !stop.stop_requested(); QThread::msleep(20))
                if (const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK); fd >= 0) ::close(fd);
        });
        Main(paths);
        QTRY_COMPARE(slotNames(), (QStringList{"a.png", "", ""}));
        const QStringList reasons = {"это канал (FIFO), а не файл", "это устройство, а не файл",
                                     "это устройство, а не файл", "это папка, а не файл"};
        QCOMPARE(prompter->messages.size(), reasons.size());
        for (int i = 0; i < reasons.size(); ++i)
            QVERIFY2(prompter->messages[i].contains(paths[i]) && prompter->messages[i].contains(reasons[i]),
                     qPrintable(prompter->messages[i]));
    }

    void droppedFilesOpenWhereTheyLand_data() {
        // target: objectName of the widget under the drop, or "" for the picture area
        DataTable<int, QString, QStringList, bool, QStringList, int>("loadedBefore", "target", "names",
                                                                     "accepted", "inSlots", "messages")
            .row("two on the picture area", 0, "", {"x.png", "y.fits"}, true, {"x.png", "y.fits", ""}, 0)
            .row("one on 2Ф", 1, "Lbl2", {"y.fits"}, true, {"first.png", "y.fits", ""}, 0)
            .row("one on 1Ф replaces picture 1", 2, "Lbl1", {"x.png"}, true, {"x.png", "second.png", ""}, 0)
            .row("3Ф before slot 2 was opened", 1, "Lbl3", {"x.png"}, false, {"first.png", "", ""}, 0)
            .row("a file that is no picture", 1, "Lbl1", {"bad.png"}, true, {"first.png", "", ""}, 1)
            .row("a project on 3Ф opens the project", 0, "Lbl3", {"a.png", "b.fits", "comet.vln"}, true,
                 {"a.png", "b.fits", ""}, -1)
            .row("four are a series", 0, "", {"s1.fits", "s2.fits", "s3.fits", "s4.fits"}, true, {"", "", ""}, 0);
    }
    void droppedFilesOpenWhereTheyLand() {
        QFETCH(int, loadedBefore);
        QFETCH(QString, target);
        QFETCH(QStringList, names);
        QFETCH(bool, accepted);
        QFETCH(QStringList, inSlots);
        QFETCH(int, messages);
        const QStringList before = makeFiles(QStringList{"first.png", "second.png"}.mid(0, loadedBefore));
        for (int k = 1; k <= loadedBefore; ++k)
            load(k, before[k - 1]);
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : makeFiles(names))
            urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);

        // Over the widget, as the windowing system delivers a drag: enter, moves, the drop.
        QWidget* under = target.isEmpty() ? f->centralWidget() : f->findChild<QWidget*>(target);
        QVERIFY(under);
        const QPoint at = target.isEmpty() ? QPoint(200, 150) : under->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(under, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QDragMoveEvent move(at + QPoint(1, 1), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                            Qt::NoModifier);
        QApplication::sendEvent(under, &move);
        QCOMPARE(move.isAccepted(), accepted);
        QDropEvent drop(at + QPoint(1, 1), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(under, &drop);
        QCOMPARE(drop.isAccepted(), accepted);
        QTRY_COMPARE(slotNames(), inSlots);
        if (messages >= 0) QTRY_COMPARE(prompter->messages.size(), messages);
        if (messages > 0) QVERIFY(prompter->messages[0].contains(dir.filePath(names[0])));
        if (names.size() >= frmBl::SeriesFileCount) {
            QTRY_VERIFY(f->findChild<frmSeries*>());
            QCOMPARE(f->findChild<frmSeries*>()->lstFrames->rowCount(), names.size());
            QVERIFY(jobEnds());
        }
    }

    // --series: the files are frames, however few, listed in "Серия" and registered; no slot opens.
    void seriesOnTheCommandLine() {
        const QStringList paths = makeFiles({"s1.fits", "s2.fits"});
        Main(paths, true);
        QTRY_VERIFY(f->findChild<frmSeries*>());
        QVERIFY(jobEnds());
        const frmSeries* w = f->findChild<frmSeries*>();
        QCOMPARE(w->lstFrames->item(1, frmSeries::File)->text(), QString("s2.fits"));
        QVERIFY(w->cmdStack->isEnabled() && prompter->dialogTitles.isEmpty() && f->Img1->picture().isNull());
        QCOMPARE(readCommandLine({"vorlan", "--series", "a.fits"}).series, true);
    }

    void linearFitsIsShownStretched() {
        const QStringList paths = makeFiles({"field.fits"});
        Main(paths);
        QTRY_VERIFY(!f->Img1->picture().isNull());
        // What the window shows: a dark grey sky, not the black of raw linear counts.
        const QImage shown = f->Img1->grab().toImage();
        QCOMPARE(shown.size(), QSize(320, 200));
        std::vector<int> levels;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                levels.push_back(qGray(shown.pixel(x, y)));
        const int brightest = *std::max_element(levels.begin(), levels.end());
        std::nth_element(levels.begin(), levels.begin() + qsizetype(levels.size() / 2), levels.end());
        const int sky = levels[levels.size() / 2];
        QVERIFY2(sky >= 20 && sky <= 60, qPrintable(QString::number(sky)));
        QVERIFY2(brightest > 200, qPrintable(QString::number(brightest)));
    }
};

QTEST_MAIN(TestDesktopOpen)
#include "tst_desktopopen.moc"
