#pragma once

#include "report/knownobjects.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace vorlan {

/// "Известные объекты в поле": the known minor planets and comets on picture 1, brightest first,
/// with the distance from each to the nearest candidate of the search. "Копировать" puts the list
/// on the clipboard as tab-separated text.
class frmKnown : public QWidget {
    Q_OBJECT
  public:
    explicit frmKnown(QWidget* parent = nullptr);

    QLabel* lblStatus;
    QTableWidget* lstKnown;
    QPushButton* cmdCopy;
    QPushButton* cmdStop; ///< "Прервать": stops reading the orbit file
    QPushButton* cmdVihod;

    /// Shows the objects (replacing those shown) with the distances to candidates (sky positions).
    void setObjects(const std::vector<KnownObject>& known, const std::vector<SkyCoord>& candidates);
    void setStatus(const QString& text);
    /// While the orbits are read and the places found: where the work stands, with "Прервать".
    void setProgress(const QString& text, int done, int total);
    /// The list as the clipboard gets it.
    QString text() const { return m_text; }

  private:
    QString m_text;
};

/// The window, created on first use (and again after it was closed).
frmKnown& KnownWindow();
bool KnownWindowExists();

/// The known objects drawn over a picture frame: a circle round each with its designation and V
/// beside it. A transparent child of the frame that lets the mouse through; it follows the frame's
/// placement (position and scale) by itself.
class KnownOverlay : public QWidget {
    Q_OBJECT
  public:
    /// frame is an ImageFrame; the overlay becomes its child.
    explicit KnownOverlay(QWidget* frame);
    /// Objects at picture pixels of the frame's picture.
    void setObjects(const std::vector<KnownObject>& known);
    const std::vector<KnownObject>& objects() const { return m_known; }
    /// Radius of the circles, screen pixels.
    static constexpr int Radius = 9;

  protected:
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    std::vector<KnownObject> m_known;
};

} // namespace vorlan
