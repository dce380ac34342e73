#include "cli/subcommand.h"
#include "shell/commandline.h"
#include "shell/givenfiles.h"
#include "shell/start.h"

#include <QApplication>
#include <QDir>

int main(int argc, char* argv[]) {
    // `vorlan find|solve|stack|known ...` runs without a window, and without a display.
    if (vorlan::isSubcommand(argc, argv)) return vorlan::runSubcommand(argc, argv);
    // `vorlan --help` must work without a display: answered before the QApplication exists.
    if (const std::optional<int> answered = vorlan::answerWithoutDisplay(argc, argv)) return *answered;

    QApplication app(argc, argv);
    vorlan::setProgramIdentity();
    vorlan::installQtTranslations(app);
    const vorlan::CommandLine line = vorlan::readCommandLine(QApplication::arguments());
    if (line.exitCode) return *line.exitCode;
    // Ties the windows to the installed desktop entry (its icon and name).
    QGuiApplication::setDesktopFileName(QStringLiteral("vorlan"));
    // Named files are taken from where the program was started, before it moves to its own folder.
    vorlan::Main(vorlan::givenFilePaths(line.files, QDir::currentPath()), line.series);
    return app.exec();
}
