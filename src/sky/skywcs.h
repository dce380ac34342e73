#pragma once

// The world coordinate system (WCS) of a picture: the mapping between its pixels and the sky as a
// FITS header describes it (TAN, TAN-SIP and every other projection wcslib knows; CD, PC + CDELT
// or CDELT + CROTA forms). All the projection work is wcslib's; this class chooses the celestial
// description, keeps the picture's size, and translates between the picture frames:
//
//   FITS pixel     (p1, p2): 1-based, (1, 1) is the centre of the first pixel of the first FITS
//                  row. FITS row 1 is shown at the BOTTOM of the displayed picture.
//   picture pixel  (x, y): continuous pixels of the picture as displayed, y down, (0, 0) the
//                  top-left corner, (0.5, 0.5) the centre of the top-left pixel (the frame of
//                  StarList). So p1 = x + 0.5 and p2 = height - y + 0.5.
//   twips          picture pixels x TwipsPerPixel x the display scale: the mouse positions of the readout.
//
// Sky positions are radians, right ascension in [0, 2π). Only equatorial WCSs (RA/DEC axes) are
// taken, since the readout shows right ascension and declination.
//
// A SkyWcs is a value: copies are independent. One object must not be used from two threads at
// once (wcslib keeps work space in it).

#include "common/outcome.h"
#include "sky/platesolution.h"

#include <QPointF>
#include <QString>
#include <memory>
#include <optional>

namespace vorlan {

/// A sky position, radians: right ascension in [0, 2π), declination in [-π/2, π/2].
struct SkyCoord {
    double ra = 0;
    double dec = 0;
};

/// The MPC's code of the catalogue an astrometry.net index was built from, by its index id
/// (4100 series: "Tyc2", 4200: "2MASS", 5000 to 5299: "Gaia2"); empty when unknown.
QString CatalogueOfIndex(int id);

class SkyWcs {
  public:
    /// No WCS: isValid() is false. (A header whose WCS cannot be read gives a failure instead.)
    SkyWcs();
    ~SkyWcs();
    SkyWcs(const SkyWcs& other);
    SkyWcs& operator=(const SkyWcs& other);
    SkyWcs(SkyWcs&&) noexcept;
    SkyWcs& operator=(SkyWcs&&) noexcept;

    /// The celestial WCS of a FITS file: of the first HDU (the primary, then each image
    /// extension, a tile-compressed one read as the image it holds) whose header describes one.
    /// Also reads the .wcs files astrometry.net writes (a primary HDU of header cards only).
    /// The picture size is that HDU's NAXIS1 x NAXIS2, or IMAGEW x IMAGEH for a header without an
    /// image. Fails, with a Russian reason, when there is none (number NoWcsNumber) or when it
    /// is refused (RefusedWcsNumber, see refused below).
    static Outcome<SkyWcs> fromFitsFile(const QString& path);

    /// From FITS header cards: 80-character cards, each optionally followed by a line break
    /// (shorter lines are padded), as toHeaderText writes them or as a header is read whole.
    /// Fails as fromFitsFile does.
    static Outcome<SkyWcs> fromHeaderText(const QString& cards);

    /// The failure numbers of a header without a celestial WCS, and of one whose WCS is refused:
    /// it would put the picture at a wrong place (a mapping card wcslib cannot read such as
    /// CRVAL1 = NAN, a value that is no finite number, a declination beyond the pole, a zero or
    /// singular CD / PC matrix); the reason then says which.
    static constexpr int NoWcsNumber = BadFile;
    static constexpr int RefusedWcsNumber = InvalidValue;

    /// The WCS as header cards, one card a line without its trailing blanks: wcslib's own
    /// rendering of it (SIP kept as SIP) at 17 significant digits, astrometry.net's note of the
    /// index that solved it, IMAGEW and IMAGEH.
    /// fromHeaderText of it gives the same mapping. Empty for an invalid WCS.
    QString toHeaderText() const;

    bool isValid() const;
    /// The MPC's code of the star catalogue the WCS was fitted to ("Tyc2", "2MASS", "Gaia2"),
    /// when the header has astrometry.net's note of the index that solved it; empty otherwise.
    QString catalogue() const;
    /// The picture size in pixels the WCS is for; 0 when the header does not say.
    int width() const;
    int height() const;
    /// The projection as the header names it after the axis type: "TAN", "TAN-SIP", "SIN", ...
    QString projection() const;

    /// Sky position of a FITS pixel (see above); nothing where the projection is undefined.
    std::optional<SkyCoord> fitsToSky(QPointF fitsPixel) const;
    /// FITS pixel of a sky position; nothing where the projection is undefined (the far side of
    /// the sky for TAN).
    std::optional<QPointF> skyToFits(SkyCoord sky) const;

    /// Sky position of a picture pixel (continuous, y down, see above).
    std::optional<SkyCoord> pictureToSky(QPointF picturePixel) const;
    /// Picture pixel of a sky position.
    std::optional<QPointF> skyToPicture(SkyCoord sky) const;

    /// Sky position under the cursor of the readout: (x, y) in twips of the displayed picture,
    /// y down from its top-left corner, the picture shown at displayScale screen pixels per
    /// picture pixel. Nothing for a zero scale.
    std::optional<SkyCoord> skyAtTwips(float x, float y, float displayScale) const;

    /// The conversions between the two pixel frames for a picture height pixels high.
    static QPointF fitsFromPicture(QPointF picturePixel, int height);
    static QPointF pictureFromFits(QPointF fitsPixel, int height);

    /// Angular size of a pixel at the picture's centre, arc-seconds (the square root of the
    /// local area); 0 when unknown.
    double arcsecPerPixel() const;

    /// What txtInfo shows of the picture: its centre, its width and height in degrees along the
    /// lines through the centre, its size in pixels, and the angle from the picture's upward
    /// direction to the direction of the north pole at the centre (radians, counter-clockwise
    /// on the screen). Throws VorlanError when the WCS is invalid, has no picture size, or the
    /// centre or an edge lies outside the projection.
    PlateFacts plateFacts() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
    /// The WCS of header cards, parsed; invalid, with its reason kept, when they hold none.
    static SkyWcs parsed(const QString& cards);
    /// This WCS, or why it is not one.
    Outcome<SkyWcs> checked() &&;
};

} // namespace vorlan
