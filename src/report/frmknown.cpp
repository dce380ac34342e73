#include "report/frmknown.h"

#include "shell/frmbl.h"
#include "shell/windowkit.h"
#include "view/imageframe.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

namespace vorlan {

namespace {

QPointer<frmKnown> s_window;

/// What the picture shows beside a circle: the designation and V to 0.1.
QString label(const KnownObject& k) {
    return std::isnan(k.magnitude) ? k.designation : k.designation + QStringLiteral(" %1").arg(k.magnitude, 0, 'f', 1);
}

} // namespace

frmKnown::frmKnown(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmKnown"));
    setWindowTitle(QStringLiteral("Известные объекты в поле"));
    setAttribute(Qt::WA_DeleteOnClose);
    lblStatus = named(new QLabel(this), "lblStatus");
    lstKnown = named(new QTableWidget(0, 6, this), "lstKnown");
    lstKnown->setHorizontalHeaderLabels({QStringLiteral("Объект"), QStringLiteral("α (J2000)"),
                                         QStringLiteral("δ (J2000)"), QStringLiteral("V"),
                                         QStringLiteral("Движение, ″/мин"), QStringLiteral("До кандидата, ″")});
    lstKnown->verticalHeader()->hide();
    lstKnown->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstKnown->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstKnown->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    cmdCopy = named(new QPushButton(QStringLiteral("Копировать"), this), "cmdCopy");
    cmdStop = named(new QPushButton(QStringLiteral("Прервать"), this), "cmdStop");
    cmdStop->hide();
    cmdVihod = named(new QPushButton(QStringLiteral("Выход"), this), "cmdVihod");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdCopy);
    buttons->addWidget(cmdStop);
    buttons->addStretch();
    buttons->addWidget(cmdVihod);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblStatus);
    layout->addWidget(lstKnown);
    layout->addLayout(buttons);
    resize(620, 280);
    connect(cmdCopy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(m_text); });
    connect(cmdVihod, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdStop, &QPushButton::clicked, this, [] { MainForm().requestStop(); });
}

void frmKnown::setObjects(const std::vector<KnownObject>& known, const std::vector<SkyCoord>& candidates) {
    m_text = knownObjectsText(known, candidates);
    QStringList lines = m_text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.removeFirst(); // the heading is the table's header
    lstKnown->setRowCount(int(lines.size()));
    for (int r = 0; r < lines.size(); ++r) {
        const QStringList cells = lines[r].split(QLatin1Char('\t'));
        for (int c = 0; c < cells.size() && c < lstKnown->columnCount(); ++c)
            lstKnown->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    setStatus(QStringLiteral("Известных объектов в поле: %1").arg(known.size()));
}

void frmKnown::setStatus(const QString& text) {
    lblStatus->setText(text);
    cmdStop->hide();
}

void frmKnown::setProgress(const QString& text, int done, int total) {
    lblStatus->setText(total > 0 ? QStringLiteral("%1: %2 %").arg(text).arg(qint64(done) * 100 / total) : text);
    cmdStop->show();
}

frmKnown& KnownWindow() {
    if (!s_window) s_window = new frmKnown(QApplication::activeWindow());
    return *s_window;
}

bool KnownWindowExists() {
    return !s_window.isNull();
}

KnownOverlay::KnownOverlay(QWidget* frame) : QWidget(frame) {
    setObjectName(QStringLiteral("KnownOverlay"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    frame->installEventFilter(this);
    setGeometry(frame->rect());
    show();
}

void KnownOverlay::setObjects(const std::vector<KnownObject>& known) {
    m_known = known;
    raise();
    update();
}

bool KnownOverlay::eventFilter(QObject* watched, QEvent* e) {
    if (watched == parentWidget() && e->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return false;
}

void KnownOverlay::paintEvent(QPaintEvent*) {
    const auto* frame = qobject_cast<const ImageFrame*>(parentWidget());
    if (!frame || m_known.empty()) return;
    const Placement at = frame->placement();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 200, 0), 1.5));
    for (const KnownObject& k : m_known) {
        const QPointF c(at.originX + k.pixel.x() * at.scale, at.originY + k.pixel.y() * at.scale);
        p.drawEllipse(c, Radius, Radius);
        p.drawText(c + QPointF(Radius + 3, -Radius + 2), label(k));
    }
}

} // namespace vorlan
