#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QCoreApplication;

namespace vorlan {

/// Gives the application object the program's name, organisation (settings go to
/// ~/.config/Vorlan/Vorlan.conf) and version.
void setProgramIdentity();

/// Makes Qt's own texts (the buttons and labels of the standard dialogs and message boxes)
/// Russian, like the program's: Qt's translations as the system installs them. False when they
/// are not installed; Qt then speaks English.
bool installQtTranslations(QCoreApplication& app);

/// What the command line asks of the program.
struct CommandLine {
    /// Set when the command line has been answered in full (--help, --version, a wrong option):
    /// the program ends with this code and opens no window.
    std::optional<int> exitCode;
    /// The files to open, as given (relative names not yet resolved).
    QStringList files;
    /// --series: the files are the frames of a series, to be registered and stacked.
    bool series = false;
};

/// Answers --help and --version (to standard output, code 0) before the QApplication exists,
/// under a QCoreApplication of its own, so that they need no display. Nothing when the command
/// line asks for more, or holds options only the QApplication knows (-platform, -style).
std::optional<int> answerWithoutDisplay(int argc, char* argv[]);

/// Reads the arguments of the running application (argv[0] first, Qt's own options already
/// taken out): the files to open; or --help and --version printed (code 0), or a wrong option
/// reported with the help on standard error (code 1).
CommandLine readCommandLine(const QStringList& arguments);

} // namespace vorlan
