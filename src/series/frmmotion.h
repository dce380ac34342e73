#pragma once

#include "series/seriesstack.h"

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;
class QPushButton;

namespace vorlan {

/// "Сложить по движению": the motion to stack the series along, in pixels per hour and degrees
/// clockwise from up (as "Движущиеся объекты" gives them), and whether it makes picture 3 alone
/// or all the stacks. Opened without blocking; `chosen` says what the user asked for.
class frmMotion : public QDialog {
    Q_OBJECT
  public:
    explicit frmMotion(QWidget* parent, const SeriesMotion& start);

    QDoubleSpinBox* txtSpeed;
    QDoubleSpinBox* txtDirection;
    QCheckBox* chkAll;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    SeriesMotion motion() const;

  signals:
    /// OK was pressed: the motion and whether every stack is to follow it.
    void chosen(const SeriesMotion& motion, bool all);
};

} // namespace vorlan
