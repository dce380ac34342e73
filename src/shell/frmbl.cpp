#include "shell/frmbl.h"

#include "blink/differencelayer.h"
#include "blink/markeroverlay.h"
#include "common/slotpick.h"
#include "notepad/helptexts.h"
#include "report/knownsession.h"
#include "report/moversession.h"
#include "report/reportsettings.h"
#include "series/shownseries.h"
#include "shell/clicklabel.h"
#include "shell/guard.h"
#include "shell/keyrouting.h"
#include "shell/layout.h"
#include "shell/panbar.h"
#include "shell/sharedstate.h"
#include "shell/start.h"
#include "shell/windowkit.h"
#include "sky/picturesky.h"
#include "stars/starlist.h"
#include "view/imageframe.h"
#include "view/picturebox.h"
#include "view/twips.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>

namespace vorlan {

namespace {

frmBl* s_mainForm = nullptr;

const QString Start = QStringLiteral("ПУСК");

/// A captioned control (label, clickable label, button) with its name, at its design place.
template <typename W>
W* captioned(QWidget* parent, const char* name, const QString& text, int l, int t, int w, int h) {
    return placed(new W(text, parent), name, l, t, w, h);
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int l, int t, int w, int h) {
    return captioned<QLabel>(parent, name, text, l, t, w, h);
}

ClickLabel* clickLabel(QWidget* parent, const char* name, const QString& text, int l, int t, int w, int h) {
    return captioned<ClickLabel>(parent, name, text, l, t, w, h);
}

PanBar* slider(QWidget* parent, const char* name, int min, int max, int small, int large, int value, int l, int t,
               int w, int h, Qt::Orientation o = Qt::Horizontal) {
    return placed(new PanBar(o, min, max, small, large, value, parent), name, l, t, w, h);
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, int l, int t, int w, int h) {
    return captioned<QPushButton>(parent, name, text, l, t, w, h);
}

/// Virtual-key code of a Qt key: the arrows as 37..40, letters and digits as themselves.
int16_t vbKeyCode(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Left: return KeyLeft;
    case Qt::Key_Up: return KeyUp;
    case Qt::Key_Right: return KeyRight;
    case Qt::Key_Down: return KeyDown;
    default: return (qtKey >= 0x20 && qtKey <= 0x7e) ? int16_t(qtKey) : int16_t(0);
    }
}

/// The blink pair item `clicked` was clicked, `other` is the other pair's item and `all` the
/// item for all three pictures. Between the two pairs a click swaps the pair; from all three it
/// chooses the pair clicked. The picture outside the clicked pair (`leftOut`) is hidden.
void chooseBlinkPair(QAction* clicked, QAction* other, QAction* all, QWidget* leftOut) {
    const bool was = clicked->isChecked();
    clicked->setChecked(!was);
    other->setChecked(was);
    all->setChecked(false);
    leftOut->hide();
}

} // namespace

frmBl::frmBl(QWidget* parent)
    : QMainWindow(parent), m_jobs(new JobRunner(this)), m_sky(std::make_unique<PictureSky>()),
      m_brightnessDue(new QTimer(this)), m_session(std::make_unique<MoverSession>()),
      m_known(std::make_unique<KnownSession>()) {
    s_mainForm = this;
    setObjectName(QStringLiteral("frmBl"));
    setWindowTitle(QStringLiteral("Vorlan"));
    buildControls();
    buildMenus();
    connectHandlers();
    Form_Load();
}

frmBl::~frmBl() {
    if (s_mainForm == this)
        s_mainForm = nullptr;
}

void frmBl::buildControls() {
    auto* client = named(new QWidget(this), "client");
    setCentralWidget(client);

    // The picture area holds the frames and the marker lines, clipped to the space above the
    // horizontal pan bar and left of the vertical one, so a large picture never shows around
    // the panel. Its origin is the client area's, so frame positions are the same in both.
    pictureArea = named(new QWidget(client), "pictureArea");
    Img3 = placed(new ImageFrame(pictureArea), "Img3", 600, 120, 615, 615);
    Img2 = placed(new ImageFrame(pictureArea), "Img2", 4200, 120, 3615, 4455);
    Img1 = placed(new ImageFrame(pictureArea), "Img1", 2160, 120, 3015, 4455);
    for (ImageFrame* f : {Img1, Img2, Img3})
        f->setPosition(float(f->x()), float(f->y()));
    ImgRaznost = named(new DifferenceLayer(pictureArea, Img1, Img2, Img3), "ImgRaznost");
    Pic1 = placed(new PictureBox(pictureArea), "Pic1", 960, 480, 5535, 3735);
    Line4 = named(new MarkerOverlay(pictureArea), "Line4");

    HScroll1 = slider(client, "HScroll1", 0, 30000, 300, 3000, 0, 0, 4440, 10815, 255);
    VScroll1 = slider(client, "VScroll1", 0, 32767, 1, 20, 0, 10800, 120, 255, 4335, Qt::Vertical);
    Timer1 = named(new QTimer(this), "Timer1");

    Frm1 = placed(new QFrame(client), "Frm1", 120, 4680, 14415, 1815);
    Frm1->setFrameShape(QFrame::NoFrame);
    Frm1->setAutoFillBackground(true);
    Frm1->setFont(panelFont(Frm1->font()));

    Label5 = label(Frm1, "Label5", QStringLiteral("Интервал времени"), 240, 120, 1575, 255);
    HScrTime = slider(Frm1, "HScrTime", 100, 5000, 1, 100, 1000, 120, 480, 1215, 255);
    Label6 = label(Frm1, "Label6", QStringLiteral("1"), 1320, 480, 615, 255);
    Label6->setToolTip(QStringLiteral("Интервал времени"));
    lblInfo = label(Frm1, "lblInfo", QString(), 120, 840, 1935, 375);
    lblInfo2 = label(Frm1, "lblInfo2", QString(), 120, 1320, 1935, 375);
    Label1[0] = label(Frm1, "Label1_0", QStringLiteral("Размер первой картинки"), 2160, 120, 2175, 255);
    Label1[1] = label(Frm1, "Label1_1", QStringLiteral("Размер второй картинки"), 2160, 480, 2175, 255);
    Label1[2] = label(Frm1, "Label1_2", QStringLiteral("Размер третьей картинки"), 2160, 840, 2175, 255);
    Label2 = clickLabel(Frm1, "Label2", QStringLiteral("Общий масштаб"), 2160, 1200, 1815, 255);
    LblFile = label(Frm1, "LblFile", QString(), 2160, 1440, 8055, 255);
    LblFile->setToolTip(QStringLiteral("имя файла"));
    HScr1 = slider(Frm1, "HScr1", 1, 3000, 1, 20, 1000, 4320, 120, 1935, 255);
    HScr2 = slider(Frm1, "HScr2", 1, 3000, 1, 20, 1000, 4320, 480, 1935, 255);
    HScr3 = slider(Frm1, "HScr3", 1, 3000, 1, 20, 1000, 4320, 840, 1935, 255);
    HScrOb = slider(Frm1, "HScrOb", 1, 3000, 20, 200, 1000, 4320, 1200, 1935, 255);
    // The overall zoom is relative and springs back to 1000 after each change, so it must
    // change once per finished move: while dragged it would apply a fresh zoom at every step.
    HScrOb->setTracking(false);
    LBLk1 = label(Frm1, "LBLk1", QStringLiteral(" 1"), 6360, 120, 615, 255);
    LBLk1->setToolTip(QStringLiteral("Коэфициент увеличения 1"));
    LBLk2 = label(Frm1, "LBLk2", QStringLiteral(" 1"), 6360, 480, 615, 255);
    LBLk2->setToolTip(QStringLiteral("Коэфициент увеличения 2"));
    lblk3 = label(Frm1, "lblk3", QStringLiteral("1"), 6360, 840, 615, 255);
    lblKOb = label(Frm1, "lblKOb", QStringLiteral("1"), 6360, 1200, 615, 255);

    Lbl1 = clickLabel(Frm1, "Lbl1", QStringLiteral("1Ф"), 7080, 120, 495, 255);
    Lbl1->setToolTip(QStringLiteral("Показать первую картинку"));
    Lbl2 = clickLabel(Frm1, "Lbl2", QStringLiteral("2Ф"), 7080, 480, 495, 255);
    Lbl2->setToolTip(QStringLiteral("Показать вторую картинку"));
    Lbl3 = clickLabel(Frm1, "Lbl3", QStringLiteral("3Ф"), 7080, 840, 495, 255);
    for (ClickLabel* l : {Lbl1, Lbl2, Lbl3}) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        l->setAlignment(Qt::AlignCenter);
    }
    cmdHelp = button(Frm1, "cmdHelp", QStringLiteral("?"), 7080, 1200, 495, 435);
    cmdHelp->setToolTip(QStringLiteral("помощь"));
    lblVvod1 = clickLabel(Frm1, "lblVvod1", QStringLiteral("Точка  1"), 7680, 120, 855, 255);
    lblVvod1->setToolTip(QStringLiteral("Координаты точки 1 на текущей картинке"));
    lblVvod1->setBackColor(colors::Magenta);
    lblVvod2 = clickLabel(Frm1, "lblVvod2", QStringLiteral("Точка  2"), 7680, 480, 855, 255);
    lblVvod2->setToolTip(QStringLiteral("Координаты точки 2 на текущей картинке"));
    lblVvod2->setBackColor(colors::Pink);
    CmdStart = button(Frm1, "CmdStart", Start, 7800, 840, 1695, 615);
    CmdStart->setToolTip(QStringLiteral("Пуск или Стоп"));
    lblT1 = label(Frm1, "lblT1", QString(), 8640, 120, 2535, 255);
    lblT1->setToolTip(QStringLiteral("Координаты точки 1 на текущей картинке"));
    LblT2 = label(Frm1, "LblT2", QString(), 8640, 480, 2535, 255);
    LblT2->setToolTip(QStringLiteral("Координаты точки 2 на текущей картинке"));
    CmdSovm = button(Frm1, "CmdSovm", QStringLiteral("Совместить"), 9720, 840, 1335, 375);
    CmdSovm->setToolTip(QStringLiteral("Избранные точки картинок совмещаются"));
    cmdSbros = button(Frm1, "cmdSbros", QStringLiteral("сброс"), 10320, 1320, 735, 375);
    cmdSbros->setToolTip(QStringLiteral("Сброс всех параметров!!"));
    txtInfo = placed(new QPlainTextEdit(Frm1), "txtInfo", 11400, 240, 2775, 1455);
    txtInfo->viewport()->setMouseTracking(true);
    txtInfo->setMouseTracking(true);
    // Files dropped anywhere on the window open; the info box does not swallow them as text.
    txtInfo->setAcceptDrops(false);
    setAcceptDrops(true);
}

void frmBl::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    Menu = named(bar->addMenu(QStringLiteral("Меню")), "Menu");
    Open1File = menuItem(this, "Open1File", QStringLiteral("Загрузить первый снимок..."));
    Open1File->setShortcut(QKeySequence::Open);
    Open2File = menuItem(this, "Open2File", QStringLiteral("Загрузить второй снимок или карту..."));
    Open2File->setEnabled(false);
    Open3File = menuItem(this, "Open3File", QStringLiteral("Загрузить третий снимок"));
    Open3File->setEnabled(false);
    mnuRamka = menuItem(this, "mnuRamka", QStringLiteral("Показать рамку"));
    mnuRamka->setCheckable(true);
    Menu->addActions({Open1File, Open2File, Open3File, mnuRamka});

    mnuFile = named(bar->addMenu(QStringLiteral("Файл")), "mnuFile");
    mnuFileOpen = menuItem(this, "mnuFileOpen", QStringLiteral("Открыть файл *.vln..."));
    mnuFileSave = menuItem(this, "mnuFileSave", QStringLiteral("Записать файл *.vln..."));
    mnuFileGif = menuItem(this, "mnuFileGif", QStringLiteral("Записать мигание в GIF..."));
    mnuFileCopyFrame = menuItem(this, "mnuFileCopyFrame", QStringLiteral("Копировать кадр"));
    mnuFileSeries = menuItem(this, "mnuFileSeries", QStringLiteral("Открыть серию снимков..."));
    mnuFile->addActions({mnuFileOpen, mnuFileSave});
    mnuFile->addSeparator();
    mnuFile->addAction(mnuFileSeries);
    mnuFile->addSeparator();
    mnuFile->addActions({mnuFileGif, mnuFileCopyFrame});

    mnuViravnivanie = named(bar->addMenu(QStringLiteral("Выравнивание")), "mnuViravnivanie");
    mnuVirovnjat2t = menuItem(this, "mnuVirovnjat2t", QStringLiteral("отмечать вторые точки"));
    mnuVirovnjat2t->setCheckable(true);
    mnuVirovnjat = menuItem(this, "mnuVirovnjat", QStringLiteral("Выровнять 2 снимок по 1"));
    mnuVirovnjat1_3 = menuItem(this, "mnuVirovnjat1_3", QStringLiteral("Выровнять 3 снимок по 1"));
    mnuAutoSovm = menuItem(this, "mnuAutoSovm", QStringLiteral("Совместить автоматически"));
    mnuAutoSovm->setEnabled(false);
    mnuProbel1 = menuItem(this, "mnuProbel1", QStringLiteral("-"));
    mnuProbel1->setSeparator(true);
    mnuViravnivanie_vvod_koord = menuItem(this, "mnuViravnivanie_vvod_koord",
                                          QStringLiteral("Ввести координаты выделенных точек(1)..."));
    mnuSolve = menuItem(this, "mnuSolve", QStringLiteral("Определить координаты по звёздам..."));
    mnuSolve->setEnabled(false);
    mnuViravnivanie->addActions(
        {mnuVirovnjat2t, mnuVirovnjat, mnuVirovnjat1_3, mnuAutoSovm, mnuProbel1, mnuViravnivanie_vvod_koord,
         mnuSolve});
    mnuMovers = menuItem(this, "mnuMovers", QStringLiteral("Найти движущиеся объекты"));
    mnuDeepSearch =
        menuItem(this, "mnuDeepSearch", QStringLiteral("Искать слабые движущиеся объекты в серии..."));
    mnuDeepSearch->setEnabled(false);
    mnuReportLine = menuItem(this, "mnuReportLine", QStringLiteral("Копировать строку отчёта"));
    mnuViravnivanie->addSeparator();
    mnuViravnivanie->addActions({mnuMovers, mnuDeepSearch, mnuReportLine});

    mnuVL = named(bar->addMenu(QStringLiteral("Vorlan")), "mnuVL");
    mnuVL_1_2 = menuItem(this, "mnuVL_1_2", QStringLiteral("1 - 2"));
    mnuVL_1_2->setCheckable(true);
    mnuVL_1_2->setChecked(true);
    mnuVL_1_3 = menuItem(this, "mnuVL_1_3", QStringLiteral("1 - 3"));
    mnuVL_1_3->setCheckable(true);
    mnuVL_1_2_3 = menuItem(this, "mnuVL_1_2_3", QStringLiteral("1 - 2 - 3"));
    mnuVL_1_2_3->setCheckable(true);
    mnuVL_1_2_3->setEnabled(false);
    mnuJarkost = menuItem(this, "mnuJarkost", QStringLiteral("Выравнивать яркость"));
    mnuJarkost->setCheckable(true);
    mnuJarkost->setChecked(matchBrightnessRemembered());
    mnuRaznost = menuItem(this, "mnuRaznost", QStringLiteral("Разность"));
    mnuRaznost->setCheckable(true);
    mnuVL->addActions({mnuVL_1_2, mnuVL_1_3, mnuVL_1_2_3});
    mnuVL->addSeparator();
    mnuVL->addActions({mnuJarkost, mnuRaznost});
    mnuVL->addSeparator();
    mnuVesSnimok = menuItem(this, "mnuVesSnimok", QStringLiteral("Весь снимок в окне"));
    mnuVesSnimok->setShortcut(Qt::Key_F);
    mnuVL->addAction(mnuVesSnimok);
    mnuVL->addSeparator();
    mnuSettings = menuItem(this, "mnuSettings", QStringLiteral("Настройки..."));
    mnuVL->addAction(mnuSettings);
    mnuOrbitFile = menuItem(this, "mnuOrbitFile", QStringLiteral("Файл орбит малых планет..."));
    mnuKnownObjects = menuItem(this, "mnuKnownObjects", QStringLiteral("Показывать известные объекты"));
    mnuKnownObjects->setCheckable(true);
    mnuKnownObjects->setChecked(ReportSettings::load().showKnownObjects);
    mnuVL->addActions({mnuOrbitFile, mnuKnownObjects});

    mnuFM = menuItem(this, "mnuFM", QStringLiteral("Фотометрия"));
    bar->addAction(mnuFM);

    mnuHelp = named(bar->addMenu(QStringLiteral("?")), "mnuHelp");
    mnuHelpVL = menuItem(this, "mnuHelpVL", QStringLiteral("справка по Vorlan"));
    mnuHelpVL->setShortcut(Qt::Key_F1);
    mnuHelpFM = menuItem(this, "mnuHelpFM", QStringLiteral("справка по фотометрии"));
    mnuHelp->addActions({mnuHelpVL, mnuHelpFM});

    ExitProgram = menuItem(this, "ExitProgram", QStringLiteral("Выход"));
    bar->addAction(ExitProgram);
    mnuKoordinat = menuItem(this, "mnuKoordinat", QStringLiteral("Координаты"));
    mnuKoordinat->setEnabled(false);
    bar->addAction(mnuKoordinat);
}

void frmBl::connectHandlers() {
    const auto onClick = connector(this, &QPushButton::clicked);
    const auto onLabel = connector(this, &ClickLabel::clicked);
    const auto onChange = connector(this, &QScrollBar::valueChanged);
    auto onMenu = [this](QAction* a, void (frmBl::*h)()) {
        // A checkable item's mark is the state its handler reads and sets itself, so undo
        // the toggle that QAction did before the handler runs.
        connect(a, &QAction::triggered, this, guard([this, a, h] {
                    if (a->isCheckable())
                        a->setChecked(!a->isChecked());
                    (this->*h)();
                }));
    };
    const auto onOpen = connector(this, &QMenu::aboutToShow);

    onOpen(Menu, &frmBl::Menu_Click);
    onOpen(mnuFile, &frmBl::mnuFile_Click);
    onOpen(mnuViravnivanie, &frmBl::mnuViravnivanie_Click);
    onOpen(mnuVL, &frmBl::mnuVL_Click);
    // Ctrl+O reaches the loader without the menu opening, which would have stopped blinking.
    connect(Open1File, &QAction::triggered, this, guard([this] { stopBlinking(); }));
    onMenu(Open1File, &frmBl::Open1File_Click);
    onMenu(Open2File, &frmBl::Open2File_Click);
    onMenu(Open3File, &frmBl::Open3File_Click);
    onMenu(mnuRamka, &frmBl::mnuRamka_Click);
    onMenu(mnuFileOpen, &frmBl::mnuFileOpen_Click);
    onMenu(mnuFileSeries, &frmBl::mnuFileSeries_Click);
    onMenu(mnuFileSave, &frmBl::mnuFileSave_Click);
    onMenu(mnuFileGif, &frmBl::mnuFileGif_Click);
    onMenu(mnuFileCopyFrame, &frmBl::mnuFileCopyFrame_Click);
    onMenu(mnuVirovnjat2t, &frmBl::mnuVirovnjat2t_Click);
    onMenu(mnuVirovnjat, &frmBl::mnuVirovnjat_Click);
    onMenu(mnuVirovnjat1_3, &frmBl::mnuVirovnjat1_3_Click);
    onMenu(mnuAutoSovm, &frmBl::mnuAutoSovm_Click);
    onMenu(mnuViravnivanie_vvod_koord, &frmBl::mnuViravnivanie_vvod_koord_Click);
    onMenu(mnuSolve, &frmBl::mnuSolve_Click);
    onMenu(mnuMovers, &frmBl::mnuMovers_Click);
    onMenu(mnuDeepSearch, &frmBl::mnuDeepSearch_Click);
    onMenu(mnuReportLine, &frmBl::mnuReportLine_Click);
    onMenu(mnuSettings, &frmBl::mnuSettings_Click);
    onMenu(mnuVesSnimok, &frmBl::mnuVesSnimok_Click);
    onMenu(mnuOrbitFile, &frmBl::mnuOrbitFile_Click);
    onMenu(mnuKnownObjects, &frmBl::mnuKnownObjects_Click);
    // A new picture 1 may need its known objects found again, once its sky solution is in too.
    connect(Img1, &ImageFrame::placementChanged, this,
            [this] { QTimer::singleShot(0, this, guard([this] { refreshKnownObjects(); })); });
    onMenu(mnuVL_1_2, &frmBl::mnuVL_1_2_Click);
    onMenu(mnuVL_1_3, &frmBl::mnuVL_1_3_Click);
    onMenu(mnuVL_1_2_3, &frmBl::mnuVL_1_2_3_Click);
    onMenu(mnuJarkost, &frmBl::mnuJarkost_Click);
    onMenu(mnuRaznost, &frmBl::mnuRaznost_Click);
    onMenu(mnuFM, &frmBl::mnuFM_Click);
    onMenu(mnuHelpVL, &frmBl::mnuHelpVL_Click);
    onMenu(mnuHelpFM, &frmBl::mnuHelpFM_Click);
    onMenu(ExitProgram, &frmBl::ExitProgram_Click);

    onClick(cmdHelp, &frmBl::cmdHelp_Click);
    onClick(CmdStart, &frmBl::CmdStart_Click);
    onClick(CmdSovm, &frmBl::CmdSovm_Click);
    onClick(cmdSbros, &frmBl::cmdSbros_Click);
    onLabel(Label2, &frmBl::Label2_Click);
    onLabel(Lbl1, &frmBl::Lbl1_Click);
    onLabel(Lbl2, &frmBl::Lbl2_Click);
    onLabel(Lbl3, &frmBl::Lbl3_Click);
    onLabel(lblVvod1, &frmBl::lblVvod1_Click);
    onLabel(lblVvod2, &frmBl::lblVvod2_Click);

    onChange(HScr1, &frmBl::HScr1_Change);
    onChange(HScr2, &frmBl::HScr2_Change);
    onChange(HScr3, &frmBl::HScr3_Change);
    onChange(HScrOb, &frmBl::HScrOb_Change);
    onChange(HScroll1, &frmBl::HScroll1_Change);
    onChange(VScroll1, &frmBl::VScroll1_Change);
    onChange(HScrTime, &frmBl::HScrTime_Change);
    connect(Timer1, &QTimer::timeout, this, guard([this] { Timer1_Timer(); }));

    for (int k = 1; k <= 3; ++k)
        connect(Img(k), &ImageFrame::mouseDown, this,
                guard([this, k](int b, int s, float x, float y) { Img_MouseDown(k, b, s, x, y); }));
    connect(Img1, &ImageFrame::mouseMove, this,
            guard([this](int b, int s, float x, float y) { Img1_MouseMove(b, s, x, y); }));
    // A handler moves, sizes and fills frames in several steps; the brightness maps follow once
    // it has finished.
    m_brightnessDue->setSingleShot(true);
    m_brightnessDue->setInterval(0);
    connect(m_brightnessDue, &QTimer::timeout, this, guard([this] { refreshBrightness(); }));
    for (int k = 1; k <= 3; ++k)
        connect(Img(k), &ImageFrame::placementChanged, m_brightnessDue, qOverload<>(&QTimer::start));

    // The ten controls whose arrow keys pan the pictures. HScr3 and txtInfo are not routed.
    for (QWidget* w : std::initializer_list<QWidget*>{cmdHelp, cmdSbros, CmdSovm, CmdStart, HScr1, HScr2, HScrOb,
                                                     HScrTime, HScroll1, VScroll1})
        w->installEventFilter(this);
    txtInfo->viewport()->installEventFilter(this);
    // The wheel zooms over whichever layer of the picture area is under the mouse.
    pictureArea->installEventFilter(this);
    for (QWidget* w : pictureArea->findChildren<QWidget*>())
        w->installEventFilter(this);
}

bool frmBl::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && watched != txtInfo->viewport()) {
        const int16_t code = vbKeyCode(static_cast<QKeyEvent*>(e)->key());
        runGuarded([code] { ScrollByArrowKey(code); });
        // The control still gets its normal handling of the key, except the pan bars' arrows:
        // the routing has just moved the bar, and the bar's own step would move it again.
        const bool panBar = watched == HScroll1 || watched == VScroll1;
        return panBar && arrowKeyBar(code) != 0;
    }
    if (e->type() == QEvent::Wheel && watched->isWidgetType()) {
        auto* over = static_cast<QWidget*>(watched);
        if (over == pictureArea || pictureArea->isAncestorOf(over)) {
            const auto* wheel = static_cast<QWheelEvent*>(e);
            const QPointF at = over->mapTo(pictureArea, wheel->position());
            // One notch (120) is a quarter larger or smaller; finer wheels turn by parts of it.
            const float factor = float(std::pow(1.25, wheel->angleDelta().y() / 120.0));
            runGuarded([this, at, factor] { zoomPictures(at, at, factor); });
            return true;
        }
    }
    if (e->type() == QEvent::MouseMove && watched == txtInfo->viewport())
        runGuarded([this] { txtInfo_MouseMove(); });
    return QMainWindow::eventFilter(watched, e);
}

ImageFrame* frmBl::Img(int k) const { return slotPick(k, Img1, Img2, Img3); }

PanBar* frmBl::HScr(int k) const { return slotPick(k, HScr1, HScr2, HScr3); }

ClickLabel* frmBl::Lbl(int k) const { return slotPick(k, Lbl1, Lbl2, Lbl3); }

QLabel* frmBl::scaleLabel(int k) const { return slotPick(k, LBLk1, LBLk2, lblk3); }

bool frmBl::isBlinking() const { return CmdStart->text() != Start; }

int frmBl::timerInterval() const { return Timer1->isActive() ? Timer1->interval() : 0; }

void frmBl::setTimerInterval(int ms) {
    // A running QTimer with interval 0 would fire continuously; 0 means no ticks here.
    if (ms <= 0)
        Timer1->stop();
    else
        Timer1->start(ms);
}

void frmBl::stopBlinking() {
    setTimerInterval(0);
    CmdStart->setText(Start);
}

int frmBl::armedPoint() const {
    if (lblVvod1->backColor() == colors::Yellow) return 1;
    if (lblVvod2->backColor() == colors::Yellow) return 2;
    return 0;
}

void frmBl::highlightSlot(int k) {
    for (int j = 1; j <= 3; ++j)
        Lbl(j)->setBackColor(j == k ? colors::Yellow : colors::Green);
}

void frmBl::Form_Load() {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const LoadGeometry g = mainWindowLoadGeometry(screen.width(), screen.height());
    m_widthTwips = g.width;
    m_heightTwips = g.height;
    m_loadOuterSize = QSize(twipsToPixels(g.width), twipsToPixels(g.height));
    m_loadedSize = m_loadOuterSize;
    resize(m_loadedSize);
    move(twipsToPixels(g.left), twipsToPixels(g.top));
    fitLoadSizeToFrame();
    Form_Resize();
}

// The load rule sizes the outer window, title bar and borders included, but resize() sizes the
// client area, and the frame is known only once the window is shown (on some desktops a little
// later, when the window manager puts its frame around it and moves the window).
void frmBl::fitLoadSizeToFrame() {
    if (!m_loadedSize.isValid()) return; // the user has sized the window since
    const QSize frame = frameGeometry().size() - size();
    const QSize client = m_loadOuterSize - frame;
    if (client == size()) return;
    m_loadedSize = client;
    resize(client);
}

void frmBl::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    fitLoadSizeToFrame();
}

void frmBl::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    fitLoadSizeToFrame();
}

void frmBl::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    // The twip size set on load stands until the window really gets another size.
    if (size() != m_loadedSize) {
        m_loadedSize = QSize();
        m_widthTwips = float(toTwips(frameGeometry().width()));
        m_heightTwips = float(toTwips(frameGeometry().height()));
    }
    runGuarded([this] { Form_Resize(); });
}

void frmBl::Form_Resize() {
    const ResizeLayout l = mainWindowResizeLayout(m_widthTwips, m_heightTwips);
    auto px = [](float v) { return int(std::lround(v)); };
    // The layout counts 113 pixels for caption, menu and borders. A desktop whose title bar and
    // menu take more would push the panel's lowest controls below the window's edge, so then
    // the panel and the bars move up by what is missing, and only then.
    const int panelBottom = px(l.frameTop) + Frm1->childrenRect().bottom() + 1;
    const int lift = std::max(0, panelBottom - centralWidget()->height());
    Frm1->move(px(l.frameLeft), px(l.frameTop) - lift);
    HScroll1->setGeometry(px(l.hscrollLeft), px(l.hscrollTop) - lift, px(l.hscrollWidth), HScroll1->height());
    VScroll1->setGeometry(px(l.vscrollLeft), px(l.vscrollTop), VScroll1->width(),
                          l.vscrollHeightSet ? std::max(1, px(l.vscrollHeight) - lift) : VScroll1->height());
    pictureArea->setGeometry(0, 0, std::max(0, px(l.vscrollLeft)), std::max(0, HScroll1->y()));
    Line4->setGeometry(pictureArea->rect());
}

void frmBl::keyPressEvent(QKeyEvent* e) {
    // Space starts and stops blinking wherever the focused control has no use for it: a button
    // is pressed by it and the info box types it, so those never pass it on.
    if (e->key() == Qt::Key_Space && e->modifiers() == Qt::NoModifier) {
        if (!e->isAutoRepeat()) runGuarded([this] { CmdStart_Click(); });
        return;
    }
    // Only keys that reach the window itself: none of its controls holds the focus.
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus != this && isAncestorOf(focus)) {
        QMainWindow::keyPressEvent(e);
        return;
    }
    const int16_t code = vbKeyCode(e->key());
    runGuarded([this, code] { Form_KeyDown(code); });
}

void frmBl::Form_KeyDown(int16_t keyCode) {
    PanBar* bar = arrowKeyBar(keyCode) == 'h' ? HScroll1 : arrowKeyBar(keyCode) == 'v' ? VScroll1 : nullptr;
    if (!bar)
        return;
    if (const auto v = arrowKeyValue(keyCode, bar->value(), bar->LargeChange(), bar->Max()))
        bar->setValue(*v);
}

bool frmBl::startJob(const QString& title, JobRunner::Work work, JobRunner::OnProgress onProgress,
                     JobRunner::OnFinished onFinished) {
    if (m_jobs->busy()) return false;
    State().StopRequested = 0;
    auto progressed = [onProgress = std::move(onProgress)](const JobProgress& p) {
        if (onProgress) runGuarded([&] { onProgress(p); });
    };
    auto finished = [onFinished = std::move(onFinished)](const JobEnd& end) {
        if (onFinished) runGuarded([&] { onFinished(end); });
        State().StopRequested = 0;
    };
    return m_jobs->start(title, std::move(work), progressed, finished);
}

void frmBl::requestStop() {
    State().StopRequested = 1;
    m_jobs->requestStop();
}

void frmBl::Menu_Click() { stopBlinking(); }

void frmBl::mnuFile_Click() { stopBlinking(); }

void frmBl::mnuViravnivanie_Click() {
    SharedState& s = State();
    const float product = s.Point1Y1 * s.Point1X1 * s.Point2X1 * s.Point2Y1;
    mnuViravnivanie_vvod_koord->setEnabled(product != 0.0f);
    mnuKoordinat->setEnabled(product != 0.0f || pictureSky().wcsInForce());
    mnuSolve->setEnabled(!Img1->picture().isNull());
    // Pictures 1 and 2 to register, and no long work running.
    mnuAutoSovm->setEnabled(!Img1->picture().isNull() && !Img2->picture().isNull() && !jobs().busy());
    mnuMovers->setEnabled(slotTransform(2).has_value());
    mnuDeepSearch->setEnabled(deepSearchable().has_value());
}

void frmBl::mnuRamka_Click() {
    const bool show = !mnuRamka->isChecked();
    mnuRamka->setChecked(show);
    for (int i = 0; i < MarkerOverlay::Count; ++i)
        Line4->setLineVisible(i, show);
}

void frmBl::mnuVL_1_2_Click() {
    chooseBlinkPair(mnuVL_1_2, mnuVL_1_3, mnuVL_1_2_3, Img3);
}

void frmBl::mnuVL_1_3_Click() {
    chooseBlinkPair(mnuVL_1_3, mnuVL_1_2, mnuVL_1_2_3, Img2);
}

void frmBl::mnuVL_1_2_3_Click() {
    mnuVL_1_2->setChecked(false);
    mnuVL_1_3->setChecked(false);
    mnuVL_1_2_3->setChecked(true);
}

void frmBl::mnuVL_Click() { mnuVL_1_2_3->setEnabled(!Img3->picture().isNull()); }

void frmBl::cmdHelp_Click() { ShowMainHelp(); }

void frmBl::mnuHelpVL_Click() { ShowMainHelp(); }

void frmBl::mnuHelpFM_Click() { ShowPhotometryHelp(); }

void frmBl::ExitProgram_Click() {
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

void frmBl::txtInfo_MouseMove() { txtInfo->setToolTip(txtInfo->toPlainText()); }

frmBl& MainForm() {
    if (!s_mainForm)
        new frmBl();
    return *s_mainForm;
}

bool MainFormExists() { return s_mainForm != nullptr; }

void DestroyMainForm() { delete s_mainForm; }

} // namespace vorlan
