#include "deep/frmdeep.h"

#include "shell/windowkit.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

namespace vorlan {

namespace {

QDoubleSpinBox* spin(QWidget* parent, const QString& name, double top, const QString& suffix) {
    auto* box = named(new QDoubleSpinBox(parent), name);
    box->setRange(0, top);
    box->setDecimals(1);
    box->setSuffix(suffix);
    return box;
}

QString durationText(double seconds) {
    if (seconds < 60) return QStringLiteral("%1 с").arg(std::max(1L, std::lround(seconds)));
    const long minutes = std::lround(seconds / 60);
    return minutes < 120 ? QStringLiteral("%1 мин").arg(minutes)
                         : QStringLiteral("%1 ч").arg(QString::number(seconds / 3600, 'f', 1));
}

} // namespace

frmDeep::frmDeep(QWidget* parent, const SeriesRegistration& series, double arcsecPerPixel)
    : QDialog(parent), m_series(series), m_scale(arcsecPerPixel) {
    setUpToolWindow(this, QStringLiteral("frmDeep"), QStringLiteral("Глубокий поиск"));
    // Arc seconds a minute are pixels an hour times scale / 60.
    const QString unit = m_scale > 0 ? QStringLiteral(" ″/мин") : QStringLiteral(" пикс/ч");
    const double toShown = m_scale > 0 ? m_scale / 60 : 1;
    txtMinSpeed = spin(this, QStringLiteral("txtMinSpeed"), 1e6, unit);
    txtMaxSpeed = spin(this, QStringLiteral("txtMaxSpeed"), 1e6, unit);
    txtMaxSpeed->setDecimals(m_scale > 0 ? 2 : 1);
    txtMinSpeed->setDecimals(txtMaxSpeed->decimals());
    txtMaxSpeed->setValue(defaultMaxSpeed(planDeepSearch(series, {}).hours) * toShown);
    txtFromDirection = spin(this, QStringLiteral("txtFromDirection"), 360, QStringLiteral("°"));
    txtToDirection = spin(this, QStringLiteral("txtToDirection"), 360, QStringLiteral("°"));
    txtToDirection->setValue(360);
    txtThreshold = spin(this, QStringLiteral("txtThreshold"), 100, QString());
    txtThreshold->setMinimum(3);
    txtThreshold->setValue(7);
    lblEstimate = named(new QLabel(this), QStringLiteral("lblEstimate"));
    lblEstimate->setWordWrap(true);
    prgDeep = named(new QProgressBar(this), QStringLiteral("prgDeep"));
    cmdStart = named(new QPushButton(QStringLiteral("Искать"), this), QStringLiteral("cmdStart"));
    cmdStart->setDefault(true);
    cmdStop = named(new QPushButton(QStringLiteral("Прервать"), this), QStringLiteral("cmdStop"));
    cmdClose = named(new QPushButton(QStringLiteral("Закрыть"), this), QStringLiteral("cmdClose"));

    auto* speeds = new QHBoxLayout;
    speeds->addWidget(new QLabel(QStringLiteral("от"), this));
    speeds->addWidget(txtMinSpeed, 1);
    speeds->addWidget(new QLabel(QStringLiteral("до"), this));
    speeds->addWidget(txtMaxSpeed, 1);
    auto* directions = new QHBoxLayout;
    directions->addWidget(new QLabel(QStringLiteral("от"), this));
    directions->addWidget(txtFromDirection, 1);
    directions->addWidget(new QLabel(QStringLiteral("до"), this));
    directions->addWidget(txtToDirection, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(prgDeep, 1);
    buttons->addWidget(cmdStart);
    buttons->addWidget(cmdStop);
    buttons->addWidget(cmdClose);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Скорость:"), speeds);
    form->addRow(QStringLiteral("Направление (0° вверх, 90° вправо, по часовой):"), directions);
    form->addRow(QStringLiteral("Порог (отношение сигнал/шум в стопке):"), txtThreshold);
    form->addRow(lblEstimate);
    form->addRow(buttons);
    resize(560, sizeHint().height());

    for (QDoubleSpinBox* box : {txtMinSpeed, txtMaxSpeed, txtFromDirection, txtToDirection, txtThreshold})
        connect(box, &QDoubleSpinBox::valueChanged, this, &frmDeep::showEstimate);
    connect(cmdStart, &QPushButton::clicked, this, [this] {
        setWorking(true);
        emit startRequested(options());
    });
    connect(cmdStop, &QPushButton::clicked, this, &frmDeep::stopRequested);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    setWorking(false);
    showEstimate();
}

double frmDeep::pixelsPerHour(double shown) const {
    return m_scale > 0 ? shown * 60 / m_scale : shown;
}

DeepSearchOptions frmDeep::options() const {
    DeepSearchOptions o;
    o.minSpeed = pixelsPerHour(txtMinSpeed->value());
    o.maxSpeed = pixelsPerHour(txtMaxSpeed->value());
    o.fromDegrees = txtFromDirection->value();
    o.toDegrees = txtToDirection->value();
    o.threshold = txtThreshold->value();
    return o;
}

void frmDeep::showEstimate() {
    const DeepPlan plan = planDeepSearch(m_series, options());
    if (plan.frames < 5) {
        lblEstimate->setText(QStringLiteral("Для поиска нужно не меньше 5 совмещённых кадров со временем съёмки, а их %1.")
                                 .arg(plan.frames));
        cmdStart->setEnabled(false);
        return;
    }
    const bool empty = plan.motions == 0 || txtMaxSpeed->value() < txtMinSpeed->value();
    lblEstimate->setText(empty ? QStringLiteral("Таких движений нет: проверьте скорости и направления.")
                               : QStringLiteral("Кадров: %1, %2×%3 пикс; пробных движений: %4. Поиск займёт около %5.")
                                     .arg(plan.frames)
                                     .arg(plan.size.width())
                                     .arg(plan.size.height())
                                     .arg(plan.motions)
                                     .arg(durationText(plan.seconds)));
    cmdStart->setEnabled(!empty && !prgDeep->isVisible());
}

void frmDeep::setWorking(bool working) {
    prgDeep->setVisible(working);
    cmdStop->setVisible(working);
    cmdStart->setEnabled(!working);
    for (QDoubleSpinBox* box : {txtMinSpeed, txtMaxSpeed, txtFromDirection, txtToDirection, txtThreshold})
        box->setEnabled(!working);
    if (working) prgDeep->setRange(0, 0);
}

void frmDeep::showProgress(int done, int total, const QString& text) {
    prgDeep->setRange(0, std::max(total, 1));
    prgDeep->setValue(done);
    if (!text.isEmpty()) lblEstimate->setText(text);
}

void frmDeep::workEnded(const QString& status) {
    setWorking(false);
    showEstimate();
    if (!status.isEmpty()) lblEstimate->setText(status);
}

} // namespace vorlan
