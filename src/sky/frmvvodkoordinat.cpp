#include "sky/frmvvodkoordinat.h"

#include "common/numberforms.h"
#include "shell/frmbl.h"
#include "shell/guard.h"
#include "shell/ownedwindow.h"
#include "shell/sharedstate.h"
#include "shell/windowkit.h"
#include "sky/coordinatevalidator.h"
#include "sky/fieldhelpers.h"
#include "sky/picturesky.h"
#include "sky/platesolution.h"
#include "sky/skymath.h"
#include "view/imageframe.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <cmath>
#include <functional>

namespace vorlan {

namespace {

QPointer<frmVvodKoordinat> s_form;

/// A text box that tells its window when it has received the focus, after QLineEdit has done
/// its own focus handling (which selects everything on Tab), so the window's choice wins.
class CoordField : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;
    std::function<void()> gotFocus;

  protected:
    void focusInEvent(QFocusEvent* e) override {
        QLineEdit::focusInEvent(e);
        if (gotFocus) runGuarded(gotFocus);
    }
};

QString indexed(const char* name, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

/// Selects up to 10 characters from the caret: the field's text when the caret is at its start.
void selectFromCaret(QLineEdit* field) {
    const int start = field->hasSelectedText() ? field->selectionStart() : field->cursorPosition();
    field->setSelection(start, 0);
    field->setSelection(start, 10);
}

/// Writes the cleaned text back only when cleaning changed it, so the field's own change
/// handler is not raised again for nothing.
void clean(QLineEdit* field) {
    const QString filtered = NumericTextFilter(field->text());
    if (filtered != field->text()) field->setText(filtered);
}

} // namespace

frmVvodKoordinat::frmVvodKoordinat(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setUpToolWindow(this, QStringLiteral("frmVvodKoordinat"),
                    QStringLiteral("Ввод координат отмеченных точек (1 картинка)"));
    setFixedSize(twipsToPixels(8520), twipsToPixels(3480));

    auto label = [this](const char* name, const QString& text, int l, int t, int w, int h) {
        return placed(new QLabel(text, this), QLatin1String(name), l, t, w, h);
    };
    Label3 = label("Label3", QStringLiteral("прямое восхождение"), 2040, 120, 2535, 375);
    Label4 = label("Label4", QStringLiteral("Склонение"), 4800, 120, 1815, 375);
    // The unit marks sit in the gaps to the right of their columns.
    Label5 = label("Label5", QStringLiteral("h"), 2880, 720, 225, 255);
    Label6 = label("Label6", QStringLiteral("m"), 4320, 720, 225, 255);
    Label7 = label("Label7", QStringLiteral("°"), 5520, 720, 225, 255);
    Label8 = label("Label8", QStringLiteral("/"), 6960, 600, 225, 255);
    Label1 = label("Label1", QStringLiteral("Первая точка"), 120, 840, 1815, 495);
    Label2 = label("Label2", QStringLiteral("Вторая точка"), 120, 1800, 1815, 495);

    const int rowTop[2] = {840, 1800};
    for (int i = 0; i < 2; ++i) {
        auto field = [this, i, &rowTop](const char* name, const QString& text, int l, int w) {
            auto* f = placed(new CoordField(text, this), indexed(name, i), l, rowTop[i], w, 495);
            f->setValidator(new CoordinateValidator(f));
            return f;
        };
        txtH[i] = field("txtH", QStringLiteral("0"), 2040, 855);
        txtHM[i] = field("txtHM", QStringLiteral("0"), 3120, 1215);
        txtGr[i] = field("txtGr", QStringLiteral("-0"), 4800, 735);
        txtGrM[i] = field("txtGrM", QStringLiteral("0"), 5880, 1095);
    }
    lblAlf1 = label("lblAlf1", QString(), 2040, 1440, 2295, 255);
    lblAlf2 = label("lblAlf2", QString(), 2040, 2400, 2295, 255);
    lblDel1 = label("lblDel1", QString(), 4800, 1440, 2175, 255);
    lblDel2 = label("lblDel2", QString(), 4800, 2400, 2175, 255);
    Label9 = label("Label9", QStringLiteral("Координаты центра"), 480, 2880, 2055, 375);
    lblInfo = label("lblInfo", QString(), 2760, 2880, 4095, 375);
    cmdSzet = placed(new QPushButton(QStringLiteral("Считать!"), this), QStringLiteral("cmdSzet"), 7200, 1200,
                     1095, 495);
    cmdExit = placed(new QPushButton(QStringLiteral("Выход"), this), QStringLiteral("cmdExit"), 7200, 2400,
                     975, 495);

    // Tab walks the rows star by star, as the user reads the catalogue.
    QWidget* order[] = {txtH[0],  txtHM[0], txtGr[0],  txtGrM[0], txtH[1],
                        txtHM[1], txtGr[1], txtGrM[1], cmdSzet,   cmdExit};
    for (size_t k = 1; k < std::size(order); ++k)
        setTabOrder(order[k - 1], order[k]);

    // Connected after the initial texts: those are no change and set nothing.
    using Handler = void (frmVvodKoordinat::*)(int);
    auto wire = [this](const std::array<QLineEdit*, 2>& fields, Handler change, Handler gotFocus) {
        for (int i = 0; i < 2; ++i) {
            connect(fields[i], &QLineEdit::textChanged, this,
                    guard([this, change, i] { (this->*change)(i); }));
            static_cast<CoordField*>(fields[i])->gotFocus = [this, gotFocus, i] { (this->*gotFocus)(i); };
        }
    };
    wire(txtH, &frmVvodKoordinat::txtH_Change, &frmVvodKoordinat::txtH_GotFocus);
    wire(txtHM, &frmVvodKoordinat::txtHM_Change, &frmVvodKoordinat::txtHM_GotFocus);
    wire(txtGr, &frmVvodKoordinat::txtGr_Change, &frmVvodKoordinat::txtGr_GotFocus);
    wire(txtGrM, &frmVvodKoordinat::txtGrM_Change, &frmVvodKoordinat::txtGrM_GotFocus);
    connect(cmdSzet, &QPushButton::clicked, this, guard([this] { cmdSzet_Click(); }));
    connect(cmdExit, &QPushButton::clicked, this, guard([this] { cmdExit_Click(); }));
}

void frmVvodKoordinat::recomputeRightAscension(int i) {
    const double ra = LeadingNumber(txtH[i]->text()) * 15 / sky::DegPerRad +
                      LeadingNumber(txtHM[i]->text()) / 4 / sky::DegPerRad;
    (i == 0 ? State().StarRA1 : State().StarRA2) = ToSingle(ra);
    (i == 0 ? lblAlf1 : lblAlf2)->setText(LocaleForm(ra * sky::DegPerRad));
}

void frmVvodKoordinat::recomputeDeclination(int i, int sign) {
    const double dec = LeadingNumber(txtGr[i]->text()) / sky::DegPerRad +
                       sign * LeadingNumber(txtGrM[i]->text()) / 60 / sky::DegPerRad;
    (i == 0 ? State().StarDec1 : State().StarDec2) = ToSingle(dec);
    (i == 0 ? lblDel1 : lblDel2)->setText(LocaleForm(dec * sky::DegPerRad));
}

void frmVvodKoordinat::txtH_Change(int i) {
    clean(txtH[i]);
    recomputeRightAscension(i);
}

void frmVvodKoordinat::txtHM_Change(int i) {
    clean(txtHM[i]);
    recomputeRightAscension(i);
}

// The minutes take the sign of the degree text as typed (read before cleaning), which is how
// -0°30' is entered: the degrees alone cannot carry the sign of a zero.
void frmVvodKoordinat::txtGr_Change(int i) {
    const int sign = txtGr[i]->text().startsWith(QLatin1Char('-')) ? -1 : 1;
    clean(txtGr[i]);
    recomputeDeclination(i, sign);
}

void frmVvodKoordinat::txtGrM_Change(int i) {
    const int sign = txtGr[i]->text().startsWith(QLatin1Char('-')) ? -1 : 1;
    clean(txtGrM[i]);
    recomputeDeclination(i, sign);
}

void frmVvodKoordinat::txtH_GotFocus(int i) {
    selectFromCaret(txtH[i]);
}
void frmVvodKoordinat::txtHM_GotFocus(int i) {
    selectFromCaret(txtHM[i]);
}
void frmVvodKoordinat::txtGr_GotFocus(int i) {
    selectFromCaret(txtGr[i]);
}
void frmVvodKoordinat::txtGrM_GotFocus(int i) {
    selectFromCaret(txtGrM[i]);
}

void frmVvodKoordinat::Form_Activate() {
    txtH[0]->setFocus(Qt::ActiveWindowFocusReason);
}

void frmVvodKoordinat::cmdExit_Click() {
    hide();
}

void frmVvodKoordinat::Form_QueryUnload() {
    hide();
}

void frmVvodKoordinat::cmdSzet_Click() {
    frmBl& main = MainForm();
    SharedState& s = State();
    PlateInput in;
    in.marked = MarkedStarsFromState();
    in.pictureWidth = s.PictureWidth1;
    in.pictureHeight = s.PictureHeight1;
    in.displayScale = s.DisplayScale1;
    in.readoutActive = main.mnuKoordinat->isEnabled();
    const PlateSolution plate = SolvePlate(in);
    // The latest solution the user made wins: from here on the readout, and so the probe
    // below, works from the two stars even where a WCS was in force.
    main.pictureSky().source = SkySource::TwoStars;

    s.PlateCentreX = plate.centre.x;
    s.PlateCentreY = plate.centre.y;
    s.CoordRA = plate.centreSky.ra;
    s.CoordDec = plate.centreSky.dec;
    s.CoordText = plate.centreText;
    lblInfo->setText(s.CoordText);
    s.CoordText = plate.infoText;
    main.txtInfo->setPlainText(s.CoordText);
    // The readout of the top-centre point shows it on the main window as any cursor would and,
    // while the readout is on, leaves plate.probeRa/probeDec in CoordRA/CoordDec.
    main.Img1_MouseMove(0, 0, plate.probe.x, plate.probe.y);
    // The lines as written, CR LF ended: the text box would give them back with bare LFs.
    s.CoordText = plate.infoText + plate.angleLine;
    main.putSkyInForce(SkySource::TwoStars);
}

void frmVvodKoordinat::showModal() {
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
}

bool frmVvodKoordinat::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) runGuarded([this] { Form_Activate(); });
    return QWidget::event(e);
}

void frmVvodKoordinat::closeEvent(QCloseEvent* e) {
    // Not cancelled: the window goes and comes back from its design state next time.
    runGuarded([this] { Form_QueryUnload(); });
    e->accept();
}

frmVvodKoordinat& VvodKoordinatForm() {
    return ownedWindow(s_form);
}

bool VvodKoordinatFormExists() {
    return !s_form.isNull();
}

} // namespace vorlan
