#include "common/numberforms.h"
#include "cutout/canvasbox.h"
#include "cutout/frmpiccopy.h"
#include "golden.h"
#include "project/projectwriter.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "sky/frmvvodkoordinat.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/screencompare.h"
#include "support/starsky.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QtTest>
#include <cmath>
#include <csignal>
#include <sys/resource.h>

using namespace vorlan;
using namespace vorlan::test;

namespace {

QString fromWindows1251(const QByteArray& bytes) {
    return QStringDecoder("windows-1251").decode(bytes);
}

/// Where a frame stands and how large it is, as a rectangle of the picture area.
QRect frameRect(ImageFrame* img) {
    return QRect(img->pos(), img->size());
}

/// A hand-made project file damaged at random: empty (run 0), one 10 MB line (run 1), then
/// lines cut, doubled or swapped, cut at a random byte, or lines replaced by hostile numbers or
/// random bytes.
QByteArray damaged(QRandomGenerator& rng, int run) {
    static const QStringList sources = {"two-with-coordinates.vln", "three-pictures.vln",
                                        "two-without-coordinates.vln", "lf-line-ends.vln"};
    static const QList<QByteArray> hostile = {"1e39",        "nan",    "-5000000", "1e308", "-1e400", "inf",
                                              "99999999999", "3.4e38", "1e-45",    "-0",    "32.768", "",
                                              "no",          "\t-7",   "0x10",     "1,5e3"};
    QByteArray bytes = goldenBytes(sources[int(rng.bounded(sources.size()))]);
    const char end = bytes.contains('\r') ? '\r' : '\n';
    QList<QByteArray> lines = bytes.split(end);
    auto any = [&rng, &lines] { return int(rng.bounded(lines.size())); };
    switch (run < 2 ? run : int(rng.bounded(2, 7))) {
    case 0:
        return QByteArray();
    case 1:
        lines[3] = QByteArray(10 * 1024 * 1024, '5');
        break;
    case 2:
        lines = lines.mid(0, any());
        break;
    case 3:
        lines.insert(any(), lines[any()]);
        break;
    case 4:
        lines.swapItemsAt(any(), any());
        break;
    case 5:
        return bytes.left(int(rng.bounded(bytes.size() + 1)));
    default:
        for (int n = int(rng.bounded(1, 4)); n > 0; --n) {
            QByteArray& line = lines[any()];
            line = hostile[int(rng.bounded(hostile.size()))];
            if (rng.bounded(2))
                for (char& c : line = QByteArray(int(rng.bounded(1, 12)), '\0'))
                    c = char(rng.bounded(256));
        }
    }
    return lines.join(end);
}

/// A hand-made project file read from the menu: the pictures beside it ("name:WxH"), and what
/// the window shows after.
struct HandMadeCase {
    QString golden;
    QStringList files;
    QStringList messages; ///< expected beginnings
    QString shown;        ///< Img1..3 visible, "1" or "0" each
    QList<QRect> frames;
    QString captions; ///< lblT1 | LblT2
    bool coordinates;
};

} // namespace

Q_DECLARE_METATYPE(HandMadeCase)

class TestProject : public QObject {
    Q_OBJECT
    ScriptedPrompter* prompter = nullptr;
    frmBl* f = nullptr;
    std::unique_ptr<QTemporaryDir> dir;

    /// Pictures "name:WxH" saved as JPEG gradients into the case's folder.
    void pictures(const QStringList& namesAndSizes) {
        for (const QString& entry : namesAndSizes) {
            const QStringList parts = entry.split(QLatin1Char(':'));
            const QStringList size = parts[1].split(QLatin1Char('x'));
            QVERIFY(gradientPicture(size[0].toInt(), size[1].toInt()).save(dir->filePath(parts[0]), "JPG"));
        }
    }
    /// A golden file copied into the case's folder; its path.
    QString project(const QString& golden) {
        const QString path = dir->filePath(golden);
        QFile::remove(path);
        QFile::copy(goldenPath(golden), path);
        return path;
    }
    void open(const QString& path) {
        prompter->openNames.enqueue(path);
        f->mnuFileOpen->trigger();
    }
    void save(const QStringList& names, QList<QMessageBox::StandardButton> answers = {}) {
        for (const QString& n : names)
            prompter->saveNames.enqueue(n);
        for (auto a : answers)
            prompter->answers.enqueue(a);
        f->mnuFileSave->trigger();
    }
    /// The comparison as the writer sees it, for "nothing changed" checks.
    QString snapshot() { return ProjectText(State(), f->mnuKoordinat->isEnabled()); }

  private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        startCase(prompter, f);
    }
    void cleanup() {
        endCase(prompter);
        dir.reset();
    }

    // Each hand-made file restores what its lines say; messages only where the file asks for
    // them (no third block; a missing picture). Without coordinates nothing is solved.
    void readsTheHandMadeFiles_data() {
        DataTable<HandMadeCase> table("c");
        const QStringList two = {"снимок1.jpg:400x300", "карта2.jpg:640x480"};
        const QList<QRect> twoFrames = {{0, 0, 600, 450}, {30, 15, 480, 360}};
        table.row("two with coordinates",
                  {"two-with-coordinates.vln", two, {}, "100", twoFrames, " 1500  750| 4500  3000", true});
        table.row("ends after line 26", {"ends-after-line-26.vln",
                                         two,
                                         {"третьего снимка нет! "},
                                         "100",
                                         twoFrames,
                                         " 1500  750| 4500  3000",
                                         true});
        table.row("no coordinates",
                  {"two-without-coordinates.vln", two, {}, "100", twoFrames, " 1500  750|0 0", false});
        table.row("three pictures", {"three-pictures.vln",
                                     {"a.jpg:400x300", "b.jpg:640x480", "ночь-α.jpg:320x240"},
                                     {},
                                     "111",
                                     twoFrames + QList<QRect>{{30, -5, 640, 480}},
                                     " 900  600|",
                                     true});
        table.row("LF, name in another case", {"lf-line-ends.vln",
                                               {"m31.jpg:400x300", "Map.jpg:640x480"},
                                               {},
                                               "100",
                                               twoFrames,
                                               " 1500  750| 4500  3000",
                                               true});
        table.row("a picture missing", {"lf-line-ends.vln",
                                        {"m31.jpg:400x300"},
                                        {"второго снимка нет! Не удалось загрузить картинку "},
                                        "100",
                                        {twoFrames[0]},
                                        " 1500  750| 4500  3000",
                                        true});
    }
    void readsTheHandMadeFiles() {
        QFETCH(HandMadeCase, c);
        const auto& [golden, files, messages, shown, frames, captions, coordinates] = c;
        pictures(files);
        open(project(golden));
        QCOMPARE(prompter->dialogTitles, QStringList{"Открыть файл"});
        QCOMPARE(prompter->dialogFilters, QStringList{"(*.vln) (*.vln)"});
        QCOMPARE(prompter->messages.size(), messages.size());
        for (int i = 0; i < messages.size(); ++i)
            QVERIFY2(prompter->messages[i].startsWith(messages[i]), qPrintable(prompter->messages[i]));
        SharedState& s = State();
        const int count = shown == QLatin1String("111") ? 3 : 2;
        QCOMPARE(s.PictureCount, int16_t(count));
        for (int k = 1; k <= 3; ++k)
            QCOMPARE(f->Img(k)->isVisible(), shown[k - 1] == QLatin1Char('1'));
        for (int k = 1; k <= frames.size(); ++k) {
            QCOMPARE(frameRect(f->Img(k)), frames[k - 1]);
            QCOMPARE(QFileInfo(s.FileName(k)).dir(), QDir(dir->path()));
            QVERIFY(QFileInfo::exists(s.FileName(k)));
            QVERIFY(!f->Img(k)->picture().isNull());
        }
        if (frames.size() < 2) QVERIFY(f->Img2->picture().isNull());
        QCOMPARE(f->lblT1->text() + QLatin1Char('|') + f->LblT2->text(), captions);
        QCOMPARE(f->mnuKoordinat->isEnabled(), coordinates);
        QCOMPARE(s.StarRA1 != 0, coordinates);
        QCOMPARE(f->txtInfo->toPlainText().left(7), coordinates ? QStringLiteral("центр: ") : QString());
        QCOMPARE(s.MarkScale1, 1.5f);
        QCOMPARE(s.MarkScale2, 1.25f);
        QCOMPARE(f->HScr1->value(), 1500);
        QCOMPARE(f->HScr2->value(), 750);
        QVERIFY(f->Open3File->isEnabled() || count == 3);
        // What the window shows: picture 1 stretched 1.5 times, its middle in the frame's middle.
        const QColor middle = f->pictureArea->grab().toImage().pixelColor(300, 225);
        QVERIFY2(std::abs(middle.red() - 128) < 12 && std::abs(middle.green() - 128) < 12,
                 qPrintable(middle.name()));
    }

    // From the state the reader restored, the writer writes the file again line for line; the
    // picture names are the paths the pictures were loaded from.
    void writerWritesTheReadFileAgain() {
        pictures({"снимок1.jpg:400x300", "карта2.jpg:640x480"});
        open(project(QStringLiteral("two-with-coordinates.vln")));
        QVERIFY(prompter->messages.isEmpty());
        save({dir->filePath(QStringLiteral("again"))});
        QVERIFY(prompter->messages.isEmpty());
        QCOMPARE(prompter->dialogTitles.last(), QStringLiteral("Добавить в файл (или создать файл)"));
        const QByteArray bytes = readFile(dir->filePath(QStringLiteral("again.vln")));
        QVERIFY(bytes.endsWith("\r\n"));
        QVERIFY(!bytes.contains('\n') || bytes.indexOf('\n') == bytes.size() - 1);
        // Windows-1251: the Cyrillic names take one byte a letter.
        QVERIFY(
            bytes.contains(QByteArray(QStringEncoder("windows-1251").encode(QStringLiteral("снимок1.jpg")))));
        QStringList written = fromWindows1251(bytes).chopped(2).split(QLatin1Char('\r'));
        QStringList expected = goldenLines(QStringLiteral("two-with-coordinates.vln"));
        QCOMPARE(written.size(), 34);
        QCOMPARE(written[0], dir->filePath(QStringLiteral("снимок1.jpg")));
        QCOMPARE(written[8], dir->filePath(QStringLiteral("карта2.jpg")));
        written[0] = expected[0];
        written[8] = expected[8];
        QCOMPARE(written, expected);
    }

    // A comparison built through the window comes back after a restart: positions, sizes,
    // scales, points and their captions, star coordinates and "Координаты".
    void roundTripAfterRestart_data() {
        DataTable<QLocale>("locale")
            .row("C", QLocale::c())
            .row("Russian, decimal comma", QLocale(QLocale::Russian, QLocale::Russia));
    }
    void roundTripAfterRestart() {
        QFETCH(QLocale, locale);
        QLocale::setDefault(locale);
        pictures({"first.jpg:500x400", "second.jpg:600x500"});
        loadSlot(*f, *prompter, 1, dir->filePath(QStringLiteral("first.jpg")));
        loadSlot(*f, *prompter, 2, dir->filePath(QStringLiteral("second.jpg")));
        // Picture 1: one page up on its scale bar, then both points.
        QTest::mouseClick(f->Lbl1, Qt::LeftButton);
        QTest::mouseClick(f->HScr1, Qt::LeftButton, {},
                          QPoint(f->HScr1->width() - 20, f->HScr1->height() / 2));
        QCOMPARE(f->HScr1->value(), 1020);
        markPoint(*f, 1, 1, {100, 60});
        markPoint(*f, 1, 2, {400, 300});
        markPoint(*f, 2, 1, {130, 90});
        markPoint(*f, 2, 2, {420, 350});
        QTest::mouseClick(f->CmdSovm, Qt::LeftButton);
        // Star coordinates typed into the entry window: 5h 35.2m is 83.8°.
        emit f->mnuViravnivanie->aboutToShow();
        f->mnuViravnivanie_vvod_koord->trigger();
        frmVvodKoordinat& w = VvodKoordinatForm();
        const QStringList star1 = {"5", QLocale().toString(35.2), "22", "1"};
        const QStringList star2 = {"5", "41", "23", "30"};
        for (int i = 0; i < 2; ++i) {
            const QStringList& star = i == 0 ? star1 : star2;
            type(w.txtH[i], star[0]);
            type(w.txtHM[i], star[1]);
            type(w.txtGr[i], star[2]);
            type(w.txtGrM[i], star[3]);
        }
        QTest::mouseClick(w.cmdSzet, Qt::LeftButton);
        QTest::mouseClick(w.cmdExit, Qt::LeftButton);
        emit f->mnuViravnivanie->aboutToShow();
        QVERIFY(f->mnuKoordinat->isEnabled());
        QVERIFY(prompter->messages.isEmpty());

        save({dir->filePath(QStringLiteral("comparison"))});
        const SharedState before = State();
        const QList<QRect> frames = {frameRect(f->Img1), frameRect(f->Img2)};
        const QString line17 = fromWindows1251(readFile(dir->filePath(QStringLiteral("comparison.vln"))))
                                   .split(QLatin1Char('\r'))
                                   .value(16);
        QCOMPARE(line17, QStringLiteral("838000") + QLocale().decimalPoint() + QStringLiteral("0074"));

        freshProgram();
        f = &MainForm();
        open(dir->filePath(QStringLiteral("comparison.vln")));
        QCOMPARE(prompter->messages, QStringList{});
        SharedState& s = State();
        for (int k = 1; k <= 2; ++k) {
            QCOMPARE(frameRect(f->Img(k)), frames[k - 1]);
            QCOMPARE(s.FileName(k), k == 1 ? before.FileName1 : before.FileName2);
        }
        const float SharedState::*same[] = {
            &SharedState::ImageLeft1, &SharedState::ImageTop1,     &SharedState::ImageLeft2,
            &SharedState::ImageTop2,  &SharedState::DisplayScale1, &SharedState::DisplayScale2,
            &SharedState::Point1X1,   &SharedState::Point1Y1,      &SharedState::Point2X1,
            &SharedState::Point2Y1,   &SharedState::Point1X2,      &SharedState::Point1Y2,
            &SharedState::Point2X2,   &SharedState::Point2Y2,      &SharedState::MarkScale1,
            &SharedState::MarkScale2, &SharedState::PictureWidth2};
        for (auto field : same)
            QCOMPARE(s.*field, before.*field);
        // The comma stops the parse: only the part below 1/10000 degree may be lost.
        const float* stars[] = {&s.StarRA1, &s.StarDec1, &s.StarRA2, &s.StarDec2};
        const float beforeStars[] = {before.StarRA1, before.StarDec1, before.StarRA2, before.StarDec2};
        for (int i = 0; i < 4; ++i)
            QVERIFY(std::fabs(*stars[i] - beforeStars[i]) * 57.2957795130823 <= 1e-4);
        QCOMPARE(s.StarRA1, float(83.8 / 57.2957795130823));
        QVERIFY(f->mnuKoordinat->isEnabled());
        QCOMPARE(f->lblT1->text(), InvariantShortForm(s.Point1X1) + " " + InvariantShortForm(s.Point1Y1));
        QCOMPARE(f->LblT2->text(), InvariantShortForm(s.Point2X1) + " " + InvariantShortForm(s.Point2Y1));
        QCOMPARE(f->HScr1->value(), 1020);
        QVERIFY(f->Img1->isVisible());
        QVERIFY(f->txtInfo->toPlainText().startsWith(QStringLiteral("центр: ")));
    }

    // An existing file is replaced only on Yes; No asks for another name.
    void replacingAsksFirst_data() {
        DataTable<QList<QMessageBox::StandardButton>, int, bool>("answers", "dialogs", "replaced")
            .row("Yes", {QMessageBox::Yes}, 1, true)
            .row("No, then Yes", {QMessageBox::No, QMessageBox::Yes}, 2, true)
            .row("No, then cancel", {QMessageBox::No}, 2, false);
    }
    void replacingAsksFirst() {
        QFETCH(QList<QMessageBox::StandardButton>, answers);
        QFETCH(int, dialogs);
        QFETCH(bool, replaced);
        const QString path = dir->filePath(QStringLiteral("p.vln"));
        const QByteArray old = QByteArray(4000, 'o');
        QVERIFY(writeFile(path, old));
        QStringList names(answers.size(), path);
        save(names, answers);
        QCOMPARE(prompter->dialogTitles.size(), dialogs);
        QCOMPARE(prompter->questions,
                 QStringList(answers.size(), QStringLiteral("Файл уже существует. Заменить?")));
        QCOMPARE(prompter->icons.value(0), QMessageBox::Question);
        QCOMPARE(readFile(path), replaced ? projectFileBytes(State().ProjectText) : old);
        QVERIFY(prompter->messages.isEmpty());
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), 1);
    }

    // A save that cannot be written says which file and why; nothing is left behind.
    void failedSaveIsReported_data() {
        DataTable<QString>("name")
            .row("a folder", "folder.vln")
            .row("a missing folder", "missing/p.vln")
            .row("a read-only file system", "/sys/p.vln");
    }
    void failedSaveIsReported() {
        QFETCH(QString, name);
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("folder.vln")));
        const QString path = name.startsWith(QLatin1Char('/')) ? name : dir->filePath(name);
        save({path});
        QCOMPARE(prompter->messages.size(), 1);
        QVERIFY2(prompter->messages[0].startsWith(QStringLiteral("Ошибка! - Не удалось записать файл ") +
                                                  path + ": "),
                 qPrintable(prompter->messages[0]));
        QVERIFY(QDir(dir->path()).entryList(QDir::Files).isEmpty());
    }

    // A disk that fills up while a project, or a cut-out so small (3 kB) that it fails only when
    // written out at the end, is saved over an old file: the old file stays, the user learns why.
    void aFullDiskKeepsTheOldFile_data() {
        DataTable<QString>("name").row("project", "old.vln").row("cut-out of 20 x 20", "old.bmp");
    }
    void aFullDiskKeepsTheOldFile() {
        QFETCH(QString, name);
        pictures({"a.jpg:400x300"});
        loadSlot(*f, *prompter, 1, dir->filePath("a.jpg"));
        const QString path = dir->filePath(name);
        writeFile(path, "old");
        frmPicCopy& w = PicCopyForm();
        w.show();
        type(w.txtW, "20");
        type(w.txtH, "20");
        QTest::mouseClick(f->Img1, Qt::LeftButton, Qt::ShiftModifier, QPoint(100, 100));
        QVERIFY(jobEnds(*f));
        QCOMPARE(w.Pic1->image().size(), QSize(50, 20));
        prompter->saveNames.enqueue(path);
        prompter->answers.enqueue(QMessageBox::Yes);
        // No file may grow beyond 100 bytes: a write fails (EFBIG) where a full disk fails (ENOSPC).
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit full{100, unlimited.rlim_max};
        setrlimit(RLIMIT_FSIZE, &full);
        (name.endsWith(".bmp") ? w.SaveFile : f->mnuFileSave)->trigger();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(readFile(path), QByteArray("old"));
        QCOMPARE(prompter->messages.size(), 1);
        QVERIFY2(prompter->messages[0].contains(path) &&
                     prompter->messages[0].contains("слишком велик для этого диска"),
                 qPrintable(prompter->messages[0]));
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), (QStringList{"a.jpg", name}));
    }

    // A project that names no picture for a slot leaves that slot as at start-up: the picture
    // it held before is not shown, and the next save is what a program started afresh writes.
    void slotsWithoutAPictureAreEmptied_data() {
        // before: golden file opened first
        DataTable<int, QString>("slot", "before")
            .row("no picture 3", 3, "three-pictures.vln")
            .row("no picture 1", 1, "two-with-coordinates.vln");
    }
    void slotsWithoutAPictureAreEmptied() {
        QFETCH(int, slot);
        QFETCH(QString, before);
        pictures({"a.jpg:400x300", "b.jpg:640x480", "ночь-α.jpg:320x240", "снимок1.jpg:400x300",
                  "карта2.jpg:640x480"});
        open(project(before));
        QVERIFY(!f->Img(slot)->picture().isNull());
        // Line 27 of this file is empty; line 1 is emptied here.
        QStringList lines = goldenLines("two-with-coordinates.vln");
        lines[slot == 1 ? 0 : 26].clear();
        const QString next = dir->filePath("next.vln");
        writeFile(next, projectFileBytes(lines.join('\r')));
        open(next);
        QCOMPARE(State().FileName(slot), QString());
        QVERIFY(f->Img(slot)->picture().isNull());
        save({dir->filePath("saved")});

        freshProgram();
        f = &MainForm();
        open(next);
        save({dir->filePath("fresh")});
        QCOMPARE(readFile(dir->filePath("saved.vln")), readFile(dir->filePath("fresh.vln")));
    }

    // Picture 1 of a project that does not load is reported, and reading goes on: its frame takes
    // the size the file gives, and "Загрузить второй снимок или карту..." is offered.
    void pictureOneThatDoesNotLoadStillOffersPictureTwo() {
        pictures({"карта2.jpg:640x480"});
        QVERIFY(!f->Open2File->isEnabled());
        open(project("two-with-coordinates.vln"));
        QVERIFY2(prompter->messages.value(0).startsWith("Не удалось загрузить картинку " +
                                                        dir->filePath("снимок1.jpg")),
                 qPrintable(prompter->messages.value(0)));
        QVERIFY(f->Open2File->isEnabled());
        QCOMPARE(frameRect(f->Img1), QRect(0, 0, 600, 450));
        QVERIFY(!f->Img2->picture().isNull());
    }

    // Nothing is cleared until a readable file was chosen.
    void openingNothingChangesNothing_data() {
        DataTable<QString, QString>("chosen", "message")
            .row("cancelled", "", "")
            .row("missing file", "gone.vln", "файл не найден  53")
            .row("a folder", "folder.vln", "это папка, а не файл  75");
    }
    void openingNothingChangesNothing() {
        QFETCH(QString, chosen);
        QFETCH(QString, message);
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("folder.vln")));
        pictures({"снимок1.jpg:400x300", "карта2.jpg:640x480"});
        open(project(QStringLiteral("two-with-coordinates.vln")));
        const QString before = snapshot();
        const QImage shown = f->pictureArea->grab().toImage();
        open(chosen.isEmpty() ? QString() : dir->filePath(chosen));
        QCOMPARE(snapshot(), before);
        QVERIFY(f->mnuKoordinat->isEnabled());
        QVERIFY(f->Img1->isVisible());
        QCOMPARE(f->pictureArea->grab().toImage(), shown);
        QCOMPARE(prompter->messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QCOMPARE(prompter->messages[0],
                     QStringLiteral("Не удалось открыть файл %1: %2").arg(dir->filePath(chosen), message));
    }

    // Saved after an automatic registration (no stars typed) in a folder apart from its pictures:
    // the project opens again without a word, from where the pictures lie, turned as saved; with a
    // damaged registration line, that line is named and the rest opens unturned.
    void projectApartFromItsPicturesAfterAutomaticRegistration() {
        QVERIFY(QDir(dir->path()).mkpath("pictures") && QDir(dir->path()).mkpath("projects"));
        const QSize size(640, 480);
        const QVector<SkyStar> sky = randomSky(QRectF(-300, -300, 1240, 1080), 330, 8, 15, 200);
        const QString shot[2] = {dir->filePath("pictures/one.png"), dir->filePath("pictures/two.png")};
        for (int k = 1; k <= 2; ++k) {
            const SimilarityTransform toOne =
                skyTransform(QSizeF(size), QSizeF(size), 12 * (k - 1), 1, false, {});
            QVERIFY(viewSky(sky, size, toOne, k, {.noise = 0}).image.save(shot[k - 1]));
            loadSlot(*f, *prompter, k, shot[k - 1]);
        }
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuAutoSovm) && jobEnds(*f));
        auto viewOf = [this](int k) {
            QTest::mouseClick(f->Lbl(k), Qt::LeftButton);
            return f->pictureArea->grab().toImage().convertToFormat(QImage::Format_RGB32);
        };
        const QImage before[2] = {viewOf(1), viewOf(2)};
        const QString project = dir->filePath("projects/auto.vln");
        prompter->saveNames.enqueue(project);
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileSave));
        auto reopen = [&] {
            f = &freshProgram();
            prompter->openNames.enqueue(project);
            QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileOpen) && jobEnds(*f));
        };
        reopen();
        QCOMPARE(prompter->messages, QStringList());
        for (int k = 1; k <= 2; ++k) {
            QCOMPARE(State().FileName(k), shot[k - 1]);
            QCOMPARE_GE(agreeing(before[k - 1], viewOf(k), before[k - 1].rect()), 0.999);
        }
        QVERIFY(f->Img2->isTurned() && !f->mnuKoordinat->isEnabled());

        QStringList lines = fromWindows1251(readFile(project)).chopped(2).split('\r');
        QVERIFY(lines.size() == 35 && lines[34].startsWith("Совмещение 2: "));
        lines[34] = "Совмещение 2: nan " + lines[34].section(' ', 3);
        QVERIFY(writeFile(project, projectFileBytes(lines.join('\r'))));
        reopen();
        QCOMPARE(prompter->messages.size(), 1);
        QVERIFY2(prompter->messages[0].startsWith("Переполнение в строке 35: Совмещение 2: nan ") &&
                     prompter->messages[0].endsWith(" (число nan недопустимо)  6"),
                 qPrintable(prompter->messages[0]));
        QVERIFY(!f->Img2->isTurned() && !f->Img2->picture().isNull());
        QCOMPARE(agreeing(before[0], viewOf(1), before[0].rect()), 1.0);
    }

    // Thousands of damaged files go through the reader: no crash, no hang, no frame beyond what
    // a widget can be, every field a finite number.
    void damagedFilesNeverBreakTheWindow() {
        pictures({"снимок1.jpg:40x30", "карта2.jpg:64x48", "a.jpg:40x30", "b.jpg:64x48", "ночь-α.jpg:32x24"});
        QRandomGenerator rng(20261207);
        const QString path = dir->filePath(QStringLiteral("damaged.vln"));
        QElapsedTimer clock;
        qint64 worst = 0;
        const int runs = 2000;
        for (int run = 0; run < runs; ++run) {
            QVERIFY(writeFile(path, damaged(rng, run)));
            prompter->messages.clear();
            clock.start();
            open(path);
            worst = std::max(worst, clock.elapsed());
            SharedState& s = State();
            for (int k = 1; k <= 3; ++k) {
                QVERIFY(f->Img(k)->width() <= 16777215 && f->Img(k)->height() <= 16777215);
                for (float v :
                     {s.ImageLeft(k), s.ImageTop(k), s.DisplayScale(k), s.Point1X(k), s.PictureWidth(k)})
                    QVERIFY2(std::isfinite(v), qPrintable(QStringLiteral("run %1, slot %2").arg(run).arg(k)));
            }
            QVERIFY(std::isfinite(s.StarRA1) && std::isfinite(s.MarkScale1));
            for (const QString& m : prompter->messages)
                QVERIFY(m.size() < 1000);
        }
        qInfo("%d damaged files read, the slowest in %lld ms", runs, worst);
        QVERIFY(worst < 5000);
    }
};

QTEST_MAIN(TestProject)
#include "tst_project.moc"
