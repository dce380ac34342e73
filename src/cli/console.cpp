#include "cli/console.h"

#include "common/jobrunner.h"

#include <algorithm>

namespace vorlan {

Console::Console(JobRunner& jobs, bool quiet, bool terminal) : m_quiet(quiet), m_terminal(terminal) {
    if (quiet) return;
    connect(&jobs, &JobRunner::started, this, &Console::started);
    connect(&jobs, &JobRunner::progressed, this, &Console::progressed);
    connect(&jobs, &JobRunner::finished, this, &Console::finished);
}

Console::~Console() {
    endBar();
}

void Console::result(const QString& text) {
    write(stdout, text);
}

void Console::problem(const QString& line) {
    endBar();
    write(stderr, line + QLatin1Char('\n'));
}

void Console::note(const QString& line) {
    if (m_quiet) return;
    endBar();
    write(stderr, line + QLatin1Char('\n'));
}

QString Console::barLine(const QString& title, int done, int total, const QString& text) {
    constexpr int Width = 30;
    const double part = total > 0 ? std::clamp(double(done) / total, 0.0, 1.0) : 0.0;
    const int filled = int(part * Width);
    QString line = QStringLiteral("%1 [%2%3] %4%").arg(title, QString(filled, QLatin1Char('#')),
                                                      QString(Width - filled, QLatin1Char(' ')))
                       .arg(int(part * 100), 3);
    return text.isEmpty() ? line : line + QLatin1Char(' ') + text;
}

void Console::started(const QString& title) {
    m_title = title;
    m_lastTenth = -1;
    if (m_terminal) {
        progressed(0, 0, QString());
    } else {
        write(stderr, title + QStringLiteral("...\n"));
    }
}

void Console::progressed(int done, int total, const QString& text) {
    if (m_terminal) {
        // Back to the line's start, the line cleared, the bar drawn anew.
        write(stderr, QStringLiteral("\r\x1b[K") + barLine(m_title, done, total, text));
        m_barShown = true;
        return;
    }
    const int tenth = total > 0 ? done * 10 / total : 0;
    if (tenth <= m_lastTenth || tenth == 0) return;
    m_lastTenth = tenth;
    write(stderr, QStringLiteral("%1: %2%\n").arg(m_title).arg(tenth * 10));
}

void Console::finished() {
    endBar();
}

void Console::endBar() {
    if (!m_barShown) return;
    m_barShown = false;
    write(stderr, QStringLiteral("\r\x1b[K"));
}

void Console::write(FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

} // namespace vorlan
