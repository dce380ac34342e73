#include "common/numberforms.h"
#include "golden.h"
#include "project/projectreader.h"
#include "project/projectwriter.h"
#include "project/registrationline.h"
#include "project/serieslines.h"
#include "shell/sharedstate.h"
#include "sky/picturesky.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/wcsheader.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

QByteArray joined(const QStringList& lines, const QString& end) {
    return lines.isEmpty() ? QByteArray() : lines.join(end).toUtf8() + end.toUtf8();
}

} // namespace

class TestProjectFile : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // The writer's text, line ends and encoding, against the hand-made files.
    void writerMatchesTheTable_data() {
        DataTable<QString, bool>("golden", "coordinates")
            .row("two pictures with coordinates, Windows-1251", "two-with-coordinates.vln", true)
            .row("three pictures, a name beyond Windows-1251 in UTF-8", "three-pictures.vln", true)
            .row("coordinates off: no and 0", "two-without-coordinates.vln", false);
    }
    void writerMatchesTheTable() {
        QFETCH(QString, golden);
        QFETCH(bool, coordinates);
        SharedState s;
        QStringList lines = goldenLines(golden);
        // With the coordinates off the state still holds them; the file must not.
        stateFromGolden(s, goldenLines(QStringLiteral("two-with-coordinates.vln")));
        stateFromGolden(s, lines);
        if (!coordinates) {
            s.StarRA1 = 0.3f;
            s.Point2X1 = 4500;
        }
        const QString text = ProjectText(s, coordinates);
        QCOMPARE(text.split(QLatin1Char('\r')), lines);
        QVERIFY(!text.endsWith(QLatin1Char('\r')));
        const QByteArray bytes = projectFileBytes(text);
        QVERIFY(bytes.endsWith("\r\n"));
        if (golden != QLatin1String("two-without-coordinates.vln")) QCOMPARE(bytes, goldenBytes(golden));
    }

    // Lines 17-20: degrees x 10000 with four decimals and the locale's separator; the comma
    // stops the reader's parse, which costs only the part below 1/10000 degree.
    void starLinesFollowTheLocale_data() {
        DataTable<QLocale, QString>("locale", "line17")
            .row("C", QLocale::c(), "838000.0074")
            .row("Russian", QLocale(QLocale::Russian, QLocale::Russia), "838000,0074");
    }
    void starLinesFollowTheLocale() {
        QFETCH(QLocale, locale);
        QFETCH(QString, line17);
        QLocale::setDefault(locale);
        SharedState s;
        s.StarRA1 = float(83.8 / 57.2957795130823);
        const QString text = ProjectText(s, true);
        QCOMPARE(text.split(QLatin1Char('\r')).value(16), line17);
        const ProjectRecord r = readProjectRecord(projectFileBytes(text));
        QCOMPARE(r.line[17].value, s.StarRA1);
        QVERIFY(r.errors.isEmpty());
    }

    void splitsAtEveryLineEnd_data() {
        DataTable<QString, QStringList>("text", "lines")
            .row("CR, CR LF after the last", "a\rb\r\n", {"a", "b"})
            .row("CR LF", "a\r\nb\r\n", {"a", "b"})
            .row("LF without a last end", "a\nb", {"a", "b"})
            .row("mixed, empty lines kept", "a\r\r\nb\n\nc", {"a", "", "b", "", "c"})
            .row("LF CR is two ends", "a\n\rb", {"a", "", "b"})
            .row("nothing", "", {})
            .row("one end", "\r\n", {""});
    }
    void splitsAtEveryLineEnd() {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(splitProjectLines(text, 34), lines);
    }

    // Numbers no window could take count as lines that cannot be read: the field gets the
    // number of the last line that could, or 0 where that one does not fit either.
    void refusesHostileNumbers_data() {
        DataTable<int, QString, float, int>("line", "text", "value", "error")
            .row("nan is no number: 0", 6, "nan", 0.0f, 0)
            .row("beyond a float", 6, "1e39", 750.0f, 6)
            .row("beyond a double", 3, "1e400", 0.0f, 6)
            .row("negative width", 6, "-5000000", 750.0f, 380)
            .row("position beyond any widget", 2, "-1e9", 0.0f, 380)
            .row("scale beyond the sliders, last number no scale", 8, " 100000", 0.0f, 380)
            .row("width x scale beyond a widget", 6, " 6000000", 6000000.0f, 0)
            .row("a large scale that fits", 8, " 30", 30.0f, 0)
            .row("a scale below the bars' step", 16, "1e-45", 0.0f, 380)
            .row("star beyond a float", 17, " 1e39", float(.75 / 57.2957795130823 / 10000), 6)
            .row("negative mark scale", 26, "-1", 1.5f, 380)
            .row("a 10 MB line", 4, QString(10 * 1024 * 1024, QLatin1Char('7')), 0.0f, 380);
    }
    void refusesHostileNumbers() {
        QFETCH(int, line);
        QFETCH(QString, text);
        QFETCH(float, value);
        QFETCH(int, error);
        QStringList lines = goldenLines(QStringLiteral("two-with-coordinates.vln"));
        lines[line - 1] = text;
        if (QTest::currentDataTag() == QLatin1String("width x scale beyond a widget"))
            lines[7] = QStringLiteral(" 3");
        const ProjectRecord r = readProjectRecord(joined(lines, QStringLiteral("\r")));
        QCOMPARE(r.line[size_t(line)].value, value);
        if (QTest::currentDataTag() == QLatin1String("width x scale beyond a widget")) {
            QCOMPARE(r.line[8].value, 0.0f); // the height before it is no scale either
            line = 8;
            error = 380;
        }
        QCOMPARE(r.errors.size(), error ? 1 : 0);
        if (error) {
            QCOMPARE(r.errors[0].number, error);
            QCOMPARE(r.errors[0].line, line);
            QVERIFY(r.errors[0].reason.size() < 120);
        }
    }

    // An empty line 21 clears point 2 of picture 1 and leaves line 22 for the next read.
    void emptyPointLineIsNotFollowedByItsPair() {
        QStringList lines = goldenLines(QStringLiteral("two-with-coordinates.vln"));
        lines[20].clear();
        const ProjectRecord r = readProjectRecord(joined(lines, QStringLiteral("\r")));
        QVERIFY(r.point2Cleared[0]);
        QVERIFY(!r.line[22].taken);
        QCOMPARE(r.line[23].text, QStringLiteral(" 3000"));
        QCOMPARE(r.line[27].text, QStringLiteral(" 1.25"));
    }

    // Running past the end is said once, at the step that reads the missing line; what
    // follows is skipped. An empty line 27 ends the reading without lines 28-34.
    void endOfFile_data() {
        DataTable<QString, int, int, int>("golden", "kept", "errorLine", "step")
            .row("empty file", "two-with-coordinates.vln", 0, 1, 6)
            .row("ends inside picture 1", "two-with-coordinates.vln", 5, 6, 7)
            .row("ends before the stars", "two-with-coordinates.vln", 16, 17, 17)
            .row("ends after line 26", "two-with-coordinates.vln", 26, 27, 26)
            .row("empty line 27, the rest unread", "two-with-coordinates.vln", 27, 0, 0)
            .row("ends inside picture 3", "three-pictures.vln", 30, 31, 27);
    }
    void endOfFile() {
        QFETCH(QString, golden);
        QFETCH(int, kept);
        QFETCH(int, errorLine);
        QFETCH(int, step);
        const ProjectRecord r =
            readProjectRecord(joined(goldenLines(golden).mid(0, kept), QStringLiteral("\r")));
        QCOMPARE(r.errors.size(), errorLine ? 1 : 0);
        if (errorLine) {
            QCOMPARE(r.errors[0].line, errorLine);
            QCOMPARE(r.errors[0].number, 62);
            QCOMPARE(r.errorsOfStep(step).size(), 1);
        }
        for (int line = 1; line <= 34; ++line)
            QCOMPARE(r.line[size_t(line)].taken, line <= kept);
    }

    // After line 34, one fact a line: a registration is written and read back, other keywords
    // and lines that hold no registration are passed over, and the 34 lines read as without them.
    void registrationLinesFollowTheTable_data() {
        // picture 0: no registration
        DataTable<QString, int, bool>("line", "picture", "mirrored")
            .row("picture 2 turned", "Совмещение 2: 0.823 0.3842 -12.5 40.25", 2, false)
            .row("picture 3 mirrored", "Совмещение 3: -0.5 0.866 600 7 зеркально", 3, true)
            .row("picture 4", "Совмещение 4: 1 0 0 0", 0, false)
            .row("a word for a number", "Совмещение 2: 1 0 x 0", 0, false)
            .row("no scale", "Совмещение 2: 0 0 5 5", 0, false)
            .row("infinite", "Совмещение 2: inf 0 0 0", 0, false)
            .row("not the mirror word", "Совмещение 2: 1 0 0 0 mirrored", 0, false)
            .row("a number missing", "Совмещение 2: 1 0 0", 0, false);
    }
    void registrationLinesFollowTheTable() {
        QFETCH(QString, line);
        QFETCH(int, picture);
        QFETCH(bool, mirrored);
        const QStringList lines = goldenLines(QStringLiteral("three-pictures.vln"));
        SharedState s;
        stateFromGolden(s, lines);
        const QStringList extra{QStringLiteral("WCS 1: CRVAL1 = 83.8"), line};
        const ProjectRecord plain = readProjectRecord(projectFileBytes(ProjectText(s, true)));
        const ProjectRecord r = readProjectRecord(projectFileBytes(ProjectText(s, true, extra)));
        for (int i = 1; i <= 34; ++i) {
            QCOMPARE(r.line[size_t(i)].taken, plain.line[size_t(i)].taken);
            QCOMPARE(r.line[size_t(i)].text, plain.line[size_t(i)].text);
        }
        QCOMPARE(r.errors.size(), plain.errors.size() + (picture ? 0 : 1)); // a damaged line is named
        QVERIFY(plain.extensionLines.isEmpty());
        QCOMPARE(r.extensionLines, extra);
        const QList<RegistrationLine> found = readRegistrationLines(r.extensionLines);
        QCOMPARE(found.size(), picture ? 1 : 0);
        if (!picture) return;
        QCOMPARE(found[0].picture, picture);
        QCOMPARE(found[0].toPicture1.mirrored, mirrored);
        QCOMPARE(registrationLine(picture, found[0].toPicture1), line);
    }

    // A damaged line after line 34 is named with its file line and why, with no context; the
    // other lines are read as ever. Each row's line stands for the registration of picture 2, a
    // card of the solved WCS or the source line with the same key, or follows them.
    void damagedLinesAfterTheTableAreNamed_data() {
        DataTable<QString, int, QString>("damaged", "error", "why")
            .row("registration cut short", "Совмещение 2: 0.823 0.3842", 380, "строка обрезана")
            .row("registration NaN", "Совмещение 2: nan 0.3842 -12.5 40.25", 6, "число nan недопустимо")
            .row("registration 1e308", "Совмещение 2: 1e308 0 0 0", 6, "число 1e308 недопустимо")
            .row("registration of scale 1e-9", "Совмещение 2: 1e-9 0 0 0", 380, "масштаб 1e-09 вне 0.01")
            .row("card cut short", "WCS1 CARD CRVAL1  =", 380, "карточка обрезана")
            .row("card NaN", "WCS1 CARD CRVAL1  =                  NAN", 6, "число NAN недопустимо")
            .row("card 1e308", "WCS1 CARD CRVAL2  = 1e308 / [deg]", 6, "число 1e308 недопустимо")
            .row("WCS of scale 1e-9", "WCS1 CARD CDELT1  = 1e-9 / [deg]", 380, "″ на пиксель невозможен")
            .row("series frame with a word for its time",
                 "Кадр 1: взят вчера 50 400 300 120 90 0.2 1 0 0 0 прямо звёзды /tmp/f.fits", 380, "«вчера» не время")
            .row("series frame cut short", "Кадр 1: взят - 50 400 300", 380, "строка обрезана")
            .row("series of four groups", "Серия: 1 4 среднее", 6, "число 4 недопустимо")
            .row("another program's line", "Заметка: облака", 0, "");
    }
    void damagedLinesAfterTheTableAreNamed() {
        QFETCH(QString, damaged);
        QFETCH(int, error);
        QFETCH(QString, why);
        QStringList extension = {registrationLine(2, {0.823, 0.3842, -12.5, 40.25, false})};
        extension +=
            ProjectSkyLines({SkySource::SolvedWcs, {}, tanWcs({84 * Rad, -1.2 * Rad, 2, 0, 1500, 1000})});
        const QString key = damaged.section(QRegularExpression("[:=]"), 0, 0);
        const auto at =
            std::find_if(extension.begin(), extension.end(), [&](auto& l) { return l.startsWith(key); });
        at == extension.end() ? void(extension << damaged) : void(*at = damaged);
        const QStringList lines = goldenLines(QStringLiteral("two-with-coordinates.vln")) + extension;
        const ProjectRecord r = readProjectRecord(joined(lines, QStringLiteral("\r")));
        QCOMPARE(readRegistrationLines(r.extensionLines).size(), damaged.startsWith("Совмещение") ? 0 : 1);
        QCOMPARE(r.errors.size(), error ? 1 : 0);
        if (!error) return;
        // A WCS that reads but cannot be is named at its first card.
        const int line = 35 + int(why.contains("пиксель") ? 2 : extension.indexOf(damaged));
        const QString said =
            error == 6 ? "Переполнение в строке %1: " : "Недопустимое значение в строке %1: ";
        QVERIFY2(r.errors[0].reason.startsWith(said.arg(line)) && r.errors[0].reason.contains(why),
                 qPrintable(r.errors[0].reason));
        QVERIFY(r.errors[0].number == error && projectErrorContext(r.errors[0].step).isEmpty());
    }

    // A series comes back as it was written, every kind of frame with it, and the table and the
    // other lines after it read as before; a reference frame that was not registered is named.
    void seriesLinesComeBackAsWritten() {
        StoredSeries series;
        series.groups = 2;
        series.combine = StackCombine::Median;
        series.motion = SeriesMotion{102.5, 283.7};
        SeriesFrame taken{"/data/a b/f1.fits", QDateTime(QDate(2026, 3, 1), QTime(21, 0, 25, 125), Qt::UTC), 50,
                          QSize(4000, 3000), 312, SimilarityTransform{0.999, 0.0034, -2.25, 1.0 / 3, true}, 200};
        taken.residualPixels = 0.0712;
        SeriesFrame dropped = taken, skyOnly = taken, failed;
        dropped.leftOut = true;
        skyOnly.bySky = true;
        skyOnly.midTime.reset();
        failed.path = "/data/f4.fits";
        failed.reason = "другой участок неба: совпало 2 звезды";
        failed.leftOut = true;
        series.registration.frames = {taken, dropped, skyOnly, failed};
        series.registration.reference = 0;
        const QStringList extension = QStringList{registrationLine(2, {1, 0, 0, 0, false})} + seriesLines(series);
        const ProjectRecord r = readProjectRecord(
            joined(goldenLines(QStringLiteral("two-with-coordinates.vln")) + extension, QStringLiteral("\r")));
        QVERIFY2(r.errors.isEmpty() && readRegistrationLines(r.extensionLines).size() == 1,
                 qPrintable(r.errors.value(0).reason + extension.join('\n')));
        const std::optional<StoredSeries> back = readSeriesLines(r.extensionLines);
        QVERIFY(back && back->groups == 2 && back->combine == StackCombine::Median && !back->motionForAll);
        QCOMPARE(back->motion->directionDegrees, 283.7);
        QCOMPARE(seriesLines(*back), seriesLines(series));
        QCOMPARE(back->registration.frames[0].toReference->ty, 1.0 / 3);
        QCOMPARE(back->registration.frames[3].reason, failed.reason);

        QStringList unregistered = extension;
        unregistered[1] = QStringLiteral("Серия: 4 2 медиана");
        const ProjectRecord bad = readProjectRecord(
            joined(goldenLines(QStringLiteral("two-with-coordinates.vln")) + unregistered, QStringLiteral("\r")));
        QVERIFY(!readSeriesLines(bad.extensionLines));
        QVERIFY2(bad.errors.size() == 1 && bad.errors[0].reason.contains("в строке 36") &&
                     bad.errors[0].reason.contains("опорный кадр 4 не совмещён"),
                 qPrintable(bad.errors.value(0).reason));
    }

    void findsPicturesInTheProjectFolder_data() {
        DataTable<QStringList, QString, QString>("files", "stored", "found")
            .row("exact name, Windows folder", {"a.jpg"}, "C:\\x\\a.jpg", "a.jpg")
            .row("exact name wins", {"M31.JPG", "m31.jpg"}, "/p/m31.jpg", "m31.jpg")
            .row("other case", {"m31.jpg"}, "D:\\M31.JPG", "m31.jpg")
            .row("Cyrillic in other case", {"снимок1.jpg"}, "СНИМОК1.JPG", "снимок1.jpg")
            .row("two in other case: none taken", {"m31.jpg", "M31.jpg"}, "m31.JPG", "m31.JPG")
            .row("missing", {"b.jpg"}, "a.jpg", "a.jpg")
            .row("the folder before the stored path", {"passwd"}, "/etc/passwd", "passwd")
            .row("the stored path, saved apart", {}, "/etc/passwd", "/etc/passwd");
    }
    void findsPicturesInTheProjectFolder() {
        QFETCH(QStringList, files);
        QFETCH(QString, stored);
        QFETCH(QString, found);
        QTemporaryDir dir;
        for (const QString& f : files)
            QVERIFY(writeFile(dir.filePath(f), {}));
        const QString folder = projectFolderOf(dir.filePath(QStringLiteral("p.vln")));
        QCOMPARE(folder, dir.path() + QLatin1Char('/'));
        QCOMPARE(findProjectPicture(folder, stored), found.startsWith('/') ? found : folder + found);
    }

    void addsTheExtensionOnlyWhenNoneWasTyped_data() {
        textFunctionTable()
            .row("none", "/d/Proj", "/d/Proj.vln")
            .row("vln kept in its case", "/D/Mixed/Proj.VLN", "/D/Mixed/Proj.VLN")
            .row("other extension", "/d/p.txt", "/d/p.txt")
            .row("dot in the folder only", "/d.x/p", "/d.x/p.vln");
    }
    void addsTheExtensionOnlyWhenNoneWasTyped() { checkTextFunction(withProjectSuffix); }
};

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
