#include "shell/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

namespace vorlan {

namespace {

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Поочерёдный показ (блинк) снимков одного участка неба.\n"
                       "Без окна: vorlan find | solve | stack | known ... (подробнее: vorlan find --help, man vorlan)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        QStringLiteral("series"), QStringLiteral("файлы - кадры одной серии: совместить их и сложить в стопки")));
    parser.addPositionalArgument(
        QStringLiteral("файлы"),
        QStringLiteral("до трёх снимков (в окна 1, 2, 3 по порядку), один проект *.vln или кадры серии"),
        QStringLiteral("[ФАЙЛ...]"));
}

/// Whether the help is asked for (--help-all too: the program has no options of Qt's to add).
bool helpAsked(const QCommandLineParser& parser) {
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
}

/// Whether the command line is answered by printing, without a window.
bool answers(const QCommandLineParser& parser) {
    return helpAsked(parser) || parser.isSet(QStringLiteral("version"));
}

void print(FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

} // namespace

void setProgramIdentity() {
    QCoreApplication::setApplicationName(QStringLiteral("Vorlan"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vorlan"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORLAN_VERSION));
}

bool installQtTranslations(QCoreApplication& app) {
    auto* qtTexts = new QTranslator(&app);
    if (!qtTexts->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qtTexts;
        return false;
    }
    return QCoreApplication::installTranslator(qtTexts);
}

std::optional<int> answerWithoutDisplay(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments) || !answers(parser)) return std::nullopt;
    QCoreApplication core(argc, argv);
    setProgramIdentity();
    installQtTranslations(core);
    return readCommandLine(core.arguments()).exitCode;
}

CommandLine readCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments)) {
        print(stderr, parser.errorText() + QLatin1Char('\n') + parser.helpText());
        return {1, {}};
    }
    if (parser.isSet(QStringLiteral("version"))) {
        print(stdout, QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                    QCoreApplication::applicationVersion()));
        return {0, {}};
    }
    if (helpAsked(parser)) {
        print(stdout, parser.helpText());
        return {0, {}};
    }
    return {std::nullopt, parser.positionalArguments(), parser.isSet(QStringLiteral("series"))};
}

} // namespace vorlan
