#pragma once

#include "blink/blinkcycle.h"
#include "blink/brightnessmatch.h"
#include "common/jobrunner.h"
#include "view/picturefile.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointF>
#include <QStringList>
#include <QVector>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QAction;
class QFrame;
class QImage;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace vorlan {

struct AutoRegistration;
struct SimilarityTransform;
struct SlotRegistration;
class ClickLabel;
class DifferenceLayer;
class ImageFrame;
class MarkerOverlay;
class PanBar;
class PictureBox;
struct PictureSky;
enum class SkySource;
struct MoverSession;
struct KnownSession;
struct MovingSearchResult;
struct PickedSpot;
struct SlotStars;
struct SkyCoord;
struct ShownSeries;
struct StackInSlot;
struct StoredSeries;
struct StackOptions;
struct ProjectRecord;

/// The main window: the picture area with the three image frames and the pan bars, the control
/// panel Frm1, and the menus. Controls are public members named as the user guide names them
/// (and carry the same objectName), because the other windows read and write them directly.
/// Handlers are named control_event; their bodies live in the folder of their subsystem.
class frmBl : public QMainWindow {
    Q_OBJECT
  public:
    explicit frmBl(QWidget* parent = nullptr);
    ~frmBl() override;

    // ---- picture area
    QWidget* pictureArea;
    ImageFrame* Img1;
    ImageFrame* Img2;
    ImageFrame* Img3;
    DifferenceLayer* ImgRaznost;
    MarkerOverlay* Line4;
    PictureBox* Pic1;
    PanBar* HScroll1;
    PanBar* VScroll1;
    QTimer* Timer1;
    QFrame* Frm1;
    // ---- control panel
    QLabel* Label5;
    PanBar* HScrTime;
    QLabel* Label6;
    QLabel* lblInfo;
    QLabel* lblInfo2;
    std::array<QLabel*, 3> Label1{};
    ClickLabel* Label2;
    QLabel* LblFile;
    PanBar* HScr1;
    PanBar* HScr2;
    PanBar* HScr3;
    PanBar* HScrOb;
    QLabel* LBLk1;
    QLabel* LBLk2;
    QLabel* lblk3;
    QLabel* lblKOb;
    ClickLabel* Lbl1;
    ClickLabel* Lbl2;
    ClickLabel* Lbl3;
    QPushButton* cmdHelp;
    ClickLabel* lblVvod1;
    ClickLabel* lblVvod2;
    QPushButton* CmdStart;
    QLabel* lblT1;
    QLabel* LblT2;
    QPushButton* CmdSovm;
    QPushButton* cmdSbros;
    QPlainTextEdit* txtInfo;
    // ---- menus
    QMenu* Menu;
    QAction* Open1File;
    QAction* Open2File;
    QAction* Open3File;
    QAction* mnuRamka;
    QMenu* mnuFile;
    QAction* mnuFileOpen;
    QAction* mnuFileSeries;
    QAction* mnuFileSave;
    QAction* mnuFileGif;
    QAction* mnuFileCopyFrame;
    QMenu* mnuViravnivanie;
    QAction* mnuVirovnjat2t;
    QAction* mnuVirovnjat;
    QAction* mnuVirovnjat1_3;
    QAction* mnuAutoSovm;
    QAction* mnuProbel1;
    QAction* mnuViravnivanie_vvod_koord;
    QAction* mnuSolve;
    QMenu* mnuVL;
    QAction* mnuVL_1_2;
    QAction* mnuVL_1_3;
    QAction* mnuVL_1_2_3;
    QAction* mnuJarkost;
    QAction* mnuRaznost;
    QAction* mnuMovers;
    QAction* mnuReportLine;
    QAction* mnuSettings;
    QAction* mnuVesSnimok;
    QAction* mnuOrbitFile;
    QAction* mnuKnownObjects;
    QAction* mnuFM;
    QMenu* mnuHelp;
    QAction* mnuHelpVL;
    QAction* mnuHelpFM;
    QAction* ExitProgram;
    QAction* mnuKoordinat;

    // ---- slot-numbered access (k = 1, 2, 3)
    ImageFrame* Img(int k) const;
    PanBar* HScr(int k) const;
    ClickLabel* Lbl(int k) const;
    QLabel* scaleLabel(int k) const;

    // ---- control state that doubles as program state
    /// Blinking runs while CmdStart does not read "ПУСК".
    bool isBlinking() const;
    /// Timer1's interval in milliseconds, 0 when it does not tick.
    int timerInterval() const;
    /// Sets Timer1's interval; 0 stops it.
    void setTimerInterval(int ms);
    /// Stops blinking: interval 0 and the caption "ПУСК".
    void stopBlinking();
    /// The armed reference point: 1 or 2 when its label is yellow, 0 when none is.
    int armedPoint() const;
    /// Selector label colours: slot k yellow, the others green.
    void highlightSlot(int k);
    /// Window size and position in twips, as the load and resize rules see them.
    float widthTwips() const { return m_widthTwips; }
    float heightTwips() const { return m_heightTwips; }
    /// Private fields of the window.
    float OverallFactor = 0;
    int16_t BlinkPhase = 0;
    /// How the window's pictures are loaded (decoded afresh, too).
    PictureLoadOptions pictureLoading;

    // ---- long work
    /// The one runner of long work (cut-out, rotation, ...): one job at a time, off the GUI thread.
    JobRunner& jobs() { return *m_jobs; }
    /// Starts a job on the runner with its handlers guarded (an exception in one is reported as a
    /// handler's). StopRequested is cleared when the job starts and again when it ends, after
    /// onFinished. Returns false, and starts nothing, while another job runs.
    bool startJob(const QString& title, JobRunner::Work work, JobRunner::OnProgress onProgress,
                  JobRunner::OnFinished onFinished);
    /// "Прервать": StopRequested raised and the running job asked to stop.
    void requestStop();

    // ---- shell handlers
    void Form_Load();
    void Form_Resize();
    void Form_KeyDown(int16_t keyCode);
    void Menu_Click();
    void mnuFile_Click();
    void mnuViravnivanie_Click();
    void mnuRamka_Click();
    void mnuVL_1_2_Click();
    void mnuVL_1_3_Click();
    void mnuVL_1_2_3_Click();
    void mnuVL_Click();
    void mnuFM_Click();
    void cmdHelp_Click();
    void mnuHelpVL_Click();
    void mnuHelpFM_Click();
    void ExitProgram_Click();
    void txtInfo_MouseMove();
    void Label2_Click() {}

    // ---- pictures and view
    void Open1File_Click() { LoadSlot(1); }
    void Open2File_Click() { LoadSlot(2); }
    void Open3File_Click() { LoadSlot(3); }
    void LoadSlot(int k);
    void HScr1_Change() { RescaleSlot(1); }
    void HScr2_Change() { RescaleSlot(2); }
    void HScr3_Change() { RescaleSlot(3); }
    void RescaleSlot(int k);
    /// Gives slot k exactly this display scale (a registration's, finer than the bar's
    /// thousandths): the bar moves to the nearest thousandth without acting, the slot is
    /// rescaled as by the bar.
    void setExactScale(int k, float scale);
    /// The size, in pixels, of what slot k's frame shows at scale 1: its turned picture, or else
    /// the picture's size as loaded.
    QSizeF shownSize(int k) const;
    void HScrOb_Change();
    void HScroll1_Change();
    void VScroll1_Change();
    /// "Весь снимок в окне": picture 1 whole in the picture area, the other pictures zoomed and
    /// moved with it, so that what is registered stays registered.
    void mnuVesSnimok_Click();
    /// Zooms every picture by factor, and moves them, so that what was drawn at `from` comes to
    /// `to` (pixels of the picture area): the pictures stay registered on each other. The factor
    /// is limited so that no scale leaves its bar's range; returns the factor applied.
    float zoomPictures(QPointF from, QPointF to, float factor);
    void Lbl1_Click() { ShowSlot(1); }
    void Lbl2_Click() { ShowSlot(2); }
    void Lbl3_Click() { ShowSlot(3); }
    void ShowSlot(int k);

    // ---- blinking
    void CmdStart_Click();
    void HScrTime_Change();
    void Timer1_Timer();
    void placeMarkerBox();
    /// What each phase of the blink cycle shows, phase 1 first, as the "Vorlan" menu sets it.
    QVector<BlinkView> blinkCycle() const;
    /// Shows phase p (1 = the first) of the cycle as a tick does: its slot's frame shown, the
    /// cycle's other frames hidden (a difference shows over its slot's frame by itself).
    void showBlinkPhase(int p);

    // ---- brightness matching and the difference view
    void mnuJarkost_Click();
    void mnuRaznost_Click();
    /// Brings the brightness maps of pictures 2 and 3, their difference pictures and the info
    /// line up to date with the pictures, their registration and the two menu items; refits only
    /// what changed.
    void refreshBrightness();
    /// Whether "Выравнивать яркость" was on when the program last ran.
    static bool matchBrightnessRemembered();
    /// Starts making the difference picture of slot k (2 or 3) for its current fit.
    void makeDifference(int k);
    void makeMatched(int k);

    // ---- sharing what blinks
    void mnuFileGif_Click();
    void mnuFileCopyFrame_Click();
    /// What is shared, in pixels of the picture area: all of it, or the marker box's square
    /// while the box is shown.
    QRect sharedRect() const;
    /// The pictures in region (pixels of the picture area) as the screen shows them now,
    /// without the marker lines.
    QImage shownPictures(const QRect& region);
    /// The pictures in region as the screen shows them in phase p of the blink cycle; what the
    /// screen shows now is left as it was.
    QImage blinkFrame(int p, const QRect& region);

    // ---- reference points and overlay
    void lblVvod1_Click() { ArmPoint(1); }
    void lblVvod2_Click() { ArmPoint(2); }
    void ArmPoint(int p);
    void Img_MouseDown(int k, int button, int shift, float x, float y);
    /// Marks point p (1 or 2) of picture k at `at` (picture twips of the decoded picture), as a
    /// click with the point armed does once it is agreed.
    void markPoint(int k, int p, QPointF at);
    void cmdSbros_Click();
    void CmdSovm_Click();
    /// The overlay of one picture (2 or 3): its point 1 laid on picture 1's.
    void overlaySlot(int k);
    void mnuVirovnjat2t_Click();
    void mnuVirovnjat_Click() { RotateOntoPicture1(2); }
    void mnuVirovnjat1_3_Click() { RotateOntoPicture1(3); }
    /// Turns picture k (2 or 3) about its centre onto the canvas of the cut-out window, so that
    /// the direction between its reference points matches picture 1's.
    void RotateOntoPicture1(int k);

    // ---- automatic registration
    /// "Совместить автоматически": registers pictures 2 and 3 on picture 1 by their stars, on
    /// the job runner; points, scales, turns and positions follow when it ends.
    void mnuAutoSovm_Click();
    /// Shows picture k (2 or 3) registered by toPicture1: turned when the registration turns or
    /// mirrors it (turned is then the resampled picture), at exactly `scale`, laid over picture 1.
    void showRegistered(int k, const SimilarityTransform& toPicture1, const QImage& turned, float scale);
    /// Shows the registered pictures of an opened project again: each turned one is resampled
    /// on the job runner (after a job that runs), then given its scale and laid over picture 1.
    void restoreRegistrations(const QList<SlotRegistration>& registered);
    /// Runs f now when no long work runs, else as soon as the running job has ended.
    void whenJobsFree(const std::function<void()>& f);

    // ---- sky coordinates
    void Img1_MouseMove(int button, int shift, float x, float y);
    void mnuViravnivanie_vvod_koord_Click();
    /// "Определить координаты по звёздам...": detects the stars of picture 1 and solves it with
    /// astrometry.net while a progress window offers "Прервать".
    void mnuSolve_Click();
    /// Picture 1's sky coordinates: the WCSs it has and the source in force.
    PictureSky& pictureSky() { return *m_sky; }
    /// Puts a source in force. A WCS source turns the readout on and writes the four lines of
    /// its plate facts into txtInfo; every source names itself on a line of its own there.
    void putSkyInForce(SkySource source);
    /// What makes the two-star solution stale (a mark on picture 1, a reset) switches the
    /// readout off, unless a WCS is in force: that one does not depend on the marks.
    void twoStarSolutionStale();
    /// Picture 1 now shows the file at path (empty: no picture): its header WCS, if any, is in
    /// force; a WCS of the picture before it is dropped.
    void picture1Changed(const QString& path);

    // ---- moving objects, observation times and the report
    /// Mid-exposure time (UTC) of the picture in slot k, read from its file with the camera clock
    /// offset of the settings; none when the slot is empty or the file does not say.
    std::optional<QDateTime> pictureTime(int k) const;
    /// The tool tip of the selector label of slot k: its file and, when known, its time.
    QString slotToolTip(int k) const;
    /// Shows each loaded picture's time in its selector label's tool tip and in txtInfo.
    void showPictureTimes();
    /// Sky position of a picture 1 pixel (continuous pixels, y down) from the sky solution in
    /// force; none when there is none.
    std::optional<SkyCoord> skyAtPicture1(QPointF pixel) const;
    /// The transform of slot k's pixels to slot 1's: the identity for slot 1; for slot 2 or 3 the
    /// one of its two reference points on those of picture 1. None while slot k is not registered.
    std::optional<SimilarityTransform> slotTransform(int k) const;
    /// Puts the observations of the spots (slot, picture 1 pixels) at the slots' times on the
    /// clipboard and into the notepad; tells the user what is missing instead.
    void reportSpots(const QVector<std::pair<int, QPointF>>& spots);
    /// Reports the star nearest a Shift + click, its picture's stars found first when need be.
    void reportPicked(const PickedSpot& spot);
    void reportPickedStar(const PickedSpot& spot, const SlotStars& known);
    /// Shows the result of a search over the pictures of the given slots in the list window.
    void showMovers(const MovingSearchResult& result, const QVector<int>& pictureSlots);
    /// Pans the pictures so that a picture 1 pixel comes to the middle of the picture area (as
    /// far as the pan bars reach) and puts the marker box on it.
    void centreOn(QPointF picture1Pixel);
    /// Remembers a Shift + click at (x, y) twips on slot k as the spot a report is for.
    void pickReportSpot(int k, float x, float y);
    void mnuMovers_Click();
    void mnuReportLine_Click();
    void mnuSettings_Click();
    void lstMovers_Choose(int row);
    const MoverSession& moverSession() const { return *m_session; }

    // ---- known minor planets and comets (report/frmbl_known.cpp)
    void mnuOrbitFile_Click();
    void mnuKnownObjects_Click();
    /// Finds the known objects of picture 1 again when its picture, sky solution, time or the
    /// orbit files changed since they were found (off the GUI thread), then shows them.
    void refreshKnownObjects();
    /// Columns 1-12 of the report line for the known object at a picture 1 pixel; empty for none.
    QString knownColumnsAt(QPointF picture1Pixel) const;
    /// Fills the column "Известный объект" of the list "Движущиеся объекты".
    void showKnownInMovers();
    const KnownSession& knownSession() const { return *m_known; }

    // ---- files given on the command line or dropped on the window
    /// Opens files as the menus would: the first project (*.vln) in the list, or else the
    /// pictures into the slots from firstSlot on, in order, up to slot 3.
    void OpenFiles(const QStringList& files, int firstSlot = 1);
    /// Files dropped at once from this many on are the frames of a series.
    static constexpr int SeriesFileCount = 4;
    /// Where a drop of files at pos (window coordinates) goes: slot k for a picture dropped on
    /// the selector label of an openable slot k, 0 for the window as a whole (or a project),
    /// -1 when the drop is refused.
    int dropTarget(const QPoint& pos, const QStringList& files) const;

    // ---- a series of frames stacked into the pictures (series/frmbl_series.cpp)
    /// "Открыть серию снимков...": the frames chosen in a dialog are registered.
    void mnuFileSeries_Click();
    /// Asks for the frames of a series (the picture dialog's filters, several files); none when cancelled.
    QStringList OpenSeriesDialog();
    /// Lists the frames in the window "Серия" and registers them on the job runner.
    void OpenSeries(const QStringList& paths);
    /// "Сложить в стопки" of the window "Серия": the stacks become pictures 1, 2, 3.
    void cmdStack_Click();
    /// "Сложить по движению..." of the window "Серия": asks for the motion (the chosen row of
    /// "Движущиеся объекты" offered), then stacks along it into picture 3 or all the pictures.
    void cmdMotion_Click();
    void noteMotionClick(int k, QPointF picturePixel);
    /// The stack slot k (1..3) shows; null when it shows a picture file or nothing.
    const StackInSlot* stackIn(int k) const;
    /// Slot k no longer shows a stack (a file is put there).
    void forgetStack(int k);
    /// The series the pictures were stacked from; null when none was.
    const ShownSeries* shownSeries() const { return m_series.get(); }

    // ---- project files
    void mnuFileOpen_Click();
    void mnuFileSave_Click();
    /// Asks for the file and writes ProjectText into it as a whole (asking before replacing).
    void SaveProjectText();
    /// Asks for a project file to read; sets DialogFileName ("" when cancelled) and ProjectFolder.
    void OpenProjectDialog();
    /// Puts picture 1's sky coordinates as a project's extension lines keep them in force,
    /// after the 34 lines have been applied.
    void restoreProjectSky(const QStringList& extensionLines);

    // ---- comparison cut-out
    /// Copies the regions around the spot in CutX1..CutY2 of pictures 1 and 2 side by side onto
    /// the canvas of the cut-out window and prints the caption into it.
    void CopyAreas();

    // ---- photometry
    /// The photometry cut of picture 1 at (x, y) twips of the displayed picture: the 400 x 400
    /// pixels round the spot into the photometry window; startMeasuring (Ctrl + click) then
    /// measures the star at its centre.
    void ShowPhotometryCut(float x, float y, bool startMeasuring);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

  private:
    /// Slot k shown alone at scale 1, its label lit, before a picture is put in it.
    void prepareSlot(int k);
    void colourSlotLabels(int k);
    /// Puts picture (decoded, or a stack stretched in memory) into slot k under name, sized,
    /// placed and timed as every loaded picture; picture 1 takes its sky coordinates from the
    /// header of skyFile. An empty name empties the slot's name only, as a cancelled dialog does.
    void putPicture(int k, const QString& name, const QImage& picture, const QString& skyFile);
    /// Stacks series as options say on the job runner, into the slots from firstSlot on; then
    /// hands the stretched stacks to shown.
    void stackInto(const StoredSeries& series, const StackOptions& options, int firstSlot,
                   const std::function<void(const QVector<QImage>&, const QVector<StackInSlot>&)>& shown);
    /// Shows stacks in the slots from firstSlot on, registered on each other as they lie.
    void showStacks(const QVector<QImage>& pictures, const QVector<StackInSlot>& stacks, int firstSlot);
    /// Applies a read project; slots with a given picture show it under its caption instead of a file.
    void applyProject(const ProjectRecord& record, const std::array<QImage, 3>& given);
    /// Stacks a project's series again, without registering, then applies the project.
    void reopenSeries(const ProjectRecord& record, const StoredSeries& series);
    /// Rescales slot k to newScale as its scale bar does (zoom about point 1, pan bars for slot 1).
    void rescaleSlot(int k, float newScale);
    /// Gives slot k the scale and its frame the top-left corner (left, top), pixels of the picture
    /// area; for slot 1 the pan bars follow. Shows and hides nothing, moves no scale bar.
    void placeScaled(int k, float scale, float left, float top);
    /// Shows scale on slot k's bar to the nearest thousandth, without the bar acting.
    void showScaleQuietly(int k, float scale);
    /// Applies a registration run that has ended: pictures keyed by their decoded picture at the start.
    void applyAutoRegistration(const AutoRegistration& result, const QList<qint64>& pictureKeys);
    void buildControls();
    void buildMenus();
    void connectHandlers();
    void fitLoadSizeToFrame();

    float m_widthTwips = 0;
    float m_heightTwips = 0;
    QSize m_loadOuterSize; ///< outer size the load rule asks for, pixels
    QSize m_loadedSize;    ///< client size that gives it; invalid once the user resized
    JobRunner* m_jobs;
    std::unique_ptr<PictureSky> m_sky;
    std::array<SlotMatch, 2> m_matches; ///< slots 2 and 3
    QTimer* m_brightnessDue;            ///< one refresh after a burst of frame changes
    std::unique_ptr<MoverSession> m_session;
    std::unique_ptr<KnownSession> m_known;
    std::unique_ptr<ShownSeries> m_series;
    /// Shows the known objects found last: circles on picture 1 and the list, when asked for.
    void showKnownObjects();
};

/// The main window, created on first use.
frmBl& MainForm();
/// True while the main window exists.
bool MainFormExists();
/// Destroys the main window (tests start each case from a fresh one).
void DestroyMainForm();

} // namespace vorlan
