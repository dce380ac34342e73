#include "shell/givenfiles.h"
#include "shell/start.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlan"));
    // Settings remembered between runs go to ~/.config/Vorlan/Vorlan.conf.
    QApplication::setOrganizationName(QStringLiteral("Vorlan"));
    QApplication::setApplicationVersion(QStringLiteral(VORLAN_VERSION));
    // Ties the windows to the installed desktop entry (its icon and name).
    QGuiApplication::setDesktopFileName(QStringLiteral("vorlan"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Поочерёдный показ (блинк) снимков одного участка неба."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("файлы"),
        QStringLiteral("до трёх снимков (в окна 1, 2, 3 по порядку) или один проект *.vln"),
        QStringLiteral("[ФАЙЛ...]"));
    parser.process(app);
    // Named files are taken from where the program was started, before it moves to its own folder.
    vorlan::Main(vorlan::givenFilePaths(parser.positionalArguments(), QDir::currentPath()));
    return app.exec();
}
