#include "notepad/frmast00.h"

#include "common/vbfilter.h"
#include "notepad/notepadprint.h"
#include "notepad/notepadrules.h"
#include "notepad/notepadtextbox.h"
#include "shell/clicklabel.h"
#include "shell/guard.h"
#include "shell/prompter.h"
#include "shell/windowkit.h"
#include "view/twips.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <cmath>

namespace vorlan {

namespace {

QPointer<frmAst00> s_notepad;

// Design size of the window in twips: the text box (9495 × 4215) plus the room the resize
// rule leaves around it.
constexpr int DesignWidthTwips = 9495 + 140;
constexpr int DesignHeightTwips = 4215 + 1200;

const QString TextFilter = QStringLiteral("(*.txt)|*.txt|(*.*)|*.*");

void setBackground(QWidget* w, QPalette::ColorRole role) {
    QPalette p = w->palette();
    p.setColor(role, colors::Silver);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QString shownName(const QString& path) { return QDir::toNativeSeparators(path); }

} // namespace

frmAst00::frmAst00(QWidget* parent) : QMainWindow(parent) {
    setUpToolWindow(this, QStringLiteral("frmAst00"), QStringLiteral("Блокнот"));
    buildControls();
    buildMenus();
    connectHandlers();
    Form_Load();
}

void frmAst00::buildControls() {
    auto* client = named(new QWidget(this), QStringLiteral("client"));
    setCentralWidget(client);

    cmdMen = placed(new QPushButton(QStringLiteral("<"), client), "cmdMen", 120, 120, 255, 300);
    cmdBol = placed(new QPushButton(QStringLiteral(">"), client), "cmdBol", 600, 120, 255, 300);

    lblInfo = placed(new QLabel(client), "lblInfo", 960, 120, 8415, 255);
    QFont labelFont(QStringLiteral("Times New Roman"));
    labelFont.setStyleHint(QFont::Serif);
    labelFont.setPointSizeF(12);
    labelFont.setBold(true);
    lblInfo->setFont(labelFont);
    setBackground(lblInfo, QPalette::Window);

    txtInfo = placed(new NotepadTextBox(client), "txtInfo", 0, 480, 9495, 4215);
    QFont textFont(QStringLiteral("Courier New"));
    textFont.setStyleHint(QFont::TypeWriter);
    textFont.setPointSizeF(9.75);
    txtInfo->setFont(textFont);
    txtInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setBackground(txtInfo, QPalette::Base);
}

void frmAst00::buildMenus() {
    QMenuBar* bar = menuBar();
    mnuFile = bar->addMenu(QStringLiteral("Файл"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileOpen = menuItem(this, "mnuFileOpen", QStringLiteral("Открыть"));
    mnuFilePut = menuItem(this, "mnuFilePut", QStringLiteral("Запись как..."));
    Printer61 = menuItem(this, "Printer61", QStringLiteral("Печать на принтер"));
    mnuFile->addAction(mnuFileOpen);
    mnuFile->addAction(mnuFilePut);
    separator61 = mnuFile->addSeparator();
    separator61->setObjectName(QStringLiteral("separator61"));
    mnuFile->addAction(Printer61);

    // The key names in the captions are text only: Ctrl+X, C and V are the text box's own keys.
    KopyRed = bar->addMenu(QStringLiteral("Редактировать"));
    KopyRed->setObjectName(QStringLiteral("KopyRed"));
    KopyDel = menuItem(this, "KopyDel", QStringLiteral("Вырезать      (Ctrl + X)"));
    Kopy = menuItem(this, "Kopy", QStringLiteral("Копировать   (Ctrl + C)"));
    KopyWstawka = menuItem(this, "KopyWstawka", QStringLiteral("Вставить       (Ctrl + V)"));
    KopyRed->addActions({KopyDel, Kopy, KopyWstawka});

    Wichod = menuItem(this, "Wichod", QStringLiteral("Выход"));
    bar->addAction(Wichod);
}

void frmAst00::connectHandlers() {
    const auto onClick = connector(this, &QPushButton::clicked);
    const auto onMenu = connector(this, &QAction::triggered);
    onClick(cmdBol, &frmAst00::cmdBol_Click);
    onClick(cmdMen, &frmAst00::cmdMen_Click);
    connect(KopyRed, &QMenu::aboutToShow, this, guard([this] { KopyRed_Click(); }));
    onMenu(KopyDel, &frmAst00::KopyDel_Click);
    onMenu(Kopy, &frmAst00::Kopy_Click);
    onMenu(KopyWstawka, &frmAst00::KopyWstawka_Click);
    onMenu(mnuFileOpen, &frmAst00::mnuFileOpen_Click);
    onMenu(mnuFilePut, &frmAst00::mnuFilePut_Click);
    onMenu(Printer61, &frmAst00::Printer61_Click);
    onMenu(Wichod, &frmAst00::Wichod_Click);
    txtInfo->viewport()->installEventFilter(this);
}

bool frmAst00::eventFilter(QObject* watched, QEvent* e) {
    if (watched == txtInfo->viewport() && e->type() == QEvent::MouseButtonRelease)
        runGuarded([this] { txtInfo_MouseUp(); });
    return QMainWindow::eventFilter(watched, e);
}

void frmAst00::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    runGuarded([this] { Form_Resize(); });
}

void frmAst00::closeEvent(QCloseEvent* e) {
    QMainWindow::closeEvent(e);
    // The window is deleted only later; a help request before that must get a new one.
    if (e->isAccepted() && s_notepad == this)
        s_notepad = nullptr;
}

// The text box keeps paragraphs, not line-break characters: CR LF, LF and CR all become one
// break when the text is set, and the text comes back with CR LF, the line end of the files.
QString frmAst00::text() const {
    return txtInfo->text();
}

void frmAst00::setText(const QString& text) {
    txtInfo->setText(text);
}

void frmAst00::Form_Load() {
    resize(twipsToPixels(DesignWidthTwips), twipsToPixels(DesignHeightTwips));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize outer = frameGeometry().size();
    move(screen.width() - outer.width(),
         int(std::lround(screen.height() - outer.height() - screen.height() / 20.0)));
}

// The window's size in the rules below is its outer size, frame and title bar included, so that
// the text box reaches down to the window's bottom edge under a window manager.
void frmAst00::Form_Resize() {
    const int widthTwips = toTwips(frameGeometry().width());
    const int heightTwips = toTwips(frameGeometry().height());
    if (widthTwips - 140 > 1)
        txtInfo->resize(twipsToPixels(widthTwips - 140), txtInfo->height());
    if (heightTwips - 1200 > 1)
        txtInfo->resize(txtInfo->width(), twipsToPixels(heightTwips - 1200));
    QFont font = txtInfo->font();
    font.setPointSizeF(NotepadFontSize(float(toTwips(txtInfo->width()))));
    txtInfo->setFont(font);
}

void frmAst00::stepFont(bool larger) {
    QFont font = txtInfo->font();
    const NotepadFont next = NotepadFontStep({float(font.pointSizeF()), font.bold()}, larger);
    font.setPointSizeF(next.size);
    font.setBold(next.bold);
    txtInfo->setFont(font);
}

void frmAst00::cmdBol_Click() { stepFont(true); }

void frmAst00::cmdMen_Click() { stepFont(false); }

void frmAst00::KopyRed_Click() {
    const bool selected = txtInfo->textCursor().hasSelection();
    Kopy->setEnabled(selected);
    KopyDel->setEnabled(selected);
    KopyWstawka->setEnabled(!QGuiApplication::clipboard()->text().isEmpty());
}

void frmAst00::txtInfo_MouseUp() { Kopy->setEnabled(txtInfo->textCursor().hasSelection()); }

void frmAst00::Kopy_Click() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    // The selection's line breaks go out as the platform's own, as the text box's Ctrl+C does.
    clipboard->setText(txtInfo->selectedText());
}

void frmAst00::KopyDel_Click() {
    Kopy_Click();
    txtInfo->textCursor().removeSelectedText();
}

void frmAst00::KopyWstawka_Click() { txtInfo->insertPlainText(QGuiApplication::clipboard()->text()); }

// The file dialogs leave the working folder alone, so there is no folder to restore afterwards.
void frmAst00::mnuFileOpen_Click() {
    Prompter& prompter = Prompter::instance();
    const QString path = prompter.openFileName(this, QStringLiteral("Открыть файл"), qtFileFilter(TextFilter));
    if (path.isEmpty())
        return; // cancelled: the text stays, it may be the user's unsaved work
    if (!QFileInfo(path).isFile()) {
        prompter.message(this, shownName(path) + u'\n' + QStringLiteral("Файла с таким именем нет"),
                         QMessageBox::Critical);
        return;
    }
    const NotepadFileText file = ReadNotepadFile(path);
    if (!file.ok) {
        prompter.message(this, shownName(path) + u'\n' + QStringLiteral("Не удалось прочитать файл: ") + file.error,
                         QMessageBox::Critical);
        return;
    }
    setText(file.text);
}

void frmAst00::mnuFilePut_Click() {
    Prompter& prompter = Prompter::instance();
    const QString content = text();
    QString path;
    for (;;) {
        path = prompter.saveFileName(this, QStringLiteral("Добавить в файл (или создать файл)"),
                                     qtFileFilter(TextFilter));
        if (path.isEmpty())
            return;
        if (!QFileInfo::exists(path))
            break;
        const QString ask = QStringLiteral("Данный текст будет записан в конец уже существующего файла.") +
                            QStringLiteral(" Нужно ли это ?");
        if (prompter.question(this, ask, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) ==
            QMessageBox::Yes)
            break;
    }
    const QString reason = AppendToNotepadFile(path, content);
    if (!reason.isEmpty())
        prompter.message(this, shownName(path) + u'\n' + QStringLiteral("Не удалось записать файл: ") + reason,
                         QMessageBox::Critical);
}

void frmAst00::Printer61_Click() {
    Prompter& prompter = Prompter::instance();
    const QString content = text();
    const qreal size = txtInfo->font().pointSizeF();
    QPrinter printer;
    if (!prompter.printDialog(this, &printer))
        return;
    if (!NotepadTextFitsPage(printer, content, size)) {
        const QString warn = QStringLiteral("Длина строк превышает ширину выбранного формата.\n"
                                            " Отредактируйте текст или уменьшите шрифт.\n"
                                            "          Печатать ?");
        if (prompter.question(this, warn, QMessageBox::Yes | QMessageBox::No, QMessageBox::Critical) !=
            QMessageBox::Yes)
            return;
    }
    if (!PrintNotepadText(printer, content, size))
        prompter.message(this, QStringLiteral("Не удалось начать печать."), QMessageBox::Critical);
}

void frmAst00::Wichod_Click() { close(); }

frmAst00& Notepad() {
    if (!s_notepad)
        s_notepad = new frmAst00;
    return *s_notepad;
}

bool NotepadExists() { return !s_notepad.isNull(); }

} // namespace vorlan
