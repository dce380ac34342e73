#pragma once

#include <QString>

class QPrinter;

namespace vorlan {

/// True when the widest line of text (lines ended by CR LF), printed in Courier at pointSize
/// points, plus the 800-twip left margin fits the printable width of printer's page.
bool NotepadTextFitsPage(QPrinter& printer, const QString& text, qreal pointSize);

/// Prints text unchanged in regular Courier at pointSize points, starting 800 twips right of
/// and 500 twips below the printable area's top left corner, on as many pages as it needs.
/// False when the printer could not be started.
bool PrintNotepadText(QPrinter& printer, const QString& text, qreal pointSize);

} // namespace vorlan
