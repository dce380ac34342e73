#pragma once

// Blinking shows only what changed in the sky when picture k is drawn at picture 1's brightness:
// a straight line per channel, fitted on the sky both pictures show, maps picture k's values onto
// picture 1's. The same line gives the difference picture, picture k less picture 1 about mid grey.
//
// Positions are continuous picture pixels: pixel column i spans [i, i + 1).

#include "stars/backgroundmap.h"
#include "stars/similaritytransform.h"
#include "view/tonemap.h"

#include <QImage>
#include <QPointF>
#include <QString>
#include <QVector>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace vorlan {

/// Where picture k's pixels lie under picture 1's as the two frames are placed in the picture
/// area: the point p of picture 1 (pixels) is the point scale * p + (dx, dy) of picture k.
struct PixelMapping {
    double scale = 1;
    double dx = 0;
    double dy = 0;
    bool operator==(const PixelMapping&) const = default;
    QPointF map(QPointF p1) const { return {scale * p1.x() + dx, scale * p1.y() + dy}; }
};

/// The mapping of two frames: picture 1's top-left corner at (left1, top1) drawn at scale1,
/// picture k's at (leftK, topK) drawn at scaleK; positions in pixels of the picture area, scales in
/// drawn pixels per picture pixel (both above 0).
PixelMapping mappingBetween(double left1, double top1, double scale1, double leftK, double topK, double scaleK);

/// Where picture k has sky of its own in the picture drawn for it: a turned copy has black corners
/// that are no sky. The drawn picture's point q is the decoded picture's toFile.map(q); it counts
/// when that lies on the decoded picture (of `size` pixels) two pixels in from its border, where
/// the turn's resampling took no black from outside. An empty size: the drawn picture is all sky.
struct Footprint {
    SimilarityTransform toFile;
    QSize size;
    QImage decoded; ///< the decoded picture itself, whose sky is measured (optional)
};

/// True when the two mappings put every pixel of a picture of `extent` pixels (its larger side)
/// within a fiftieth of a pixel of the same place: a fit made for one holds for the other.
bool sameRegistration(const PixelMapping& a, const PixelMapping& b, double extent);

/// How many levels of 0..255 a channel's histogram counts.
using LevelCounts = std::array<uint32_t, 256>;

/// The line v1 = a * v + b that carries the values of one channel of picture k onto picture 1's,
/// from the two pictures' histograms over the same sky (same number of samples in each): each
/// level of picture k is paired with the value of picture 1 at the same quantile, and the line
/// goes through those pairs by the median of their pairwise slopes (Theil-Sen), its offset the
/// median over the samples. Levels 0 and 255, where values were clipped, take no part, so a
/// star that changed, a moving object or a saturated core moves a few pairs and not the line.
/// Empty histograms, or a single usable level, give no line: nothing is returned then.
std::optional<ToneLine> matchLevels(const LevelCounts& picture1, const LevelCounts& pictureK);

/// The smooth sky of two pictures whose gradients differ (moonlight in one, light pollution from
/// another side in the other), as star detection measures it (BackgroundMap, cells of 64 pixels),
/// channel by channel. Picture k is matched as a * (vk - sky k) + sky 1 + c: its line a * vk + b
/// (the line at the median sky) plus offset(), which changes as slowly as the two skies do.
class SkyGradients {
  public:
    /// The maps of picture 1 and picture k (red, green, blue; the first alone for grey pictures),
    /// placed by mapping; picture k's map measured on the picture that kToMap carries its drawn
    /// pixels to (the decoded picture of a turned copy, whose black corners are no sky).
    SkyGradients(std::array<BackgroundMap, 3> one, std::array<BackgroundMap, 3> k, const PixelMapping& mapping,
                 bool grey, const SimilarityTransform& kToMap = {});
    /// Sky level of channel ch (0 red, 1 green, 2 blue) of picture 1 at p1 and of picture k at pk,
    /// grey levels; positions in each picture's continuous pixels.
    double skyOne(int ch, QPointF p1) const;
    double skyK(int ch, QPointF pk) const;
    /// The median sky level of each picture's map, channel ch.
    double medianOne(int ch) const { return m_medianOne[size_t(index(ch))]; }
    double medianK(int ch) const { return m_medianK[size_t(index(ch))]; }
    const PixelMapping& mapping() const { return m_mapping; }

    /// Takes the lines fitted on the pictures less their skies: line[ch] carries picture k's
    /// height above its sky onto picture 1's (a, and the offset c that is left).
    void setResidualLines(const std::array<ToneLine, 3>& lines);
    /// The line of channel ch at the median skies: a * vk + b with b = median 1 - a * median k + c.
    ToneLine line(int ch) const;
    /// What is added to line(ch) at picture k's point pk (its continuous pixels), grey levels.
    double offset(int ch, QPointF pk) const;
    /// offset() at the pixel centres start, start + step, ... (n of them, picture k's pixels),
    /// exact every few pixels and straight in between; into out.
    void offsetRow(int ch, QPointF start, QPointF step, int n, float* out) const;
    /// The largest |offset()| on a coarse grid over picture k (of sizeK pixels) where it lies on
    /// picture 1 (of sizeOne pixels), any channel.
    double largestOffset(QSize sizeOne, QSize sizeK) const;

  private:
    int index(int ch) const { return m_grey ? 0 : ch; }
    std::array<BackgroundMap, 3> m_one, m_k;
    std::array<double, 3> m_medianOne{}, m_medianK{};
    std::array<ToneLine, 3> m_residual{};
    PixelMapping m_mapping;
    bool m_grey = true;
    SimilarityTransform m_kToMap;
};

/// The fitted map of picture k onto picture 1: a line per channel (red, green, blue; all three
/// equal for two grey pictures). valid is false when the pictures share too little sky or show
/// nothing but flat areas; the lines are then the identity. When the pictures' skies differ in
/// shape, sky holds them and picture k is drawn as its line plus sky's offset.
struct BrightnessFit {
    std::array<ToneLine, 3> rgb{};
    bool grey = true; ///< both pictures are grey: one line stands for all channels
    bool valid = false;
    int samples = 0; ///< pixel pairs the histograms were taken from
    std::shared_ptr<const SkyGradients> sky;
};

/// An offset this small (grey levels) anywhere on the shared sky is left to the line alone.
constexpr double LeastSkyOffset = 2.0;

/// The samples the fit takes at most: a regular grid over the shared sky, thinned out so that a
/// 24-megapixel pair costs a small part of one pass over its pixels.
constexpr int FitSampleTarget = 1 << 18;

/// Fits picture k (Format_Grayscale8 or Format_RGB32) to picture 1 on the sky both show, placed
/// by mapping: the pixel pairs on a grid of at most about FitSampleTarget points of picture 1,
/// their histograms matched level by level (matchLevels), then matched again without the pairs
/// that disagree with that first line, so that a star which changed or moved leaves both
/// histograms instead of bending the line.
BrightnessFit fitBrightness(const QImage& picture1, const QImage& pictureK, const PixelMapping& mapping,
                            const Footprint& footprint = {});

/// The difference of picture k, brought to picture 1's brightness by fit, less picture 1, in
/// picture 1's pixel grid: 128 + (a * vk + b) - v1 per channel, clipped to 0..255, so equal sky is
/// mid grey, lighter where picture k is brighter and darker where it is fainter. A value clipped
/// at 0 or 255 in either picture is only a bound: a saturated core in picture k that matches
/// below picture 1's value is no change (128). Picture k is sampled bilinearly at the centre of
/// each pixel of picture 1; pixels that picture k (within its footprint) does not cover are 128.
/// Format_Grayscale8 for two grey pictures, else Format_RGB32. Where the skies differ in shape
/// (fit.sky), picture k's sky offset is added to its matched value.
QImage differencePicture(const QImage& picture1, const QImage& pictureK, const PixelMapping& mapping,
                         const BrightnessFit& fit, const Footprint& footprint = {});

/// Picture k as its fit draws it where the skies differ in shape (fit.sky set): every value v of
/// channel ch at pixel (x, y) becomes a * v + b + offset, rounded and clipped to 0..255; a value of 0
/// (a turned copy's corners) stays 0. Same size and format as pictureK (the picture drawn for
/// the slot, in whose pixels the fit was made). Null without fit.sky.
QImage matchedPicture(const QImage& pictureK, const BrightnessFit& fit);

/// The level per channel (red, green, blue) at which pictures matched by these fits all saturate:
/// the lowest level a fitted picture's 255 is drawn at, 255 when none is drawn lower.
std::array<int, 3> sharedCeiling(const QVector<BrightnessFit>& fits);

/// A slot's fit, and its difference picture once one is made, kept while the two pictures and
/// their registration stay as they were, so showing them again costs nothing. The difference
/// picture is made elsewhere (it takes a while) for a numbered fit, and taken only while that
/// fit stands.
class SlotMatch {
  public:
    /// Makes the fit belong to these pictures placed by mapping: fits again, and drops the
    /// difference picture, only when the pictures or their registration changed.
    void update(const QImage& picture1, const QImage& pictureK, const PixelMapping& mapping,
                const Footprint& footprint = {});
    /// Forgets the fit and lets go of the difference picture.
    void clear();
    bool fitted() const { return m_fitted; }
    const BrightnessFit& fit() const { return m_fit; }
    const PixelMapping& mapping() const { return m_mapping; }
    const Footprint& footprint() const { return m_footprint; }
    /// Which fit this is: every fit gets the next number.
    quint64 fitNumber() const { return m_fitNumber; }

    /// Picture k as matchedPicture() draws it for this fit, once made elsewhere (fit().sky only).
    const QImage& matched() const { return m_matched.picture; }
    bool matchedPending() const { return m_matched.pending; }
    void startMatched() { m_matched.pending = true; }
    /// A matched picture made for fit number `forFit`; kept only if that fit still stands.
    void takeMatched(const QImage& matched, quint64 forFit) { take(m_matched, matched, forFit); }

    const QImage& difference() const { return m_difference.picture; }
    /// True from startDifference() until a difference picture arrives.
    bool differencePending() const { return m_difference.pending; }
    void startDifference() { m_difference.pending = true; }
    /// A difference picture made for fit number `forFit`; kept only if that fit still stands.
    void takeDifference(const QImage& difference, quint64 forFit) { take(m_difference, difference, forFit); }
    void dropDifference() { m_difference.picture = QImage(); }

  private:
    /// A picture made elsewhere for one fit, and whether one is being made.
    struct Made {
        QImage picture;
        bool pending = false;
    };
    void take(Made& made, const QImage& picture, quint64 forFit);

    qint64 m_key1 = 0, m_keyK = 0;
    PixelMapping m_mapping;
    Footprint m_footprint;
    bool m_fitted = false;
    quint64 m_fitNumber = 0;
    BrightnessFit m_fit;
    Made m_difference, m_matched;
};

/// The fitted lines as the info box shows them, short: "a 0,556 b -13,9", with a value per
/// channel ("a 0,556/0,561/0,549 ...") only where the channels differ; the locale's decimal
/// separator.
QString fitText(const BrightnessFit& fit);

} // namespace vorlan
