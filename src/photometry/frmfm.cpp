#include "photometry/frmfm.h"

#include "common/numberforms.h"
#include "photometry/circleshape.h"
#include "photometry/cutview.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/guard.h"
#include "shell/ownedwindow.h"
#include "shell/panbar.h"
#include "shell/sharedstate.h"
#include "shell/windowkit.h"
#include "sky/fieldhelpers.h"
#include "view/imageframe.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace vorlan {

namespace {

QPointer<frmFM> s_form;

/// Colour of the star marks drawn over the cut-out.
constexpr QRgb MarkColour = 0xffff6464;

} // namespace

frmFM::frmFM(QWidget* parent) : QWidget(parent, Qt::Window) {
    setUpToolWindow(this, QStringLiteral("frmFM"), QStringLiteral("Фотометрия избранной области"));
    setFixedSize(twipsToPixels(10500), twipsToPixels(10650));
    // The captions were laid out for the narrow font of the main window's panel.
    setFont(panelFont(font()));

    auto label = [this](const char* name, const QString& text, int l, int t, int w, int h) {
        auto* c = placed(new QLabel(text, this), name, l, t, w, h);
        c->setWordWrap(h > 500);
        return c;
    };
    auto field = [this](const char* name, const QString& text, const QString& tip, int l, int t, int w,
                        int h) {
        auto* c = placed(new QLineEdit(text, this), name, l, t, w, h);
        c->setToolTip(tip);
        return c;
    };
    auto bar = [this](const char* name, int min, int max, int small, int large, int value, int l, int t,
                      int w, int h) {
        return placed(new PanBar(Qt::Horizontal, min, max, small, large, value, this), name, l, t, w, h);
    };

    Pic1 = placed(new CutView(this), "Pic1", 240, 1680, 6000, 6000);
    lblFM = label("lblFM", QStringLiteral("Минимальная интенсивность цвета"), 120, 120, 2895, 375);
    lblZvet = placed(new ClickLabel(QString(), this), "lblZvet", 3240, 120, 1935, 615);
    lblZvet->setAlignment(Qt::AlignCenter);
    lblzvetZ = label("lblzvetZ", QStringLiteral("60"), 5280, 240, 975, 495);
    HScFM = bar("HScFM", 0, 255, 1, 10, 60, 3120, 840, 1575, 375);
    Label1 = label("Label1", QStringLiteral("Изменить"), 3240, 1200, 1575, 375);
    cmdV = placed(new QPushButton(QStringLiteral("Выход"), this), "cmdV", 120, 600, 2895, 495);
    cmdOtmena = placed(new QPushButton(QStringLiteral("Отмена"), this), "cmdOtmena", 240, 1200, 2535, 375);
    cmdOtmena->setToolTip(QStringLiteral("Отмена последней фотометрии"));
    Label4 = label("Label4", QStringLiteral("Подождите, просчёт фона..."), 1200, 1320, 3825, 360);
    QPalette red = Label4->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label4->setPalette(red);
    Label4->hide();
    Label2 = label("Label2",
                   QStringLiteral("Правая клавиша - выбрать минимальный цвет  Левая - ограничить кругом."),
                   240, 7680, 6015, 615);
    Label5 = label("Label5", QStringLiteral(" CTRL + Левая - начать фотометрию"), 240, 8280, 5655, 495);
    lblInfo3 = placed(new ClickLabel(QString(), this), "lblInfo3", 120, 8880, 6255, 375);
    LblInfo1 = label("LblInfo1", QString(), 0, 9360, 6375, 375);
    LblInfo2 = label("LblInfo2", QString(), 0, 9840, 6495, 375);
    Label9 = label("Label9", QStringLiteral("суммарный блеск звезды"), 6600, 0, 3255, 375);
    TxtInfo = field("TxtInfo", QStringLiteral("Text1"), QStringLiteral("сумарный блеск звезды"), 6480, 360,
                    3255, 375);
    Label10 =
        label("Label10", QStringLiteral("коэффициент по отношению к яркой звезде"), 6480, 840, 3375, 375);
    txtKb = field("txtKb", QStringLiteral("Text1"), QStringLiteral("коэффициент по отношению к яркой звезде"),
                  6480, 1200, 1695, 375);
    Label6 = label("Label6", QStringLiteral("Число для вычисления относительных звёздных величин"), 6240,
                   1680, 3735, 615);
    Label8 = label("Label8", QStringLiteral("Число         Звёздная величина"), 7440, 2400, 3735, 375);
    Label11 = label("Label11", QStringLiteral("Яркая звезда"), 6240, 2760, 1215, 375);
    txtZ = field("txtZ", QStringLiteral("20000"), QStringLiteral("Интегральный свет первой звезды"), 7560,
                 2760, 1335, 375);
    txtM = field("txtM", QStringLiteral("-2"), QStringLiteral("звёздная величина 1-ой звезды"), 9120, 2760,
                 735, 375);
    Label12 = label("Label12", QStringLiteral("2-я звезда"), 6240, 3240, 1335, 375);
    txtZ2 =
        field("txtZ2", QString(), QStringLiteral("Интегральный свет второй звезды"), 7560, 3240, 1335, 375);
    txtM2 = field("txtM2", QString(), QStringLiteral("звёздная величина 2-ой звезды"), 9120, 3240, 735, 375);
    Label7 = label("Label7", QStringLiteral("Относительная звёздная величина"), 6240, 4080, 3735, 735);
    lblZV = label("lblZV", QString(), 6360, 4920, 3255, 615);
    QFont big = lblZV->font();
    big.setPixelSize(20);
    big.setBold(true);
    lblZV->setFont(big);
    HScrUv = bar("HScrUv", 1, 13, 2, 2, 1, 6240, 5760, 3375, 255);
    Label3 = label("Label3", QStringLiteral("Увеличение"), 6240, 6120, 2295, 255);
    Label13 = label("Label13", QStringLiteral("Радиус круга ограничения"), 6360, 7080, 3615, 375);
    HScrR = bar("HScrR", 2, 400, 1, 10, 4, 6480, 7560, 3375, 255);
    Shp1 = placed(new CircleShape(this), "Shp1", 6600, 8040, 300, 300);
    Shp1->setSizeTwips(300, 300);

    setCut(BlankCut());

    connect(Pic1, &CutView::mouseDown, this,
            guard([this](int b, int s, int x, int y) { Pic1_MouseDown(b, s, x, y); }));
    connect(Pic1, &CutView::mouseMove, this,
            guard([this](int b, int s, int x, int y) { Pic1_MouseMove(b, s, x, y); }));
    connect(HScFM, &QScrollBar::valueChanged, this, guard([this] { HScFM_Change(); }));
    connect(HScrR, &QScrollBar::valueChanged, this, guard([this] { HScrR_Change(); }));
    connect(HScrUv, &QScrollBar::valueChanged, this, guard([this] { HScrUv_Change(); }));
    connect(cmdOtmena, &QPushButton::clicked, this, guard([this] { cmdOtmena_Click(); }));
    connect(cmdV, &QPushButton::clicked, this, guard([this] { cmdV_Click(); }));
    connect(lblInfo3, &ClickLabel::clicked, this, guard([this] { lblInfo3_Click(); }));
    // Each comparison box cleans what is typed into it; writing back only a changed text keeps
    // the box's own change from running again for nothing.
    for (QLineEdit* box : {txtM, txtM2, txtZ, txtZ2})
        connect(box, &QLineEdit::textChanged, this, guard([box] {
                    const QString clean = NumericTextFilter(box->text());
                    if (clean != box->text()) box->setText(clean);
                }));
}

void frmFM::setCut(const PhotometryCut& cut) {
    m_base = cut;
    m_work = cut;
    m_marks = QImage(CutSize, CutSize, QImage::Format_Grayscale8);
    m_marks.fill(0);
    repaintPicture();
}

void frmFM::repaintPicture() {
    QImage shown = m_work.image.copy();
    for (int y = 0; y < CutSize; ++y) {
        const uchar* marked = m_marks.constScanLine(y);
        auto* line = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < CutSize; ++x)
            if (marked[x]) line[x] = MarkColour;
    }
    Pic1->setPicture(shown);
}

void frmFM::showWindow() {
    show();
    raise();
    activateWindow();
}

void frmFM::Pic1_MouseDown(int button, int shift, int x, int y) {
    if (x < 0 || y < 0 || x >= CutSize || y >= CutSize) return;
    if (button == RightButton && shift == NoShift) {
        // The neutral border beyond picture 1 holds no pixel to take a threshold from; the white
        // picture before any cut-out does (white, 255).
        if (m_work.mask.constScanLine(y)[x] == OutsidePixel) return;
        const QRgb c = reinterpret_cast<const QRgb*>(m_work.image.constScanLine(y))[x];
        State().MinIntensity = float(PixelBrightness(c));
        HScFM->setValue(RoundToInt16(State().MinIntensity));
        lblZvet->setBackColor(QColor(c));
        const QString caption = QStringLiteral(" ") + QString::number(PixelBrightness(c));
        lblZvet->setText(caption);
        lblzvetZ->setText(caption);
    } else if (button == LeftButton && shift == NoShift) {
        DrawRestrictingRing(m_work, QPoint(x, y), HScrR->value() + 2);
        repaintPicture();
    } else if (button == LeftButton && shift == CtrlKey) {
        MeasureStar(x, y);
    }
}

void frmFM::Pic1_MouseMove(int, int, int x, int y) {
    const ImageFrame* frame = MainForm().Img1;
    const std::optional<double> p =
        CentreDistancePercent(float(m_base.point.x()), float(m_base.point.y()), x, y, frame->width(),
                              frame->height(), State().DisplayScale1);
    if (p)
        lblInfo3->setText(QStringLiteral("от центра снимка =") + PatternForm(*p, QStringLiteral("0.0")) +
                          QStringLiteral("%"));
}

void frmFM::HScFM_Change() {
    const int v = HScFM->value();
    lblZvet->setBackColor(QColor(v, v, v));
    lblZvet->setText(QString::number(v));
    lblzvetZ->setText(QString::number(v));
    State().MinIntensity = float(v);
}

void frmFM::HScrR_Change() {
    Shp1->setSizeTwips(2 * HScrR->value(), 2 * HScrR->value());
}

void frmFM::HScrUv_Change() {
    if (HScrUv->value() % 2 == 0) HScrUv->setValue(HScrUv->value() - 1);
}

void frmFM::cmdOtmena_Click() {
    setCut(m_base);
}

void frmFM::cmdV_Click() {
    hide();
}

void frmFM::lblInfo3_Click() {
    lblInfo3->setText(QStringLiteral("от центра=") + PatternForm(100, QStringLiteral("0.0")) +
                      QStringLiteral("%"));
}

ComparisonTexts frmFM::comparisonTexts() const {
    return {txtZ->text(), txtM->text(), txtZ2->text(), txtM2->text()};
}

void frmFM::MeasureStar(double x, double y) {
    const float threshold = State().MinIntensity;
    const int uv = HScrUv->value();
    const ComparisonTexts atStart = comparisonTexts();
    // A shared copy: what the events let in below may draw or cut anew, this measurement
    // finishes on the picture it started on.
    const PhotometryCut cut = m_work;
    const StarScan star = ScanStar(cut, threshold, x, y);
    if (!star.found) return;
    for (const StarRun& r : star.runs)
        std::fill_n(m_marks.scanLine(r.y) + r.left, r.right - r.left + 1, uchar(1));
    repaintPicture();

    Label4->show();
    // Painted now, without letting other events in: the notice stands while the background is
    // estimated, and nothing can draw or cut anew meanwhile.
    Label4->repaint();
    const StarBackground background = EstimateBackground(cut, threshold, star.x0, star.y0);
    Label4->hide();

    const StarFields f = ReportStar(star, background, uv, atStart, comparisonTexts());
    m_measured.reset();
    if (f.magnitude) {
        // Kept in picture 1's pixels: a later cut-out moves the window, not the star.
        const int left = int(std::floor(cut.point.x())) - CutSize / 2,
                  top = int(std::floor(cut.point.y())) - CutSize / 2;
        MeasuredStar measured{star.runs, *f.magnitude};
        for (StarRun& r : measured.runs)
            r = {r.y + top, r.left + left, r.right + left};
        m_measured = measured;
    }
    auto put = [](auto* control, const std::optional<QString>& text) {
        if (text) control->setText(*text);
    };
    put(LblInfo1, f.LblInfo1);
    put(TxtInfo, f.TxtInfo);
    put(LblInfo2, f.LblInfo2);
    put(txtKb, f.txtKb);
    put(lblZV, f.lblZV);
    put(Label7, f.Label7);
}

std::optional<double> frmFM::magnitudeAt(QPointF picture1Pixel) const {
    if (!m_measured) return std::nullopt;
    const int x = int(std::floor(picture1Pixel.x())), y = int(std::floor(picture1Pixel.y()));
    for (const StarRun& r : m_measured->runs)
        if (r.y == y && r.left <= x && x <= r.right) return m_measured->magnitude;
    return std::nullopt;
}

frmFM& PhotometryForm() {
    return ownedWindow(s_form);
}

bool PhotometryFormExists() {
    return !s_form.isNull();
}

} // namespace vorlan
