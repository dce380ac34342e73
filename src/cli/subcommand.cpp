#include "cli/subcommand.h"

#include "cli/cliconfig.h"
#include "cli/console.h"
#include "cli/runs.h"
#include "common/jobrunner.h"
#include "shell/commandline.h"

#include <QCoreApplication>
#include <unistd.h>

namespace vorlan {

bool isSubcommand(int argc, char* argv[]) {
    if (argc < 2) return false;
    const QByteArray name(argv[1]);
    return name == "find" || name == "solve" || name == "stack" || name == "known";
}

int runSubcommand(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    setProgramIdentity();
    installQtTranslations(app);
    const ParsedCommand parsed = parseCommand(QCoreApplication::arguments(), ReportSettings::load());
    if (parsed.exitCode) return *parsed.exitCode;
    const CliConfig& c = parsed.config;
    JobRunner jobs;
    Console console(jobs, c.quiet, ::isatty(STDERR_FILENO));
    if (c.command == QLatin1String("find")) return runFind(c, console, jobs);
    if (c.command == QLatin1String("solve")) return runSolve(c, console, jobs);
    if (c.command == QLatin1String("stack")) return runStack(c, console, jobs);
    return runKnown(c, console, jobs);
}

} // namespace vorlan
