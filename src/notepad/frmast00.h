#pragma once

#include "notepad/notepadtextbox.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace vorlan {

/// The notepad: one text box with font-size buttons, a file menu (open, append to a file,
/// print) and an edit menu (cut, copy, paste through the system clipboard). It shows the help
/// texts and is destroyed with its text when closed.
class frmAst00 : public QMainWindow {
    Q_OBJECT
public:
    explicit frmAst00(QWidget* parent = nullptr);

    QPushButton* cmdMen;
    QPushButton* cmdBol;
    QLabel* lblInfo;
    NotepadTextBox* txtInfo;
    QMenu* mnuFile;
    QAction* mnuFileOpen;
    QAction* mnuFilePut;
    QAction* separator61;
    QAction* Printer61;
    QMenu* KopyRed;
    QAction* KopyDel;
    QAction* Kopy;
    QAction* KopyWstawka;
    QAction* Wichod;

    /// The text of txtInfo with every line break as CR LF, as the text files hold it.
    QString text() const;
    /// Replaces the text of txtInfo; line breaks may be CR LF, LF or CR.
    void setText(const QString& text);

    void Form_Load();
    void Form_Resize();
    void cmdBol_Click();
    void cmdMen_Click();
    void KopyRed_Click();
    void txtInfo_MouseUp();
    void Kopy_Click();
    void KopyDel_Click();
    void KopyWstawka_Click();
    void mnuFileOpen_Click();
    void mnuFilePut_Click();
    void Printer61_Click();
    void Wichod_Click();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildControls();
    void buildMenus();
    void connectHandlers();
    void stepFont(bool larger);
};

/// The notepad, created (and placed) on first use and again after it was closed.
frmAst00& Notepad();
/// True while the notepad exists.
bool NotepadExists();

} // namespace vorlan
