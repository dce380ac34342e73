#pragma once

// What a subcommand's command line asks for, read once with the options each subcommand takes.

#include "report/reportsettings.h"
#include "series/seriesstack.h"
#include "sky/platesolver.h"
#include "stars/movingsearch.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace vorlan {

struct CliConfig {
    QString command;   ///< find, solve, stack or known
    QStringList files; ///< as given, in order
    QString report = QStringLiteral("list"); ///< list, mpc, ades, csv or json
    ReportSettings settings;                 ///< the saved ones with the command line's changes
    MovingSearchOptions search;
    bool quiet = false;
    bool series = false; ///< find: the files are a series, stacked into three first
    bool deep = false;
    bool solve = false;  ///< find: solve picture 1 when its header has no WCS
    ScaleHint scale;     ///< arc-seconds per pixel; none when not given
    int groups = 3;
    QString outDir;
    std::optional<SeriesMotion> motion;
};

struct ParsedCommand {
    /// Set when the command line is answered already: 0 after --help, ExitBadUsage after a
    /// wrong one (said on standard error with the subcommand's help).
    std::optional<int> exitCode;
    CliConfig config;
};

/// Reads arguments (the program, the subcommand, then its options and files); saved gives the
/// report settings an option does not change.
ParsedCommand parseCommand(const QStringList& arguments, const ReportSettings& saved);

/// "PXH,DEG": a speed in pixels per hour and a direction in degrees, as the list of moving
/// objects shows them; none when the text is not two numbers or the speed is negative.
std::optional<SeriesMotion> parseMotion(const QString& text);

} // namespace vorlan
