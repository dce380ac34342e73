// Matched brightness and the difference view of the main window: pictures 2 and 3 drawn at
// picture 1's brightness, and their differences with picture 1.

#include "blink/brightnessmatch.h"
#include "blink/differencelayer.h"
#include "common/jobrunner.h"
#include "shell/frmbl.h"
#include "shell/guard.h"
#include "view/imageframe.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTimer>
#include <memory>

namespace vorlan {

namespace {

const QString MatchBrightnessKey = QStringLiteral("blink/matchBrightness");
/// The info box line that shows the fitted maps begins with this.
const QString FitLinePrefix = QStringLiteral("Яркость ");

/// The info box's text with its fit line replaced by line (appended when it had none, removed
/// when line is empty); the user's own lines stay as they are.
QString withFitLine(const QString& text, const QString& line) {
    QStringList lines = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    const auto at = std::find_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith(FitLinePrefix); });
    if (at != lines.end()) {
        if (line.isEmpty())
            lines.erase(at);
        else
            *at = line;
    } else if (!line.isEmpty()) {
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

/// Where picture k's pixels lie under picture 1's as the frames are placed now.
PixelMapping mappingOfFrames(const ImageFrame& img1, const ImageFrame& imgK) {
    return mappingBetween(img1.Left(), img1.Top(), img1.drawnScale(), imgK.Left(), imgK.Top(), imgK.drawnScale());
}

/// Where a turned frame's drawn picture holds the decoded picture's pixels; all of it otherwise.
Footprint footprintOf(const ImageFrame& img) {
    if (!img.isTurned()) return {};
    return {img.toShown().inverted(), img.picture().size(), img.picture()};
}

} // namespace

bool frmBl::matchBrightnessRemembered() {
    return QSettings().value(MatchBrightnessKey, false).toBool();
}

void frmBl::mnuJarkost_Click() {
    mnuJarkost->setChecked(!mnuJarkost->isChecked());
    QSettings().setValue(MatchBrightnessKey, mnuJarkost->isChecked());
    refreshBrightness();
}

void frmBl::mnuRaznost_Click() {
    const bool on = !mnuRaznost->isChecked();
    mnuRaznost->setChecked(on);
    refreshBrightness();
    ImgRaznost->setOn(on);
    // Turned on over picture 1, the view goes to the partner's difference at once: picture 1
    // alone would show no change.
    if (on && !isBlinking() && !Img1->isHidden()) {
        const QVector<BlinkView> cycle = blinkCycle();
        if (cycle.size() > 1 && !Img(cycle[1].slot)->picture().isNull()) ShowSlot(cycle[1].slot);
    }
}

// A 24-megapixel difference takes a few tenths of a second: it is made in the job runner's
// background lane (its rows shared out among the pool's), beside whatever the user runs, and
// shown when it arrives if its fit still stands. While the lane makes one slot's difference,
// the other's waits for the refresh that follows.
void frmBl::makeDifference(int k) {
    SlotMatch& slot = m_matches[size_t(k - 2)];
    auto made = std::make_shared<QImage>();
    const bool started = jobs().startBackground(
        [made, one = Img1->picture(), other = Img(k)->shownPicture(), mapping = slot.mapping(), fit = slot.fit(),
         footprint = slot.footprint()](JobControl&) {
            *made = differencePicture(one, other, mapping, fit, footprint);
        },
        guard([this, k, made, forFit = slot.fitNumber()](const JobEnd& end) {
            end.rethrowFailure();
            m_matches[size_t(k - 2)].takeDifference(*made, forFit);
            refreshBrightness();
        }));
    if (started) slot.startDifference();
}

// Picture k matched pixel by pixel (skies of different shapes) takes as long as its difference:
// made in the same background lane, and drawn when it arrives if its fit still stands. Until
// then the frame draws through the fitted line; a busy lane leaves it to the refresh that follows.
void frmBl::makeMatched(int k) {
    SlotMatch& slot = m_matches[size_t(k - 2)];
    auto made = std::make_shared<QImage>();
    const bool started = jobs().startBackground(
        [made, other = Img(k)->shownPicture(), fit = slot.fit()](JobControl&) {
            *made = matchedPicture(other, fit);
        },
        guard([this, k, made, forFit = slot.fitNumber()](const JobEnd& end) {
            end.rethrowFailure();
            m_matches[size_t(k - 2)].takeMatched(*made, forFit);
            refreshBrightness();
        }));
    if (started) slot.startMatched();
}

void frmBl::refreshBrightness() {
    m_brightnessDue->stop();
    const bool match = mnuJarkost->isChecked();
    const bool difference = mnuRaznost->isChecked();
    QStringList fitTexts;
    QVector<BrightnessFit> shown;
    for (int k = 2; k <= 3; ++k) {
        SlotMatch& slot = m_matches[size_t(k - 2)];
        ImageFrame* img = Img(k);
        if (!(match || difference) || Img1->picture().isNull() || img->picture().isNull()) {
            slot.clear();
        } else {
            slot.update(Img1->picture(), img->shownPicture(), mappingOfFrames(*Img1, *img), footprintOf(*img));
            if (slot.fit().valid) {
                fitTexts << QStringLiteral("%1: %2").arg(k).arg(fitText(slot.fit()));
                shown << slot.fit();
            }
            if (match && slot.fit().sky && slot.matched().isNull() && !slot.matchedPending()) makeMatched(k);
            if (!difference)
                slot.dropDifference();
            else if (slot.difference().isNull() && !slot.differencePending())
                makeDifference(k);
        }
        ImgRaznost->setDifference(k, slot.difference());
    }
    // Matched pictures saturate alike: where a brighter picture clipped, all are capped.
    const std::array<int, 3> ceiling = match ? sharedCeiling(shown) : std::array<int, 3>{255, 255, 255};
    Img1->setToneMap(ToneMap({}, ceiling));
    for (int k = 2; k <= 3; ++k) {
        const SlotMatch& slot = m_matches[size_t(k - 2)];
        const bool mapped = match && slot.fitted() && slot.fit().valid;
        const bool matchedPixels = mapped && !slot.matched().isNull();
        Img(k)->setDrawnPicture(matchedPixels ? slot.matched() : QImage());
        Img(k)->setToneMap(
            ToneMap(mapped && !matchedPixels ? slot.fit().rgb : std::array<ToneLine, 3>{}, ceiling));
    }
    const QString line = fitTexts.isEmpty() ? QString() : FitLinePrefix + fitTexts.join(QStringLiteral("; "));
    const QString text = withFitLine(txtInfo->toPlainText(), line);
    if (text != txtInfo->toPlainText()) txtInfo->setPlainText(text);
}

} // namespace vorlan
