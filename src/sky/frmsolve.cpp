#include "sky/frmsolve.h"

#include "shell/frmbl.h"
#include "shell/guard.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "sky/picturesky.h"
#include "view/imageframe.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <optional>

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
}

bool frmSolve::start(const QImage& picture, const SolveOptions& options) {
    if (m_running) return false;
    auto outcome = std::make_shared<std::optional<Outcome<SkyWcs>>>();
    QPointer<frmSolve> self(this);
    // The picture is the slot's, shared, not copied.
    const bool started = MainForm().startJob(
        QStringLiteral("определение координат"),
        [picture, options, outcome, solver = m_solver](JobControl&) {
            *outcome = solver->solvePicture(picture, options);
        },
        [self](const JobProgress& p) {
            if (self && !p.text.isEmpty()) self->lblShag->setText(p.text);
        },
        [self, outcome](const JobEnd& end) {
            if (self) self->end();
            end.rethrowFailure();
            // A stopped run says nothing and changes nothing.
            if (!self || end.stopped || !*outcome) return;
            if ((*outcome)->ok())
                self->solved((*outcome)->value());
            else
                self->failed((*outcome)->reason());
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
    MainForm().requestStop();
}

void frmSolve::solved(const SkyWcs& wcs) {
    frmBl& main = MainForm();
    main.pictureSky().solved = wcs;
    main.putSkyInForce(SkySource::SolvedWcs);
}

void frmSolve::failed(const QString& reason) {
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
