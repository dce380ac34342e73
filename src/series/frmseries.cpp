#include "series/frmseries.h"

#include "shell/windowkit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vorlan {

namespace {

QString timeText(const std::optional<QDateTime>& t) {
    return t ? t->toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) : QString();
}

QTableWidgetItem* cell(const QString& text, Qt::Alignment align = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(align | Qt::AlignVCenter);
    return item;
}

} // namespace

frmSeries::frmSeries(QWidget* parent) : QWidget(parent, Qt::Window) {
    setUpToolWindow(this, QStringLiteral("frmSeries"), QStringLiteral("Серия"));
    lblStatus = named(new QLabel(this), QStringLiteral("lblStatus"));
    lstFrames = named(new QTableWidget(0, Columns, this), QStringLiteral("lstFrames"));
    lstFrames->setHorizontalHeaderLabels(
        {QStringLiteral("В стопке"), QStringLiteral("Файл"), QStringLiteral("Середина экспозиции (UTC)"),
         QStringLiteral("Выдержка"), QStringLiteral("Звёзд"), QStringLiteral("Совмещение")});
    lstFrames->verticalHeader()->hide();
    lstFrames->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstFrames->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstFrames->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstFrames->horizontalHeader()->setStretchLastSection(true);
    prgSeries = named(new QProgressBar(this), QStringLiteral("prgSeries"));
    cmdStop = named(new QPushButton(QStringLiteral("Прервать"), this), QStringLiteral("cmdStop"));
    cboGroups = named(new QComboBox(this), QStringLiteral("cboGroups"));
    cboGroups->addItems({QStringLiteral("3 стопки"), QStringLiteral("2 стопки")});
    cboCombine = named(new QComboBox(this), QStringLiteral("cboCombine"));
    cboCombine->addItems({QStringLiteral("среднее с отсечением"), QStringLiteral("медиана")});
    cmdStack = named(new QPushButton(QStringLiteral("Сложить в стопки"), this), QStringLiteral("cmdStack"));
    cmdMotion =
        named(new QPushButton(QStringLiteral("Сложить по движению..."), this), QStringLiteral("cmdMotion"));

    auto* progress = new QHBoxLayout;
    progress->addWidget(prgSeries, 1);
    progress->addWidget(cmdStop);
    auto* commands = new QHBoxLayout;
    commands->addWidget(cboGroups);
    commands->addWidget(cboCombine);
    commands->addWidget(cmdStack);
    commands->addStretch();
    commands->addWidget(cmdMotion);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblStatus);
    layout->addWidget(lstFrames, 1);
    layout->addLayout(progress);
    layout->addLayout(commands);
    resize(820, 420);

    connect(cmdStop, &QPushButton::clicked, this, &frmSeries::stopRequested);
    connect(cmdStack, &QPushButton::clicked, this, &frmSeries::stackRequested);
    connect(cmdMotion, &QPushButton::clicked, this, &frmSeries::motionRequested);
    setWorking(false);
    cmdStack->setEnabled(false);
    cmdMotion->setEnabled(false);
}

void frmSeries::setWorking(bool working) {
    prgSeries->setVisible(working);
    cmdStop->setVisible(working);
    cmdStop->setEnabled(working);
    const bool stackable = !working && m_series.reference >= 0;
    cmdStack->setEnabled(stackable);
    cmdMotion->setEnabled(stackable);
}

void frmSeries::startRegistering(const QStringList& paths) {
    SeriesRegistration waiting;
    for (const QString& path : paths) {
        SeriesFrame f;
        f.path = path;
        f.reason = QStringLiteral("ждёт совмещения");
        waiting.frames.append(f);
    }
    showSeries(waiting, QStringLiteral("Совмещение кадров серии…"));
    prgSeries->setRange(0, int(paths.size()));
    prgSeries->setValue(0);
    setWorking(true);
}

void frmSeries::showProgress(int done, int total, const QString& text) {
    setWorking(true);
    prgSeries->setRange(0, std::max(total, 1));
    prgSeries->setValue(done);
    if (!text.isEmpty()) lblStatus->setText(text);
}

void frmSeries::workEnded(const QString& status) {
    setWorking(false);
    lblStatus->setText(status);
}

void frmSeries::showSeries(const SeriesRegistration& series, const QString& status) {
    m_series = series;
    lstFrames->setRowCount(int(series.frames.size()));
    for (int r = 0; r < series.frames.size(); ++r) {
        const SeriesFrame& f = series.frames[r];
        auto* use = new QCheckBox(lstFrames);
        use->setChecked(f.stackable());
        // A frame that failed is left out for its reason; only registered ones can be chosen.
        use->setEnabled(f.toReference.has_value());
        auto* holder = new QWidget;
        auto* centred = new QHBoxLayout(holder);
        centred->setContentsMargins(0, 0, 0, 0);
        centred->addWidget(use, 0, Qt::AlignCenter);
        lstFrames->setCellWidget(r, Use, holder);
        lstFrames->setItem(r, File, cell(QFileInfo(f.path).fileName()));
        lstFrames->item(r, File)->setToolTip(f.path);
        lstFrames->setItem(r, Time, cell(timeText(f.midTime)));
        lstFrames->setItem(
            r, Exposure,
            cell(f.exposureSeconds > 0 ? QStringLiteral("%1 с").arg(f.exposureSeconds) : QString(),
                 Qt::AlignRight));
        lstFrames->setItem(r, Stars,
                           cell(f.size.isEmpty() ? QString() : QString::number(f.stars), Qt::AlignRight));
        const QString state = r == series.reference ? QStringLiteral("опорный кадр")
                              : f.toReference || !f.reason.isEmpty()
                                  ? seriesFrameState(f)
                                  : QStringLiteral("не совмещён: совмещение прервано");
        lstFrames->setItem(r, State, cell(state));
    }
    lblStatus->setText(status);
    setWorking(false);
}

QCheckBox* frmSeries::useBox(int row) const {
    QWidget* holder = lstFrames->cellWidget(row, Use);
    return holder ? holder->findChild<QCheckBox*>() : nullptr;
}

SeriesRegistration frmSeries::series() const {
    SeriesRegistration s = m_series;
    for (int r = 0; r < s.frames.size(); ++r)
        if (const QCheckBox* use = useBox(r); use && s.frames[r].toReference)
            s.frames[r].leftOut = !use->isChecked();
    return s;
}

int frmSeries::groups() const {
    return cboGroups->currentIndex() == 1 ? 2 : 3;
}

StackCombine frmSeries::combine() const {
    return cboCombine->currentIndex() == 1 ? StackCombine::Median : StackCombine::ClippedMean;
}

void frmSeries::setStacking(int groups, StackCombine combine) {
    cboGroups->setCurrentIndex(groups == 2 ? 1 : 0);
    cboCombine->setCurrentIndex(combine == StackCombine::Median ? 1 : 0);
}

} // namespace vorlan
