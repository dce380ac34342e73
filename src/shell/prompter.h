#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QPrinter;
class QWidget;

namespace vorlan {

/// Every message box and common dialog of the program goes through the installed prompter. The
/// default one shows Qt's dialogs (title "Vorlan"); tests install a scripted one that answers
/// from a queue and records what was asked, so windows can be driven headless.
class Prompter {
public:
    virtual ~Prompter() = default;

    /// A message box with an OK button.
    virtual void message(QWidget* parent, const QString& text, QMessageBox::Icon icon);
    /// A question; returns the button pressed.
    virtual QMessageBox::StandardButton question(QWidget* parent, const QString& text,
                                                 QMessageBox::StandardButtons buttons, QMessageBox::Icon icon);
    /// Open-file dialog starting in folder (empty: the current folder); filter in Qt's ";;"
    /// form. Empty when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& folder = QString());
    /// Open-file dialog that takes several files at once; empty when cancelled.
    virtual QStringList openFileNames(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& folder = QString());
    /// Save-file dialog (does not ask about overwriting: callers ask their own question).
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& filter);
    /// Colour dialog opened on initial; an invalid colour when cancelled.
    virtual QColor colour(QWidget* parent, const QColor& initial);
    /// Print dialog; false when cancelled.
    virtual bool printDialog(QWidget* parent, QPrinter* printer);

    /// The prompter in use.
    static Prompter& instance();
    /// Installs p (not owned); nullptr puts the default back.
    static void install(Prompter* p);
};

/// True when path may be written: no file is there, or the user agreed to replace it when asked
/// "Файл уже существует. Заменить?".
bool agreesToReplace(QWidget* parent, const QString& path);

} // namespace vorlan
