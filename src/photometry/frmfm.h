#pragma once

#include "photometry/photometrycut.h"
#include "photometry/starmeasure.h"

#include <QPointF>
#include <QWidget>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vorlan {

class CircleShape;
class ClickLabel;
class CutView;
class PanBar;

/// "Фотометрия избранной области": the 400 x 400 cut-out of picture 1 and the star measurement
/// against one or two comparison stars. Controls are public and carry their names as
/// objectName. The measurement reads the cut-out with its restricting rings; the red star marks
/// are drawn over it for the eye only, so measuring a star again gives the same figures.
/// "Выход" hides the window with all it holds; closing it through the title bar destroys it and
/// PhotometryForm() builds it afresh.
class frmFM : public QWidget {
    Q_OBJECT
  public:
    explicit frmFM(QWidget* parent = nullptr);

    CutView* Pic1;
    QLabel* lblFM;
    ClickLabel* lblZvet;
    QLabel* lblzvetZ;
    PanBar* HScFM;
    QLabel* Label1;
    QPushButton* cmdV;
    QPushButton* cmdOtmena;
    QLabel* Label4;
    QLabel* Label2;
    QLabel* Label5;
    ClickLabel* lblInfo3;
    QLabel* LblInfo1;
    QLabel* LblInfo2;
    QLabel* Label9;
    QLineEdit* TxtInfo;
    QLabel* Label10;
    QLineEdit* txtKb;
    QLabel* Label6;
    QLabel* Label8;
    QLabel* Label11;
    QLineEdit* txtZ;
    QLineEdit* txtM;
    QLabel* Label12;
    QLineEdit* txtZ2;
    QLineEdit* txtM2;
    QLabel* Label7;
    QLabel* lblZV;
    PanBar* HScrUv;
    QLabel* Label3;
    QLabel* Label13;
    PanBar* HScrR;
    CircleShape* Shp1;

    /// Mouse on the cut-out, (x, y) in its pixels: right click sets the threshold from the
    /// pixel, left click draws a restricting circle, Ctrl + left click measures the star.
    void Pic1_MouseDown(int button, int shift, int x, int y);
    /// Distance of the cursor from the centre of picture 1 into lblInfo3, from the point that the
    /// cut-out holds (CutX1, CutY1 are reused by the comparison cut-out, in other units).
    void Pic1_MouseMove(int button, int shift, int x, int y);
    void HScFM_Change();
    void HScrR_Change();
    void HScrUv_Change();
    void cmdOtmena_Click();
    void cmdV_Click();
    void lblInfo3_Click();

    /// Measures the star at (x, y), cut-out pixels, and shows its figures.
    void MeasureStar(double x, double y);

    /// Makes cut the picture the window shows and measures, and the base "Отмена" returns to.
    void setCut(const PhotometryCut& cut);
    /// What the measurement reads: the last cut-out with the rings drawn since.
    const PhotometryCut& measured() const { return m_work; }
    /// Shows the window modeless, in front.
    void showWindow();
    /// The magnitude of the star last measured, when it came out as a number and that star covers
    /// the given pixel of picture 1 (continuous pixels, y down): what a report of an object there
    /// takes as its brightness.
    std::optional<double> magnitudeAt(QPointF picture1Pixel) const;

  private:
    void repaintPicture();
    ComparisonTexts comparisonTexts() const;

    PhotometryCut m_base;
    PhotometryCut m_work;
    /// Star pixels found since the last cut-out (non-zero bytes), drawn over the picture.
    QImage m_marks;
    /// The last star measured to a magnitude: its runs of pixels in picture 1 and the magnitude.
    struct MeasuredStar {
        QVector<StarRun> runs;
        double magnitude = 0;
    };
    std::optional<MeasuredStar> m_measured;
};

/// The photometry window, created (hidden) on first use.
frmFM& PhotometryForm();
/// True while the window exists.
bool PhotometryFormExists();

} // namespace vorlan
