#pragma once

#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vorlan {

/// Entry of the two reference stars' catalogue coordinates for picture 1 and the plate solution
/// "Считать!". Controls are public and carry their names as objectName; the coordinate fields
/// are control arrays (index 0 star 1, index 1 star 2, objectNames "txtH_0", "txtH_1", ...).
/// "Выход" only hides the window, so the typed values survive; closing it through the title bar
/// destroys it and VvodKoordinatForm() builds it afresh from its design state.
class frmVvodKoordinat : public QWidget {
    Q_OBJECT
  public:
    explicit frmVvodKoordinat(QWidget* parent = nullptr);

    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label1;
    QLabel* Label2;
    std::array<QLineEdit*, 2> txtH{};
    std::array<QLineEdit*, 2> txtHM{};
    std::array<QLineEdit*, 2> txtGr{};
    std::array<QLineEdit*, 2> txtGrM{};
    QLabel* lblAlf1;
    QLabel* lblAlf2;
    QLabel* lblDel1;
    QLabel* lblDel2;
    QLabel* Label9;
    QLabel* lblInfo;
    QPushButton* cmdSzet;
    QPushButton* cmdExit;

    // Coordinate entry: clean the changed field and recompute that star's coordinate.
    void txtH_Change(int index);
    void txtHM_Change(int index);
    void txtGr_Change(int index);
    void txtGrM_Change(int index);
    void txtH_GotFocus(int index);
    void txtHM_GotFocus(int index);
    void txtGr_GotFocus(int index);
    void txtGrM_GotFocus(int index);

    void Form_Activate();
    void Form_QueryUnload();
    void cmdExit_Click();
    /// The plate solution of picture 1: centre, size, angle to the pole, into lblInfo and the
    /// main window's txtInfo. Throws VorlanError on degenerate marks or star coordinates; the
    /// button reports it through the handler guard, the project reader through its own.
    void cmdSzet_Click();

    /// Shows the window modally (input to the other windows is blocked until it is hidden).
    void showModal();

  protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void recomputeRightAscension(int index);
    void recomputeDeclination(int index, int sign);
};

/// The coordinate entry window, created (hidden) on first use.
frmVvodKoordinat& VvodKoordinatForm();
/// True while the window exists.
bool VvodKoordinatFormExists();

} // namespace vorlan
