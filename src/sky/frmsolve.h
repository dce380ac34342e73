#pragma once

#include "sky/platesolver.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <memory>

class QLabel;
class QPushButton;

namespace vorlan {

/// The progress window of "Определить координаты по звёздам...": one job on the program's job
/// runner finds the stars of picture 1 and hands them to astrometry.net through a PlateSolver;
/// the window shows the step and the time gone, and offers "Прервать", the runner's stop. It is modal to the
/// main window, which goes on repainting. A solution is put in force on the main window; a failure is
/// reported there and changes nothing. Closing it through the title bar stops the run like "Прервать".
class frmSolve : public QWidget {
    Q_OBJECT
  public:
    explicit frmSolve(QWidget* parent = nullptr);

    QLabel* lblShag;   ///< the step under way
    QLabel* lblVremja; ///< seconds gone of the limit
    QPushButton* cmdPrer;

    /// Solves picture (the decoded picture of slot 1, shared, not copied). Refused (false) while
    /// a run is under way.
    bool start(const QImage& picture, const SolveOptions& options);
    /// True from start() until the outcome has been handled.
    bool isRunning() const { return m_running; }
    /// The solver, for what a test needs to see of its process.
    const PlateSolver& solver() const { return *m_solver; }

    /// "Прервать": the job is asked to stop; it kills the solver's processes within milliseconds,
    /// or drops the stars of a star search under way. Nothing changes on the main window.
    void cmdPrer_Click();

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    void showTime();
    void end();
    void solved(const SkyWcs& wcs);
    void failed(const QString& reason);

    /// Shared with the job, which may outlast a window closed meanwhile.
    std::shared_ptr<PlateSolver> m_solver = std::make_shared<PlateSolver>();
    SolveOptions m_options;
    QTimer m_tick;
    QElapsedTimer m_clock;
    bool m_running = false;
};

/// The time a solve from the menu may take, seconds: 60 unless set otherwise (tests of a solve
/// that cannot succeed shorten it).
int solveTimeLimit();
void setSolveTimeLimit(int seconds);

/// The progress window, created on first use.
frmSolve& SolveForm();
bool SolveFormExists();

} // namespace vorlan
