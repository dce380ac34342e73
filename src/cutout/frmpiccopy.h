#pragma once

#include <QMainWindow>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace vorlan {

class CanvasBox;
class ClickLabel;

/// The comparison cut-out window: a frame of controls across the top and below it the canvas
/// Pic1, which receives the side-by-side cut-outs of pictures 1 and 2 and the rotated pictures,
/// takes circles by mouse clicks and is saved as a BMP file. "Выход" only hides the window, so
/// the canvas survives; closing it through the title bar destroys it, and PicCopyForm() builds
/// it afresh from its design state.
class frmPicCopy : public QMainWindow {
    Q_OBJECT
  public:
    explicit frmPicCopy(QWidget* parent = nullptr);

    QGroupBox* Frame1;
    QLabel* lblW;
    QLineEdit* txtW;
    QLabel* lblH;
    QLineEdit* txtH;
    QLabel* lblP;
    QLineEdit* txtP;
    QLabel* lblFile1;
    QLabel* lblFile2;
    ClickLabel* Label2;
    QLabel* Label1;
    QPushButton* cmdPrer;
    QPushButton* cmdEnd;
    QScrollArea* Pic1Area;
    CanvasBox* Pic1;
    QAction* SaveFile;

    /// The caption between runs.
    static QString restingCaption();
    /// Outer size of the window in pixels: frame included once the window has one.
    void setOuterSize(QSize size);

    // ---- a run on the canvas (cut-out or rotation), driven by the main window's handlers
    /// Forgets the drawing, so that a large run never needs room for two canvases.
    void clearCanvas();
    /// A run begins: the window shown, the old drawing gone and the canvas hidden while the new
    /// one is drawn, the labels showing the texts given (a null text leaves a label as it is).
    void beginRun(const QString& file1Text, const QString& file2Text);
    /// The labels as a run goes on, as in beginRun.
    void showFiles(const QString& file1Text, const QString& file2Text);
    /// A rotation's progress line, in txtP (where it stays as the next cut-out's caption).
    void showProgress(const QString& text);
    /// A run ends: the canvas takes the picture drawn and is shown or left hidden; the caption
    /// goes back to its resting text.
    void finishRun(QImage canvas, bool showCanvas);
    /// Prints a cut-out's caption on the canvas with its top-left corner at (0, top), canvas
    /// pixels, in 12-point Times and the colour of Label2.
    void printCaption(const QString& text, int top);

    /// Draws a circle on the canvas: Shift + left a large one (70 / the block picture's scale,
    /// line width 2), left a small one (15, or 15 × HScr1 / HScr2 beyond block 1); x, y in canvas
    /// pixels, colour of Label2.
    void Pic1_MouseDown(int button, int shift, float x, float y);
    void Label2_Click();
    /// The colour dialog: the chosen colour as 0xRRGGBB, or -1 when it was cancelled.
    int PickColour();
    void cmdPrer_Click();
    void cmdEnd_Click();
    void SaveFile_Click();

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    void buildControls();
    void connectHandlers();
};

/// The cut-out window, created (hidden) on first use and again after it was closed.
frmPicCopy& PicCopyForm();
/// True while the window exists.
bool PicCopyFormExists();

} // namespace vorlan
