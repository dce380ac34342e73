#include "notepad/notepadprint.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QStringList>
#include <algorithm>

namespace vorlan {

namespace {

constexpr double LeftMarginTwips = 800;
constexpr double TopMarginTwips = 500;

QFont printFont(qreal pointSize) {
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(pointSize);
    font.setBold(false);
    return font;
}

QStringList printLines(const QString& text) { return text.split(QStringLiteral("\r\n")); }

double twipsToDevice(double twips, int dpi) { return twips * dpi / 1440.0; }

} // namespace

bool NotepadTextFitsPage(QPrinter& printer, const QString& text, qreal pointSize) {
    const QFontMetricsF metrics(printFont(pointSize), &printer);
    double widest = 0;
    for (const QString& line : printLines(text))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest + twipsToDevice(LeftMarginTwips, printer.logicalDpiX()) <= printer.width();
}

bool PrintNotepadText(QPrinter& printer, const QString& text, qreal pointSize) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    painter.setFont(printFont(pointSize));
    const QFontMetricsF metrics = painter.fontMetrics();
    const double left = twipsToDevice(LeftMarginTwips, printer.logicalDpiX());
    const double top = twipsToDevice(TopMarginTwips, printer.logicalDpiY());
    double y = top;
    for (const QString& line : printLines(text)) {
        if (y > top && y + metrics.height() > printer.height()) {
            printer.newPage();
            y = top;
        }
        painter.drawText(QPointF(left, y + metrics.ascent()), line);
        y += metrics.lineSpacing();
    }
    return painter.end();
}

} // namespace vorlan
