#include "report/frmmovers.h"

#include "shell/frmbl.h"
#include "shell/guard.h"
#include "shell/windowkit.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vorlan {

namespace {

QPointer<frmMovers> s_window;

} // namespace

frmMovers::frmMovers(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmMovers"));
    setWindowTitle(QStringLiteral("Движущиеся объекты"));
    setAttribute(Qt::WA_DeleteOnClose);

    lblStatus = named(new QLabel(this), "lblStatus");
    lstMovers = named(new QTableWidget(0, moverColumnTitles().size(), this), "lstMovers");
    lstMovers->setHorizontalHeaderLabels(moverColumnTitles());
    lstMovers->verticalHeader()->hide();
    lstMovers->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstMovers->setSelectionMode(QAbstractItemView::SingleSelection);
    lstMovers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstMovers->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstMovers->verticalHeader()->setDefaultSectionSize(lstMovers->fontMetrics().height() + 6);
    cmdReport = named(new QPushButton(QStringLiteral("Копировать строку отчёта"), this), "cmdReport");
    cmdReport->setToolTip(QStringLiteral(
        "Строки наблюдения в формате Центра малых планет и ADES - в буфер обмена и в блокнот"));
    cmdVihod = named(new QPushButton(QStringLiteral("Выход"), this), "cmdVihod");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdReport);
    buttons->addStretch();
    buttons->addWidget(cmdVihod);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblStatus);
    layout->addWidget(lstMovers);
    layout->addLayout(buttons);
    resize(680, 320);

    // The receivers are guarded where they are connected (MoversWindow).
    connect(lstMovers, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0) emit rowChosen(row);
    });
    connect(cmdReport, &QPushButton::clicked, this, &frmMovers::reportRequested);
    connect(cmdVihod, &QPushButton::clicked, this, &QWidget::hide);
}

void frmMovers::setRows(const QVector<MoverRow>& rows, const QString& summary) {
    m_rows = rows;
    const QSignalBlocker quiet(lstMovers);
    lstMovers->clearContents();
    lstMovers->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].cells.size(); ++c) {
            auto* item = new QTableWidgetItem(rows[r].cells[c]);
            item->setTextAlignment(c == 5 || c == 6 ? Qt::AlignLeft | Qt::AlignVCenter
                                                    : Qt::AlignRight | Qt::AlignVCenter);
            lstMovers->setItem(r, c, item);
        }
    lstMovers->setCurrentCell(-1, -1);
    lblStatus->setText(summary);
}

void frmMovers::setStatus(const QString& text) {
    lblStatus->setText(text);
}

int frmMovers::currentRow() const {
    return lstMovers->currentRow();
}

frmMovers& MoversWindow() {
    if (!s_window) {
        frmBl* main = &MainForm();
        s_window = new frmMovers(main);
        QObject::connect(s_window, &frmMovers::rowChosen, main,
                         guard([main](int row) { main->lstMovers_Choose(row); }));
        QObject::connect(s_window, &frmMovers::reportRequested, main,
                         guard([main] { main->mnuReportLine_Click(); }));
    }
    return *s_window;
}

bool MoversWindowExists() {
    return !s_window.isNull();
}

} // namespace vorlan
