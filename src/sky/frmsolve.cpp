#include "sky/frmsolve.h"

#include "shell/frmbl.h"
#include "shell/guard.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "sky/picturesky.h"
#include "stars/stardetect.h"
#include "view/imageframe.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace vorlan {

namespace {

QPointer<frmSolve> s_form;
int s_timeLimit = SolveOptions{}.timeLimitSeconds;

/// How often the time gone is shown again, milliseconds.
constexpr int TickMs = 250;

} // namespace

frmSolve::frmSolve(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setObjectName(QStringLiteral("frmSolve"));
    setWindowTitle(QStringLiteral("Определение координат по звёздам"));
    setAttribute(Qt::WA_DeleteOnClose);
    lblShag = new QLabel(this);
    lblShag->setObjectName(QStringLiteral("lblShag"));
    lblVremja = new QLabel(this);
    lblVremja->setObjectName(QStringLiteral("lblVremja"));
    cmdPrer = new QPushButton(QStringLiteral("Прервать"), this);
    cmdPrer->setObjectName(QStringLiteral("cmdPrer"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdPrer);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblShag);
    layout->addWidget(lblVremja);
    layout->addLayout(buttons);
    setFixedSize(380, 120);

    m_tick.setInterval(TickMs);
    connect(&m_tick, &QTimer::timeout, this, guard([this] { showTime(); }));
    connect(cmdPrer, &QPushButton::clicked, this, guard([this] { cmdPrer_Click(); }));
    connect(&m_solver, &PlateSolver::finished, this, guard([this](const SkyWcs& wcs) { solved(wcs); }));
    connect(&m_solver, &PlateSolver::failed, this, guard([this](const QString& reason) { failed(reason); }));
}

bool frmSolve::start(const QImage& picture, const SolveOptions& options) {
    if (m_running) return false;
    const int run = ++m_run;
    auto stars = std::make_shared<StarList>();
    QPointer<frmSolve> self(this);
    // The stars are found on the job runner; the picture is the slot's, shared, not copied.
    const bool started = MainForm().startJob(
        QStringLiteral("поиск звёзд"), [picture, stars](JobControl&) { *stars = detectStars(picture); }, {},
        [self, run, stars](const JobEnd& end) {
            // A run stopped meanwhile has nothing more to do with its stars.
            const bool current = self && self->m_running && self->m_run == run;
            if (current && end.failure) self->end();
            end.rethrowFailure();
            if (current) self->solveStars(*stars);
        });
    if (!started) return false;
    m_options = options;
    m_running = true;
    m_clock.start();
    m_tick.start();
    lblShag->setText(QStringLiteral("Поиск звёзд на снимке..."));
    showTime();
    setWindowModality(Qt::WindowModal);
    // Over the middle of the main window, where the eye is, whatever the window manager does.
    if (const QWidget* main = parentWidget()) move(main->geometry().center() - rect().center());
    show();
    raise();
    activateWindow();
    return true;
}

void frmSolve::solveStars(const StarList& stars) {
    lblShag->setText(QStringLiteral("Звёзд на снимке: %1. Поиск по каталогу...").arg(stars.stars.size()));
    // Whatever stands in the way (no solver, no index files, too few stars) comes back as failed.
    m_solver.start(stars, m_options);
}

void frmSolve::showTime() {
    lblVremja->setText(QStringLiteral("Прошло %1 с (не больше %2 с)")
                           .arg(int(m_clock.elapsed() / 1000))
                           .arg(m_options.timeLimitSeconds));
}

void frmSolve::end() {
    m_running = false;
    m_tick.stop();
    hide();
}

void frmSolve::cmdPrer_Click() {
    if (!m_running) return hide();
    end();
    // The solver is killed at once; its failed signal then finds the run ended and says nothing.
    // The star search polls no stop: it ends on its own, and its stars are dropped.
    if (m_solver.isRunning())
        m_solver.stop();
    else
        MainForm().requestStop();
}

void frmSolve::solved(const SkyWcs& wcs) {
    if (!m_running) return;
    end();
    frmBl& main = MainForm();
    main.pictureSky().solved = wcs;
    main.putSkyInForce(SkySource::SolvedWcs);
}

void frmSolve::failed(const QString& reason) {
    if (!m_running) return;
    end();
    Prompter::instance().message(&MainForm(), reason, QMessageBox::Warning);
}

void frmSolve::closeEvent(QCloseEvent* e) {
    runGuarded([this] { cmdPrer_Click(); });
    e->accept();
}

int solveTimeLimit() {
    return s_timeLimit;
}

void setSolveTimeLimit(int seconds) {
    s_timeLimit = seconds;
}

frmSolve& SolveForm() {
    if (!s_form) s_form = new frmSolve(&MainForm());
    return *s_form;
}

bool SolveFormExists() {
    return !s_form.isNull();
}

} // namespace vorlan

namespace vorlan {

void frmBl::mnuSolve_Click() {
    if (Img1->picture().isNull()) return;
    SolveOptions options;
    options.timeLimitSeconds = solveTimeLimit();
    options.scale = SolveScaleHint(pictureSky(), State().FileName1);
    SolveForm().start(Img1->picture(), options);
}

} // namespace vorlan
