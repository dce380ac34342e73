#include "common/textcodec.h"
#include "notepad/notepadrules.h"
#include "support/datatable.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vorlan;
using vorlan::test::readFile;
using vorlan::test::writeFile;

namespace {

QByteArray cp1251(const QString& s) { return encodeText(s, TextEncoding::Windows1251); }

} // namespace

class TestNotepadRules : public QObject {
    Q_OBJECT
private slots:
    void fontSize_data() {
        test::DataTable<float, float>("widthTwips", "size")
            .row("wide", 9495.0f, 9.75f)
            .row("at 8000", 8000.0f, 9.75f)
            .row("at 6000", 6000.0f, 7.75f)
            .row("at 7250", 7250.0f, 9.0f)
            .row("zero width", 0.0f, 1.75f)
            .row("never below 1 point", -5000.0f, 1.0f);
    }
    void fontSize() {
        QFETCH(float, widthTwips);
        QFETCH(float, size);
        QCOMPARE(NotepadFontSize(widthTwips), size);
    }

    void fontStep_data() {
        QTest::addColumn<float>("size");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("larger");
        QTest::addColumn<float>("newSize");
        QTest::addColumn<bool>("newBold");
        const float table[][3] = {{6, 8.25f, 6},     {8.25f, 9.75f, 8.25f}, {9.75f, 12, 8.25f}, {12, 13.5f, 9.75f},
                                  {13.5f, 18, 12}, {18, 24, 13.5f},        {24, 24, 18}};
        for (const auto& row : table) {
            QTest::addRow("%g >", double(row[0])) << row[0] << false << true << row[1] << (row[1] > 13);
            QTest::addRow("%g <", double(row[0])) << row[0] << true << false << row[2] << !(row[2] < 13);
        }
        QTest::newRow("< keeps bold at 13.5") << 18.0f << true << false << 13.5f << true;
        QTest::newRow("< at 13.5 ends bold") << 13.5f << true << false << 12.0f << false;
        QTest::newRow("> below 13 keeps plain") << 8.25f << false << true << 9.75f << false;
        QTest::newRow("> below 13 keeps bold") << 8.25f << true << true << 9.75f << true;
        QTest::newRow("size off the table >") << 7.75f << false << true << 7.75f << false;
        QTest::newRow("size off the table <") << 7.75f << true << false << 7.75f << false;
    }
    void fontStep() {
        QFETCH(float, size);
        QFETCH(bool, bold);
        QFETCH(bool, larger);
        QFETCH(float, newSize);
        QFETCH(bool, newBold);
        const NotepadFont f = NotepadFontStep({size, bold}, larger);
        QCOMPARE(f.size, newSize);
        QCOMPARE(f.bold, newBold);
    }

    void textFromBytes_data() {
        test::DataTable<QByteArray, QString>("bytes", "text")
            .row("three lines CR LF", QByteArray("one\r\ntwo\r\nthree\r\n"), "one\r\ntwo\r\nthree\r\n")
            .row("LF only", QByteArray("one\ntwo\n"), "one\r\ntwo\r\n")
            .row("CR only", QByteArray("one\rtwo"), "one\r\ntwo\r\n")
            .row("last line unended", QByteArray("one\r\ntwo"), "one\r\ntwo\r\n")
            .row("blank lines kept", QByteArray("\r\n\r\na\r\n\r\n"), "\r\n\r\na\r\n\r\n")
            .row("empty", QByteArray(), QString())
            .row("Windows-1251", cp1251(QStringLiteral("Привет, мир\r\nЁлка\r\n")),
                 QStringLiteral("Привет, мир\r\nЁлка\r\n"))
            .row("UTF-8", QStringLiteral("Привет, мир\r\nЁлка").toUtf8(),
                 QStringLiteral("Привет, мир\r\nЁлка\r\n"))
            .row("begins with the marker", (TooLargeMarker + QStringLiteral("rest\r\nmore\r\n")).toUtf8(),
                 TooLargeMarker + QStringLiteral("rest\r\nmore\r\n"))
            .row("marker later is text", (QStringLiteral("a\r\n") + TooLargeMarker).toUtf8(),
                 QStringLiteral("a\r\n") + TooLargeMarker);
    }
    void textFromBytes() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(NotepadTextFromBytes(bytes, false), text);
    }

    void tooLargeFileIsCut() {
        // One ASCII byte first puts the end of the 256 KiB head inside a two-byte letter.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray line = QStringLiteral("яяяяяяяяяяяяяяяяяяяяяяяяяяяяяя\r\n").toUtf8();
        f.write("x");
        while (f.size() <= NotepadFileLimit)
            f.write(line.repeated(1024));
        f.close();

        const NotepadFileText read = ReadNotepadFile(path);
        QVERIFY(read.ok);
        QVERIFY(read.text.startsWith(TooLargeMarker));
        QCOMPARE(read.text.size(), TooLargeMarker.size() + 32000);
        QVERIFY(read.text.mid(TooLargeMarker.size()).startsWith(QStringLiteral("xяяяя")));
        QVERIFY(!read.text.contains(QChar::ReplacementCharacter));
    }

    void fileAtTheLimitIsWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("limit.txt"));
        QVERIFY(writeFile(path, QByteArray(NotepadFileLimit - 2, 'a') + "\r\n"));
        const NotepadFileText read = ReadNotepadFile(path);
        QVERIFY(read.ok);
        QCOMPARE(read.text.size(), NotepadFileLimit);
        QVERIFY(!read.text.startsWith(TooLargeMarker));
    }

    void unreadableFileGivesReason() {
        QTemporaryDir dir;
        const NotepadFileText read = ReadNotepadFile(dir.path()); // a folder
        QVERIFY(!read.ok);
        QVERIFY(!read.error.isEmpty());
    }

    void appendedBytes_data() {
        test::DataTable<QByteArray, QString, QByteArray> table("existing", "text", "result");
        const QString ru = QStringLiteral("Привет");
        const QString cjk = QStringLiteral("日本");
        table.row("new file, Cyrillic", QByteArray(), ru, cp1251(ru + "\r\n"));
        table.row("new file, beyond 1251", QByteArray(), cjk, (cjk + "\r\n").toUtf8());
        table.row("ASCII file", QByteArray("abc\r\n"), ru, "abc\r\n" + cp1251(ru + "\r\n"));
        table.row("UTF-8 file", QStringLiteral("Ёж\r\n").toUtf8(), ru,
                  QStringLiteral("Ёж\r\nПривет\r\n").toUtf8());
        table.row("1251 file", cp1251(QStringLiteral("Ёж\r\n")), ru,
                  cp1251(QStringLiteral("Ёж\r\nПривет\r\n")));
        table.row("1251 file, text beyond 1251", cp1251(QStringLiteral("Ёж\r\n")), cjk,
                  QStringLiteral("Ёж\r\n日本\r\n").toUtf8());
    }
    void appendedBytes() {
        QFETCH(QByteArray, existing);
        QFETCH(QString, text);
        QFETCH(QByteArray, result);
        QCOMPARE(AppendedFileBytes(existing, text), result);
    }

    void appendWritesAndReportsFailure() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notes.txt"));
        QCOMPARE(AppendToNotepadFile(path, QStringLiteral("один")), QString());
        QCOMPARE(AppendToNotepadFile(path, QStringLiteral("два")), QString());
        QCOMPARE(readFile(path), cp1251(QStringLiteral("один\r\nдва\r\n")));

        const QString nowhere = dir.filePath(QStringLiteral("missing/notes.txt"));
        QVERIFY(!AppendToNotepadFile(nowhere, QStringLiteral("x")).isEmpty());
        QVERIFY(!QFile::exists(nowhere));

        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.txt")));
        const QString folder = dir.filePath(QStringLiteral("folder.txt"));
        QVERIFY(!AppendToNotepadFile(folder, QStringLiteral("x")).isEmpty());
        QVERIFY(QFileInfo(folder).isDir());
    }
};

QTEST_GUILESS_MAIN(TestNotepadRules)
#include "tst_notepadrules.moc"
