#pragma once

// Where the sky coordinates of picture 1 come from. Three sources feed the one cursor readout:
// the WCS in the picture's own FITS header, a WCS found by solving the picture from its stars,
// and the two-star solution of "Считать!". The latest one the user made is in force.
//
// A project keeps the choice and a solved WCS on extension lines after its 34 table lines (see
// project/projectlayout.h), so that reopening it needs no new solve:
//
//     WCS1 SOURCE solved              which source was in force: header, solved, stars or none
//     WCS1 CARD CTYPE1  = 'RA---TAN-SIP'   one header card of the solved WCS a line, as many as
//     WCS1 CARD ...                        the WCS has (none when nothing was solved)
//
// Every line begins with "WCS1 ", so a reader looking for other blocks after line 34 passes
// over these, and a reader that stops at line 34 never sees them.

#include "common/outcome.h"
#include "sky/platesolver.h"
#include "sky/skywcs.h"

#include <QString>
#include <QStringList>

namespace vorlan {

enum class SkySource {
    None,      ///< no coordinates, or the two-star solution before "Считать!"
    HeaderWcs, ///< the WCS of picture 1's FITS header
    SolvedWcs, ///< the WCS found by "Определить координаты по звёздам..."
    TwoStars,  ///< the two-star solution of "Считать!"
};

/// The txtInfo line naming the source in force ("координаты: WCS из файла", ...), CR LF ended;
/// empty for None.
QString SkySourceLine(SkySource source);

/// Picture 1's sky coordinates: the WCSs it has and the source in force.
struct PictureSky {
    SkySource source = SkySource::None;
    SkyWcs header; ///< from the picture's FITS header; invalid when it has none
    SkyWcs solved; ///< from the latest solve of this picture; invalid when not solved

    /// The WCS the readout uses: the header's or the solved one when that is in force and
    /// valid; null otherwise (then the two-star solution, if any, is the readout's).
    const SkyWcs* wcsInForce() const;
    /// The MPC's code of the catalogue behind the coordinates in force; empty when unknown (the
    /// two-star solution's stars are typed in from any catalogue).
    QString catalogue() const;
};

/// The WCS of a picture file's FITS header; invalid for a picture of another format, or a FITS
/// file without a celestial WCS.
SkyWcs HeaderWcs(const QString& picturePath);
/// The same, or why there is none: the file is no FITS, its header has no WCS, or its WCS is
/// refused (failure number SkyWcs::RefusedWcsNumber).
Outcome<SkyWcs> ReadHeaderWcs(const QString& picturePath);

/// The extension lines a project keeps (see above), each without a line end; none when
/// the picture has neither a header nor a solved WCS, so such projects are written as before.
QStringList ProjectSkyLines(const PictureSky& sky);

/// What a project's extension lines say about picture 1's sky coordinates. Lines of other
/// blocks are passed over; unreadable cards leave solved invalid.
struct StoredSky {
    bool present = false; ///< the project has a "WCS1 SOURCE" line
    SkySource source = SkySource::None;
    SkyWcs solved;
};
StoredSky ReadProjectSkyLines(const QStringList& extensionLines);

/// A line of this block that cannot be read: its index among the extension lines and why (the
/// number Overflow for a number beyond any WCS, else InvalidValue).
struct DamagedSkyLine {
    int index = 0;
    Failure failure;
};
/// The damaged lines among a project's sky lines: an unknown source word or line kind, a card
/// cut short or holding no number (NaN, 1e308), and, when every card reads, a WCS that wcslib
/// refuses or whose pixels are not between 0.001″ and 10° across (named at its first card).
/// A project with any of them is opened without its solved WCS.
QList<DamagedSkyLine> DamagedProjectSkyLines(const QStringList& extensionLines);

/// The scale range a solve of picture 1 may search, arc-seconds per pixel: an earlier solve's,
/// else the header WCS's, else the one FOCALLEN with XPIXSZ / PIXSIZE of the picture file give
/// (when it is a FITS file); no hint when none is known.
ScaleHint SolveScaleHint(const PictureSky& sky, const QString& picturePath);

} // namespace vorlan
