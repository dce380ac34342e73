#pragma once

#include "deep/deepplan.h"

#include <QDialog>

class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vorlan {

/// "Глубокий поиск": the motions to search (speeds in pixels per hour, or in arc seconds per minute
/// when the pictures have a sky solution; directions clockwise from up), the stacked
/// signal-to-noise an object needs, and the estimate of the time the search takes, kept up to
/// date as the user changes them. While the search runs it shows its progress and "Прервать".
/// The window only asks and shows; the main window runs the search.
class frmDeep : public QDialog {
    Q_OBJECT
  public:
    /// arcsecPerPixel: the reference frame's scale when a sky solution is in force, else 0.
    frmDeep(QWidget* parent, const SeriesRegistration& series, double arcsecPerPixel);

    QDoubleSpinBox* txtMinSpeed;
    QDoubleSpinBox* txtMaxSpeed;
    QDoubleSpinBox* txtFromDirection;
    QDoubleSpinBox* txtToDirection;
    QDoubleSpinBox* txtThreshold;
    QLabel* lblEstimate;
    QProgressBar* prgDeep;
    QPushButton* cmdStart;
    QPushButton* cmdStop;
    QPushButton* cmdClose;

    /// The search as the fields ask for it, speeds in reference pixels per hour.
    DeepSearchOptions options() const;
    /// The progress of the running search.
    void showProgress(int done, int total, const QString& text);
    /// The search has ended (or could not start): the fields are offered again, status shown.
    void workEnded(const QString& status);

  signals:
    void startRequested(const DeepSearchOptions& options);
    void stopRequested();

  private:
    SeriesRegistration m_series;
    double m_scale;
    void showEstimate();
    void setWorking(bool working);
    /// Pixels per hour of a speed as the fields show it.
    double pixelsPerHour(double shown) const;
};

} // namespace vorlan
