#include "cli/cliconfig.h"

#include "cli/subcommand.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vorlan {

namespace {

struct Subcommand {
    const char* name;
    const char* description;
    const char* files;
    QStringList options; ///< names of the options it takes, from the table below
};

const QList<Subcommand>& subcommands() {
    static const QList<Subcommand> all = {
        {"find",
         "Поиск движущихся объектов на двух-трёх снимках одного поля (или на серии, сложенной в три стопки). "
         "Одна строка на объект.",
         "снимки: первый - опорный",
         {"report", "station", "designation", "clock-offset", "orbits", "threshold", "series", "deep", "solve",
          "scale-low", "scale-high", "submitter", "measurers"}},
        {"solve",
         "Определение координат снимков по звёздам (astrometry.net): решение записывается рядом со снимком "
         "в файл .wcs, снимок не меняется.",
         "снимки",
         {"scale-low", "scale-high"}},
        {"stack",
         "Совмещение серии и сложение её в стопки: 32-битные FITS с WCS и средним DATE-OBS.",
         "кадры серии",
         {"groups", "out", "motion", "clock-offset"}},
        {"known",
         "Известные малые планеты и кометы в поле снимка (нужны WCS и время снимка).",
         "снимок",
         {"orbits", "station", "report", "clock-offset"}},
    };
    return all;
}

const QList<QCommandLineOption>& options() {
    static const QList<QCommandLineOption> table = [] {
        QList<QCommandLineOption> t;
        auto add = [&t](const char* name, const char* help, const char* value = nullptr) {
            t << (value ? QCommandLineOption(QString(name), QString::fromUtf8(help), QString::fromUtf8(value))
                        : QCommandLineOption(QString(name), QString::fromUtf8(help)));
        };
        add("report", "вид вывода: list (как список \"Движущиеся объекты\"), mpc (80-колоночные строки), "
                      "ades (PSV с заголовком), csv, json", "вид");
        add("station", "код обсерватории MPC", "код");
        add("designation", "временное обозначение первого объекта; следующие нумеруются дальше", "обозначение");
        add("clock-offset", "на сколько минут часы камеры спешат относительно UTC (время EXIF)", "минуты");
        add("orbits", "файл орбит MPC (MPCORB.DAT[.gz], NEA.txt, CometEls.txt) или ObsCodes; можно несколько раз",
            "файл");
        add("threshold", "отношение сигнал/шум, нужное каждому положению объекта (по умолчанию 5,5 для двух "
                         "снимков и 5 для трёх)", "с/ш");
        add("series", "файлы - серия кадров: совместить и сложить в три стопки, искать на них");
        add("deep", "глубокий поиск по серии");
        add("solve", "определить координаты снимка 1 по звёздам, если в его заголовке нет WCS");
        add("scale-low", "наименьший масштаб снимка, угловых секунд на пиксел", "\"/пикс");
        add("scale-high", "наибольший масштаб снимка, угловых секунд на пиксел", "\"/пикс");
        add("submitter", "отправитель отчёта ADES", "имя");
        add("measurers", "измерители для отчёта ADES (через запятую)", "имена");
        add("groups", "число стопок: 3, 2 или 1", "n");
        add("out", "папка для стопок", "папка");
        add("motion", "сложить вдоль движения: скорость в пикселах в час и направление в градусах, как в "
                      "списке \"Движущиеся объекты\"", "ПИКС_В_ЧАС,ГРАД");
        add("quiet", "не показывать ход работы");
        return t;
    }();
    return table;
}

void print(FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

/// A number option; false when it is given and is no number.
bool readNumber(const QCommandLineParser& parser, const QString& name, double& into) {
    if (!parser.isSet(name)) return true;
    bool ok = false;
    const double v = parser.value(name).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (ok) into = v;
    return ok && std::isfinite(v);
}

} // namespace

std::optional<SeriesMotion> parseMotion(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2) return std::nullopt;
    bool speedOk = false, directionOk = false;
    SeriesMotion m{parts[0].trimmed().toDouble(&speedOk), parts[1].trimmed().toDouble(&directionOk)};
    if (!speedOk || !directionOk || !(m.pixelsPerHour >= 0) || !std::isfinite(m.directionDegrees))
        return std::nullopt;
    return m;
}

ParsedCommand parseCommand(const QStringList& arguments, const ReportSettings& saved) {
    const QString name = arguments.value(1);
    const auto sub = std::find_if(subcommands().begin(), subcommands().end(),
                                  [&](const Subcommand& s) { return name == QLatin1String(s.name); });
    if (sub == subcommands().end()) {
        print(stderr, QStringLiteral("Нет такой команды: %1 (find, solve, stack, known).\n").arg(name));
        return {ExitBadUsage, {}};
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(sub->description));
    parser.addHelpOption();
    // Every option is known, so that one of another subcommand is named as such; the help
    // shows this one's.
    const QStringList own = sub->options + QStringList{QStringLiteral("quiet")};
    for (QCommandLineOption o : options()) {
        if (!own.contains(o.names().constFirst())) o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    parser.addPositionalArgument(QStringLiteral("файлы"), QString::fromUtf8(sub->files),
                                 QStringLiteral("ФАЙЛ..."));
    QStringList rest = arguments;
    rest.removeAt(1);
    // The usage line names the subcommand after the program.
    const QString program = arguments.value(0);
    const QString help = parser.helpText().replace(program, program + QLatin1Char(' ') + name);

    const auto refuse = [&help](const QString& why) {
        print(stderr, why + QLatin1Char('\n') + help);
        return ParsedCommand{ExitBadUsage, {}};
    };
    if (!parser.parse(rest)) return refuse(parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        print(stdout, help);
        return {0, {}};
    }
    for (const QString& set : parser.optionNames())
        if (!own.contains(set) && set != QLatin1String("help"))
            return refuse(QStringLiteral("Параметр --%1 не относится к vorlan %2.").arg(set, name));

    CliConfig c;
    c.command = name;
    c.files = parser.positionalArguments();
    c.settings = saved;
    c.quiet = parser.isSet(QStringLiteral("quiet"));
    c.series = parser.isSet(QStringLiteral("series"));
    c.deep = parser.isSet(QStringLiteral("deep"));
    c.solve = parser.isSet(QStringLiteral("solve"));
    if (c.files.isEmpty()) return refuse(QStringLiteral("Не указаны файлы."));
    if (parser.isSet(QStringLiteral("report"))) c.report = parser.value(QStringLiteral("report"));
    const QStringList formats = name == QLatin1String("known")
                                    ? QStringList{"list", "csv", "json"}
                                    : QStringList{"list", "mpc", "ades", "csv", "json"};
    if (!formats.contains(c.report))
        return refuse(QStringLiteral("Вид вывода \"%1\" неизвестен: %2.").arg(c.report, formats.join(", ")));
    if (parser.isSet(QStringLiteral("station"))) c.settings.station = parser.value(QStringLiteral("station"));
    if (parser.isSet(QStringLiteral("designation")))
        c.settings.designation = parser.value(QStringLiteral("designation"));
    if (parser.isSet(QStringLiteral("submitter"))) c.settings.submitter = parser.value(QStringLiteral("submitter"));
    if (parser.isSet(QStringLiteral("measurers"))) c.settings.measurers = parser.value(QStringLiteral("measurers"));
    if (parser.isSet(QStringLiteral("orbits"))) c.settings.orbitFiles = parser.values(QStringLiteral("orbits"));
    if (name == QLatin1String("known") && c.settings.orbitFilesOnly().isEmpty())
        return refuse(QStringLiteral("Нужен файл орбит: --orbits MPCORB.DAT."));

    double offset = c.settings.cameraClockOffsetMinutes, threshold = 0, groups = c.groups;
    if (!readNumber(parser, QStringLiteral("clock-offset"), offset) || offset != std::trunc(offset))
        return refuse(QStringLiteral("--clock-offset: нужно целое число минут."));
    c.settings.cameraClockOffsetMinutes = int(offset);
    if (!readNumber(parser, QStringLiteral("threshold"), threshold) || threshold < 0)
        return refuse(QStringLiteral("--threshold: нужно положительное число."));
    if (threshold > 0) c.search.minSignificance = c.search.trackSignificance = threshold;
    if (!readNumber(parser, QStringLiteral("scale-low"), c.scale.low) ||
        !readNumber(parser, QStringLiteral("scale-high"), c.scale.high) ||
        ((c.scale.low > 0 || c.scale.high > 0) && !c.scale.known()))
        return refuse(QStringLiteral("--scale-low и --scale-high: два положительных числа, первое не больше второго."));
    if (!readNumber(parser, QStringLiteral("groups"), groups) || (groups != 1 && groups != 2 && groups != 3))
        return refuse(QStringLiteral("--groups: 1, 2 или 3."));
    c.groups = int(groups);
    if (parser.isSet(QStringLiteral("motion"))) {
        c.motion = parseMotion(parser.value(QStringLiteral("motion")));
        if (!c.motion) return refuse(QStringLiteral("--motion: скорость (пикс/ч) и направление (°) через запятую, например 12.5,240."));
    }
    c.outDir = parser.value(QStringLiteral("out"));
    if (name == QLatin1String("stack") && c.outDir.isEmpty()) return refuse(QStringLiteral("Нужна папка: --out ПАПКА."));
    if (name == QLatin1String("find") && !c.series && (c.files.size() < 2 || c.files.size() > 3))
        return refuse(QStringLiteral("Нужно два или три снимка (серию - с --series)."));
    if (name == QLatin1String("known") && c.files.size() != 1) return refuse(QStringLiteral("Нужен один снимок."));
    return {std::nullopt, c};
}

} // namespace vorlan
