#include "common/textcodec.h"
#include "common/vbfilter.h"
#include "notepad/frmast00.h"
#include "notepad/helpcontent.h"
#include "notepad/helptexts.h"
#include "pdftext.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/ordinaryuser.h"
#include "support/scriptedprompter.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

using namespace vorlan;
using vorlan::test::readFile;
using vorlan::test::ScriptedPrompter;
using vorlan::test::writeFile;

namespace {

/// Answers the print dialog by sending the printer to a PDF file (or by cancelling).
class PdfPrompter : public ScriptedPrompter {
public:
    QString pdfPath;
    bool printDialog(QWidget*, QPrinter* printer) override {
        if (pdfPath.isEmpty())
            return false;
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdfPath);
        return true;
    }
};

frmAst00& shownNotepad() {
    frmAst00& n = Notepad();
    n.show();
    return n;
}

void select(QPlainTextEdit* edit, int from, int to) {
    QTextCursor c = edit->textCursor();
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    edit->setTextCursor(c);
}

const QString TextFilter = qtFileFilter(QStringLiteral("(*.txt)|*.txt|(*.*)|*.*"));

} // namespace

class TestNotepad : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        if (NotepadExists())
            Notepad().close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QGuiApplication::clipboard()->clear();
    }

    void menusAndPlacement() {
        frmAst00& n = Notepad();
        QCOMPARE(n.windowTitle(), QStringLiteral("Блокнот"));
        auto captions = [](const QList<QAction*>& actions) {
            QStringList out;
            for (QAction* a : actions)
                out << (a->isSeparator() ? a->objectName() : a->objectName() + u'=' + a->text());
            return out;
        };
        QCOMPARE(captions(n.menuBar()->actions()),
                 QStringList({"=Файл", "=Редактировать", "Wichod=Выход"}));
        QCOMPARE(captions(n.mnuFile->actions()),
                 QStringList({"mnuFileOpen=Открыть", "mnuFilePut=Запись как...", "separator61",
                              "Printer61=Печать на принтер"}));
        QCOMPARE(captions(n.KopyRed->actions()),
                 QStringList({"KopyDel=Вырезать      (Ctrl + X)", "Kopy=Копировать   (Ctrl + C)",
                              "KopyWstawka=Вставить       (Ctrl + V)"}));
        for (QAction* a : n.KopyRed->actions()) // the text box's own keys do that work
            QVERIFY(a->shortcut().isEmpty());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(n.x() + n.width(), screen.width());
        QCOMPARE(n.y(), qRound(screen.height() - n.height() - screen.height() / 20.0));
    }

    void openFile_data() {
        test::DataTable<QByteArray, QString>("bytes", "text")
            .row("three lines", QByteArray("first\r\nsecond\r\nthird\r\n"),
                 QStringLiteral("first\r\nsecond\r\nthird\r\n"))
            .row("Windows-1251", encodeText(QStringLiteral("Звезда\r\nКомета"), TextEncoding::Windows1251),
                 QStringLiteral("Звезда\r\nКомета\r\n"))
            .row("UTF-8", QStringLiteral("Звезда\nКомета ✓\n").toUtf8(),
                 QStringLiteral("Звезда\r\nКомета ✓\r\n"));
    }
    void openFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        prompter.openNames << writeFile(dir, QStringLiteral("a.txt"), bytes);
        frmAst00& n = shownNotepad();
        n.setText(QStringLiteral("old"));
        n.mnuFileOpen->trigger();
        QCOMPARE(prompter.dialogTitles, QStringList{QStringLiteral("Открыть файл")});
        QCOMPARE(prompter.dialogFilters, QStringList{TextFilter});
        QCOMPARE(n.text(), text);
        QCOMPARE(n.txtInfo->document()->blockCount(), text.count(QStringLiteral("\r\n")) + 1);
        QVERIFY(prompter.messages.isEmpty());
    }

    // A file of one endless line opens whole, and no paragraph of the text box is longer than
    // a segment, so typing stays as quick as in short lines.
    void longLinesOpenWhole_data() {
        test::DataTable<QByteArray> table("bytes");
        auto run = [](qsizetype n) {
            QByteArray b(n, 'x');
            for (qsizetype i = 0; i < n; ++i)
                b[i] = char('a' + i % 26);
            return b;
        };
        table.row("1 MB without a break", run(1 << 20));
        table.row("4 MB without a break", run(4 << 20));
        table.row("long line among short ones", "start\r\n" + run(2500) + "\rend\n\r\n");
    }
    void longLinesOpenWhole() {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        prompter.openNames << writeFile(dir, QStringLiteral("long.txt"), bytes);
        frmAst00& n = shownNotepad();
        n.mnuFileOpen->trigger();
        QVERIFY(prompter.messages.isEmpty());
        QString expected = QString::fromLatin1(bytes).replace("\r\n", "\n").replace('\r', '\n');
        expected.replace('\n', "\r\n");
        if (!expected.endsWith("\r\n")) expected += "\r\n";
        QCOMPARE(n.text(), expected);
        int longest = 0;
        for (QTextBlock b = n.txtInfo->document()->begin(); b.isValid(); b = b.next())
            longest = std::max(longest, b.length() - 1);
        QCOMPARE(longest, std::min<int>(NotepadTextBox::SegmentLength, int(bytes.size())));
        // The first line is drawn.
        const QImage shown = n.txtInfo->viewport()->grab(QRect(0, 0, 200, 16)).toImage();
        bool drawn = false;
        for (int y = 0; y < shown.height() && !drawn; ++y)
            for (int x = 0; x < shown.width() && !drawn; ++x)
                drawn = shown.pixelColor(x, y) != n.txtInfo->palette().color(QPalette::Base);
        QVERIFY(drawn);
    }

    // Editing a 2500-character line held as three paragraphs (0-999, 1000-1999, 2000-2499 of the
    // line; the text box positions count one more at every soft break): the saved text is what
    // the same keys would make of the unbroken line.
    void editingAcrossSoftBreaks_data() {
        // anchor: text box positions
        // keys: typed text; "⏎" Enter, "⌫" Backspace, "⌦" Delete, "↶" undo, "⎘" paste
        // line: the long line afterwards, from the original one L
        test::DataTable<int, int, QString, QString, QString>("anchor", "caret", "keys", "clipboard", "line")
            .row("typing inside", 1501, 1501, "XY", "", "L0-1500 XY L1500-")
            .row("Enter at the end of a paragraph", 1000, 1000, "⏎", "", "L0-1000 ⏎ L1000-")
            .row("Enter at the start of the next", 1001, 1001, "⏎", "", "L0-1000 ⏎ L1000-")
            .row("Backspace over a soft break", 1001, 1001, "⌫", "", "L0-999 L1000-")
            .row("Delete over a soft break", 1000, 1000, "⌦", "", "L0-1000 L1001-")
            .row("pasting two lines", 501, 501, "⎘", "P\nQ", "L0-501 P⏎Q L501-")
            .row("typing over a selection across breaks", 990, 2012, "Z", "", "L0-990 Z L2010-")
            .row("Enter, then undo", 1501, 1501, "⏎↶", "", "L0-")
            .row("Enter twice in one paragraph", 1200, 1200, "⏎⏎", "", "L0-1199 ⏎⏎ L1199-");
    }
    void editingAcrossSoftBreaks() {
        QFETCH(int, anchor);
        QFETCH(int, caret);
        QFETCH(QString, keys);
        QFETCH(QString, clipboard);
        QFETCH(QString, line);
        QString original;
        for (int i = 0; i < 2500; ++i)
            original += QChar(u'a' + i % 26);
        frmAst00& n = shownNotepad();
        n.setText(original + "\r\nshort");
        QCOMPARE(n.txtInfo->document()->blockCount(), 4);
        n.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&n));
        QTest::mouseClick(n.txtInfo->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
        QVERIFY(n.txtInfo->hasFocus());
        select(n.txtInfo, anchor, caret);
        QGuiApplication::clipboard()->setText(clipboard);
        for (QChar k : keys) {
            if (k == u'⏎')
                QTest::keyClick(n.txtInfo, Qt::Key_Return);
            else if (k == u'⌫')
                QTest::keyClick(n.txtInfo, Qt::Key_Backspace);
            else if (k == u'⌦')
                QTest::keyClick(n.txtInfo, Qt::Key_Delete);
            else if (k == u'↶')
                QTest::keyClick(n.txtInfo, Qt::Key_Z, Qt::ControlModifier);
            else if (k == u'⎘')
                QTest::keyClick(n.txtInfo, Qt::Key_V, Qt::ControlModifier);
            else
                QTest::keyClicks(n.txtInfo, QString(k));
        }
        // "L<from>-<to>" is a piece of the original line, "⏎" a line break, others typed text.
        QString expected;
        for (const QString& part : line.split(' ')) {
            if (part.startsWith('L')) {
                const QStringList ends = part.mid(1).split('-');
                const int from = ends[0].toInt();
                const int to = ends[1].isEmpty() ? 2500 : ends[1].toInt();
                expected += original.mid(from, to - from);
            } else {
                expected += QString(part).replace(u'⏎', "\r\n");
            }
        }
        const QString got = n.text();
        QCOMPARE(got.size(), expected.size() + 7);
        QCOMPARE(got, expected + "\r\nshort");
        // Copying across the breaks gives the unbroken piece of the line.
        select(n.txtInfo, 0, 0);
        QTest::keyClick(n.txtInfo, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(n.txtInfo, Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(n.txtInfo, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(expected + "\r\nshort").replace("\r\n", "\n"));
        n.Kopy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(expected + "\r\nshort").replace("\r\n", "\n"));
    }

    void openCancelledOrMissingKeepsText() {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        const QString missing = dir.filePath(QStringLiteral("none.txt"));
        prompter.openNames << QString() << missing;
        frmAst00& n = shownNotepad();
        n.setText(QStringLiteral("мои заметки\r\n"));
        n.mnuFileOpen->trigger();
        QCOMPARE(n.text(), QStringLiteral("мои заметки\r\n"));
        QVERIFY(prompter.messages.isEmpty());
        n.mnuFileOpen->trigger();
        QCOMPARE(n.text(), QStringLiteral("мои заметки\r\n"));
        QCOMPARE(prompter.messages,
                 QStringList{QDir::toNativeSeparators(missing) + QStringLiteral("\nФайла с таким именем нет")});
        QCOMPARE(prompter.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    }

    void fontRuleOnResize_data() {
        // windowWidth: outer, in pixels
        test::DataTable<int, int, double>("windowWidth", "txtWidth", "size")
            .row("design width", 642, 633, 9.75)
            .row("6000 twips", 409, 400, 7.75)
            .row("8010 twips", 543, 534, 9.75)
            .row("7005 twips", 476, 467, 8.755);
    }
    void fontRuleOnResize() {
        QFETCH(int, windowWidth);
        QFETCH(int, txtWidth);
        QFETCH(double, size);
        frmAst00& n = shownNotepad();
        n.cmdBol->click(); // a size chosen with the buttons gives way to the rule
        // The rule works on the outer size, frame included.
        const QSize frame = n.frameGeometry().size() - n.size();
        n.resize(windowWidth - frame.width(), 400 - frame.height());
        QTRY_COMPARE(n.txtInfo->width(), txtWidth);
        QCOMPARE(n.txtInfo->height(), 400 - 80);
        QVERIFY(qAbs(n.txtInfo->font().pointSizeF() - size) < 1e-4);
    }

    void fontButtons() {
        frmAst00& n = shownNotepad();
        QTRY_COMPARE(n.txtInfo->font().pointSizeF(), 9.75);
        const QList<std::tuple<QPushButton*, double, bool>> steps{
            {n.cmdBol, 12, false}, {n.cmdBol, 13.5, true}, {n.cmdBol, 18, true},
            {n.cmdMen, 13.5, true}, {n.cmdMen, 12, false}, {n.cmdMen, 9.75, false}};
        for (const auto& [button, size, bold] : steps) {
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(n.txtInfo->font().pointSizeF(), size);
            QCOMPARE(n.txtInfo->font().bold(), bold);
        }
    }

    void editMenuEnabling() {
        frmAst00& n = shownNotepad();
        n.setText(QStringLiteral("альфа бета"));
        QClipboard* clipboard = QGuiApplication::clipboard();

        clipboard->setText(QStringLiteral("x"));
        select(n.txtInfo, 0, 5);
        emit n.KopyRed->aboutToShow();
        QVERIFY(n.Kopy->isEnabled() && n.KopyDel->isEnabled() && n.KopyWstawka->isEnabled());

        clipboard->clear();
        select(n.txtInfo, 3, 3);
        emit n.KopyRed->aboutToShow();
        QVERIFY(!n.Kopy->isEnabled() && !n.KopyDel->isEnabled() && !n.KopyWstawka->isEnabled());

        select(n.txtInfo, 0, 5);
        QTest::mouseRelease(n.txtInfo->viewport(), Qt::LeftButton, {}, QPoint(200, 5));
        QVERIFY(n.Kopy->isEnabled());
        QVERIFY(!n.KopyDel->isEnabled()); // only the menu's opening looks at cut
        select(n.txtInfo, 2, 2);
        QTest::mouseRelease(n.txtInfo->viewport(), Qt::LeftButton, {}, QPoint(200, 5));
        QVERIFY(!n.Kopy->isEnabled());
    }

    void clipboardCommands() {
        frmAst00& n = shownNotepad();
        QClipboard* clipboard = QGuiApplication::clipboard();
        n.setText(QStringLiteral("один\r\nдва\r\nтри"));

        clipboard->setText(QStringLiteral("прежнее"));
        select(n.txtInfo, 2, 2);
        n.Kopy->trigger();
        QCOMPARE(clipboard->text(), QString());

        select(n.txtInfo, 5, 8); // "два"
        n.KopyDel->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("два"));
        QCOMPARE(n.text(), QStringLiteral("один\r\n\r\nтри"));

        clipboard->setText(QStringLiteral("четыре\nпять"));
        select(n.txtInfo, 6, 9); // "три" is replaced
        n.KopyWstawka->trigger();
        QCOMPARE(n.text(), QStringLiteral("один\r\n\r\nчетыре\r\nпять"));
    }

    void appendAsksForExistingFile() {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        const QByteArray before = QStringLiteral("старое\r\n").toUtf8();
        const QString existing = writeFile(dir, QStringLiteral("old.txt"), before);
        const QString fresh = dir.filePath(QStringLiteral("new.txt"));
        frmAst00& n = shownNotepad();
        n.setText(QStringLiteral("заметка\r\nвторая"));

        // No: the dialog comes again; a new name is then written without a question.
        prompter.saveNames << existing << fresh;
        prompter.answers << QMessageBox::No;
        n.mnuFilePut->trigger();
        QCOMPARE(prompter.questions, QStringList{QStringLiteral(
                                         "Данный текст будет записан в конец уже существующего файла. Нужно ли это ?")});
        QCOMPARE(prompter.icons, QList<QMessageBox::Icon>{QMessageBox::Question});
        QCOMPARE(prompter.dialogTitles, QStringList(2, QStringLiteral("Добавить в файл (или создать файл)")));
        QCOMPARE(prompter.dialogFilters.first(), TextFilter);
        QCOMPARE(readFile(existing), before);
        QCOMPARE(readFile(fresh),
                 encodeText(QStringLiteral("заметка\r\nвторая\r\n"), TextEncoding::Windows1251));

        // Yes: appended in the file's own encoding.
        prompter.saveNames << existing;
        prompter.answers << QMessageBox::Yes;
        n.mnuFilePut->trigger();
        QCOMPARE(prompter.questions.size(), 2);
        QCOMPARE(readFile(existing), before + QStringLiteral("заметка\r\nвторая\r\n").toUtf8());
        QVERIFY(prompter.messages.isEmpty());
    }

    void appendFailureIsReported() {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        const QString nowhere = dir.filePath(QStringLiteral("missing/notes.txt"));
        prompter.saveNames << nowhere;
        frmAst00& n = shownNotepad();
        n.setText(QStringLiteral("текст"));
        n.mnuFilePut->trigger();
        QCOMPARE(prompter.messages.size(), 1);
        QVERIFY(prompter.messages[0].startsWith(QDir::toNativeSeparators(nowhere) + u'\n'));
        QVERIFY(prompter.messages[0].size() > nowhere.size() + 30); // with a reason
        QCOMPARE(prompter.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
        QVERIFY(!QFile::exists(nowhere));

        n.mnuFilePut->trigger(); // cancelled dialog: silent
        QCOMPARE(prompter.messages.size(), 1);
    }

    // No temporary file can be made beside the file (a read-only folder, a name at the length
    // limit): the text is appended in place; what still cannot be written is reported.
    void appendWhereNoTemporaryFileFits_data() {
        // reason empty: appended
        test::DataTable<QString, bool, bool, bool, QString>("name", "readOnlyFolder", "existingFile",
                                                            "readOnlyFile", "reason")
            .row("writable file in a read-only folder", "notes.txt", true, true, false, "")
            .row("name at the length limit", QString(250, 'n') + ".txt", false, true, false, "")
            .row("read-only file in a read-only folder", "notes.txt", true, true, true, "нет прав на запись")
            .row("new file in a read-only folder", "notes.txt", true, false, false, "нет прав на запись");
    }
    void appendWhereNoTemporaryFileFits() {
        QFETCH(QString, name);
        QFETCH(bool, readOnlyFolder);
        QFETCH(bool, existingFile);
        QFETCH(bool, readOnlyFile);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        vorlan::test::OrdinaryUser::openFolder(dir.path());
        const QByteArray before("old line\r\n");
        const QString path = dir.filePath(name);
        if (existingFile) {
            writeFile(dir, name, before);
            QFile::setPermissions(path, readOnlyFile ? QFile::ReadOwner | QFile::ReadOther
                                                     : QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ReadOther | QFile::WriteOther);
        }
        if (readOnlyFolder)
            QFile::setPermissions(dir.path(),
                                  QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        ScriptedPrompter prompter;
        prompter.saveNames << path;
        prompter.answers << QMessageBox::Yes;
        frmAst00& n = shownNotepad();
        n.setText(QStringLiteral("new line"));
        {
            vorlan::test::OrdinaryUser user;
            n.mnuFilePut->trigger();
        }
        vorlan::test::OrdinaryUser::openFolder(dir.path());
        if (reason.isEmpty()) {
            QVERIFY2(prompter.messages.isEmpty(), qPrintable(prompter.messages.join('\n')));
            QCOMPARE(readFile(path), before + "new line\r\n");
        } else {
            QCOMPARE(prompter.messages.size(), 1);
            QCOMPARE(prompter.messages[0],
                     QDir::toNativeSeparators(path) + "\nНе удалось записать файл: " + reason);
            QCOMPARE(readFile(path), existingFile ? before : QByteArray());
            QCOMPARE(QFile::exists(path), existingFile);
        }
        // Nothing was left behind beside the file.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), existingFile ? 1 : 0);
    }

    void mainHelpTwiceOneWindow() {
        ShowMainHelp();
        frmAst00* first = &Notepad();
        ShowMainHelp();
        QCOMPARE(&Notepad(), first);
        QVERIFY(first->isVisible());
        int notepads = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            notepads += qobject_cast<frmAst00*>(w) != nullptr;
        QCOMPARE(notepads, 1);
        QCOMPARE(first->text(), MainHelpText());
        QCOMPARE(first->text().count(QStringLiteral("ПРОГРАММА  Vorlan")), 1);
        QVERIFY(first->text().endsWith(QStringLiteral("\r\n   Совмещённые проекты можно сохранять в формате *.vln")));
    }

    void photometryHelpReplacesEdits() {
        ShowMainHelp();
        frmAst00& n = Notepad();
        n.txtInfo->moveCursor(QTextCursor::End);
        QTest::keyClicks(n.txtInfo, QStringLiteral(" edited"));
        QVERIFY(n.text().endsWith(QStringLiteral("*.vln edited")));
        ShowPhotometryHelp();
        QCOMPARE(&Notepad(), &n);
        QCOMPARE(n.text(), PhotometryHelpText());
    }

    void closingDestroysWindowAndText() {
        ShowMainHelp();
        QPointer<frmAst00> first = &Notepad();
        first->Wichod->trigger();
        QVERIFY(!NotepadExists());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        ShowPhotometryHelp();
        QCOMPARE(Notepad().text(), PhotometryHelpText());
    }

    void printToPdf() {
        QTemporaryDir dir;
        PdfPrompter prompter;
        frmAst00& n = shownNotepad();
        n.setText(QStringLiteral("Наблюдение 12\r\nSecond line\r\n"));

        n.Printer61->trigger(); // cancelled
        QVERIFY(prompter.questions.isEmpty());

        prompter.pdfPath = dir.filePath(QStringLiteral("notes.pdf"));
        n.Printer61->trigger();
        QVERIFY(prompter.questions.isEmpty());
        QCOMPARE(test::pdfTextLines(prompter.pdfPath),
                 QStringList({QStringLiteral("Наблюдение 12"), QStringLiteral("Second line")})); // a blank line draws nothing
    }

    void printWarnsAboutWideLines() {
        QTemporaryDir dir;
        PdfPrompter prompter;
        prompter.pdfPath = dir.filePath(QStringLiteral("wide.pdf"));
        frmAst00& n = shownNotepad();
        const QString wide(200, u'Ш');
        n.setText(wide);

        prompter.answers << QMessageBox::No;
        n.Printer61->trigger();
        QCOMPARE(prompter.questions, QStringList{QStringLiteral("Длина строк превышает ширину выбранного формата.\n"
                                                                " Отредактируйте текст или уменьшите шрифт.\n"
                                                                "          Печатать ?")});
        QCOMPARE(prompter.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
        QVERIFY(!QFile::exists(prompter.pdfPath));

        prompter.answers << QMessageBox::Yes;
        n.Printer61->trigger();
        const QStringList lines = test::pdfTextLines(prompter.pdfPath);
        QCOMPARE(lines.size(), 1);
        QVERIFY(wide.startsWith(lines[0]) && !lines[0].isEmpty()); // cut by the page edge, no more
    }
};

QTEST_MAIN(TestNotepad)
#include "tst_notepad.moc"
