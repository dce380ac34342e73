#pragma once

// The pictures a window, a series or a command-line run works on, and everything known about
// each: a Session of Slots. It is the model; windows show it and features read and write it.
// Nothing here creates a widget, so a run under QCoreApplication uses the same class.
//
//     Session session;                                   // three slots, as the main window has
//     session.setPicture(1, path, decoded.value());      // slotChanged(1, Picture | ...)
//     session.findStars(1, jobs, [&] { use(*session.slot(1).currentStars()); });
//
// Slots are numbered from 1. Every setter emits slotChanged once, with the parts it changed;
// a new picture drops what was known of the old one (its points, registration, stars, time,
// sky and brightness), and a new picture 1 drops every other slot's registration too.

#include "common/outcome.h"
#include "session/slot.h"
#include "view/picturefile.h"

#include <QObject>
#include <functional>
#include <vector>

namespace vorlan {

class JobRunner;

/// A picture file read once, off the GUI thread: the decoded picture, its observation time and the
/// WCS of its header (invalid when it has none).
struct LoadedPicture {
    QString path;
    QImage picture;
    std::optional<QDateTime> time;
    SkyWcs headerWcs;
};

/// Reads path: pixels (PictureLoadOptions), mid-exposure time (the camera's clock cameraClockOffsetMinutes
/// ahead of UTC, for EXIF times) and header WCS. Values only: safe on a worker thread.
Outcome<LoadedPicture> readPicture(const QString& path, const PictureLoadOptions& options,
                                   int cameraClockOffsetMinutes);

class Session : public QObject {
    Q_OBJECT
  public:
    explicit Session(int count = 3, QObject* parent = nullptr);

    int count() const { return int(m_slots.size()); }
    /// Makes the session hold n slots; slots beyond n are dropped, new ones are empty.
    void setCount(int n);
    /// Slot k, 1 .. count().
    const Slot& slot(int k) const;

    /// Puts a decoded picture into slot k under a new version, dropping what was known of the
    /// slot's former picture.
    void setPicture(int k, const QString& path, const QImage& picture);
    /// setPicture with the time and the header WCS read beside the pixels; the header WCS is the
    /// sky source in force when it is valid.
    void setLoaded(int k, const LoadedPicture& loaded);
    /// Empties slot k.
    void clear(int k);

    /// Reference point p (1 or 2) of slot k, pixels; none removes it.
    void setPoint(int k, int p, std::optional<QPointF> at);
    /// Slot k's placement on picture 1, with the turned picture made from it; none unregisters.
    void setRegistration(int k, std::optional<SlotRegistrationState> registration);
    /// Slot k's star list, found on the picture of version; kept only while the slot holds it.
    void setStars(int k, quint64 version, const StarList& stars);
    void setTime(int k, std::optional<QDateTime> time);
    void setSky(int k, const SlotSky& sky);
    void setBrightness(int k, std::optional<BrightnessFit> fit);

    /// The transform of slot k's pixels onto picture 1's: the identity for slot 1, the slot's
    /// registration for the others; none when either slot is empty or k is not registered.
    std::optional<SimilarityTransform> toPicture1(int k) const;
    /// Sky position of a picture 1 pixel: the WCS in force, else the two-star solution; none
    /// when picture 1 has neither or the position lies outside the projection.
    std::optional<SkyCoord> skyAtPicture1(QPointF pixel) const;

    /// Calls then once slot k's star list for its current picture is there: at once when it was
    /// found before, else after finding it as a job on jobs. False, and then never called, when
    /// the slot is empty or jobs refuses the start (another job runs). then is not called when
    /// the job is stopped or the slot gets another picture meanwhile.
    bool findStars(int k, JobRunner& jobs, std::function<void()> then = {});

  signals:
    /// Slot k changed: what says which parts.
    void slotChanged(int k, SlotParts what);
    /// The number of slots changed.
    void countChanged(int count);

  private:
    Slot& at(int k);
    std::vector<Slot> m_slots;
    quint64 m_lastVersion = 0;
};

} // namespace vorlan
