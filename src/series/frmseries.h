#pragma once

#include "series/seriesstack.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vorlan {

/// "Серия": the frames of a series, one row each (file, mid-exposure time, exposure, stars, the
/// registration or why it failed, a check box that leaves a frame out of the stacks), the progress
/// of the registration with "Прервать", and the stacking commands. Not modal: the main window is
/// used while it is open. The window only shows and asks; the main window does the work.
class frmSeries : public QWidget {
    Q_OBJECT
  public:
    explicit frmSeries(QWidget* parent = nullptr);

    QLabel* lblStatus;
    QTableWidget* lstFrames;
    QProgressBar* prgSeries;
    QPushButton* cmdStop;
    QComboBox* cboGroups;
    QComboBox* cboCombine;
    QPushButton* cmdStack;
    QPushButton* cmdMotion;

    /// Columns of lstFrames.
    enum Column { Use, File, Time, Exposure, Stars, State, Columns };

    /// Lists the files as waiting to be registered and shows the progress bar.
    void startRegistering(const QStringList& paths);
    /// The progress of the running work: done of total, with its text.
    void showProgress(int done, int total, const QString& text);
    /// Lists a registered series; the commands are offered when it has frames to stack.
    void showSeries(const SeriesRegistration& series, const QString& status);
    /// Work has ended or stopped: the progress bar goes, status is shown.
    void workEnded(const QString& status);
    /// The series as listed, with the frames whose box is cleared left out.
    SeriesRegistration series() const;
    /// The stacking chosen: groups and how they are combined.
    int groups() const;
    StackCombine combine() const;
    void setStacking(int groups, StackCombine combine);

  signals:
    void stopRequested();
    void stackRequested();
    void motionRequested();

  private:
    SeriesRegistration m_series;
    QCheckBox* useBox(int row) const;
    void setWorking(bool working);
};

/// The window, created on first use (and again after it was closed).
frmSeries& SeriesWindow();
bool SeriesWindowExists();

} // namespace vorlan
