#pragma once

// Standard output and standard error of a subcommand: results only on standard output, the
// progress of the jobs and every problem on standard error. The progress is a bar redrawn in
// place on a terminal and plain lines when standard error goes to a file or a pipe; --quiet
// silences it, never the problems.

#include <QObject>
#include <QString>
#include <cstdio>

namespace vorlan {

class JobRunner;

class Console : public QObject {
    Q_OBJECT
  public:
    /// Shows the progress of jobs unless quiet; terminal says whether standard error is a
    /// terminal (a bar) or not (lines).
    Console(JobRunner& jobs, bool quiet, bool terminal);
    ~Console() override;

    /// Writes text to standard output as it is.
    void result(const QString& text);
    /// Writes one line about a problem to standard error, below a bar being drawn.
    void problem(const QString& line);
    /// One line of progress of the run's own (not a job's), unless quiet.
    void note(const QString& line);

    /// The bar for done of total and its text, as a terminal shows it: "title [####      ]  40% text".
    static QString barLine(const QString& title, int done, int total, const QString& text);

  private:
    void started(const QString& title);
    void progressed(int done, int total, const QString& text);
    void finished();
    void endBar();
    void write(FILE* to, const QString& text);

    bool m_quiet;
    bool m_terminal;
    bool m_barShown = false;
    QString m_title;
    int m_lastTenth = -1; ///< the last tenth of a job written as a line
};

} // namespace vorlan
