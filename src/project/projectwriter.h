#pragma once

// Writing a project file ("*.vln"): the 34 lines from the shared state, and a save that either
// replaces the whole file or leaves it as it was.

#include "common/outcome.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vorlan {

struct SharedState;

/// The 34 lines of a project file from the shared state, separated by CR, none after the last.
/// Plain numbers in the invariant short form; lines 17-20 the star coordinates in degrees x
/// 10000 in the pattern "0.0000" (locale separator) and lines 21-24 point 2 of pictures 1 and
/// 2 when coordinatesOn (the menu item "Координаты" enabled), else "no" and "0". The
/// extension lines, if any, follow line 34 as given (see projectlayout.h).
QString ProjectText(const SharedState& state, bool coordinatesOn,
                    const QStringList& extensionLines = {});

/// The bytes of a project file: the text with CR LF after its last line, in Windows-1251 when
/// every character fits, else in UTF-8 (so no file name is ever mangled).
QByteArray projectFileBytes(const QString& projectText);

/// The name with ".vln" added when the user typed no extension.
QString withProjectSuffix(const QString& path);

/// Replaces the file at path by bytes as a whole: written beside it and renamed over it, so a
/// failed or interrupted save never leaves a truncated file and an existing file stays as it
/// was. The path is used as given (case kept). A failure's reason names the file.
Outcome<void> saveProjectFile(const QString& path, const QByteArray& bytes);

} // namespace vorlan
