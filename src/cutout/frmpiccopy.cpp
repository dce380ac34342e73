#include "cutout/frmpiccopy.h"

#include "common/vbfilter.h"
#include "cutout/bmpfile.h"
#include "cutout/canvasbox.h"
#include "cutout/cutoutgeometry.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/guard.h"
#include "shell/ownedwindow.h"
#include "shell/panbar.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "shell/windowkit.h"
#include "view/picturebox.h"

#include <QAction>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>

namespace vorlan {

namespace {

QPointer<frmPicCopy> s_form;

/// Design size of the window: the default cut-out of two 200-pixel regions.
const QSize DesignSize(500, 430);
/// The frame of controls takes the top 152 pixels; the canvas lies below it.
constexpr int CanvasTop = 152;

const QColor FileLabelColour(255, 192, 255);

void paintBack(QLabel* l, const QColor& c) {
    QPalette p = l->palette();
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::WindowText, Qt::black);
    l->setPalette(p);
    l->setAutoFillBackground(true);
}

} // namespace

frmPicCopy::frmPicCopy(QWidget* parent) : QMainWindow(parent, Qt::Window) {
    setUpToolWindow(this, QStringLiteral("frmPicCopy"), restingCaption());
    buildControls();
    connectHandlers();
    resize(DesignSize);
}

QString frmPicCopy::restingCaption() {
    return QStringLiteral("Копирование двух участков");
}

void frmPicCopy::buildControls() {
    SaveFile = named(new QAction(QStringLiteral("Запись в файл *.bmp"), this), QStringLiteral("SaveFile"));
    menuBar()->addAction(SaveFile);

    auto* client = named(new QWidget(this), QStringLiteral("client"));
    setCentralWidget(client);

    // Designed in pixels.
    Frame1 = placed(new QGroupBox(QStringLiteral("Участок и подпись"), client), "Frame1",
                    QRect(4, 2, 492, CanvasTop - 6));
    auto label = [this](const char* name, const QString& text, const QRect& at) {
        return placed(new QLabel(text, Frame1), name, at);
    };
    lblW = label("lblW", QStringLiteral("Размеры: ширина"), QRect(8, 22, 110, 22));
    txtW = placed(new QLineEdit(QStringLiteral("200"), Frame1), "txtW", QRect(120, 22, 50, 22));
    lblH = label("lblH", QStringLiteral("Высота"), QRect(180, 22, 50, 22));
    txtH = placed(new QLineEdit(QStringLiteral("200"), Frame1), "txtH", QRect(232, 22, 50, 22));
    Label2 = placed(new ClickLabel(QStringLiteral("Выбор цвета круга"), Frame1), "Label2",
                    QRect(296, 22, 188, 22));
    Label2->setBackColor(colors::Yellow);
    Label2->setAlignment(Qt::AlignCenter);
    lblP = label("lblP", QStringLiteral("подпись рисунка"), QRect(8, 50, 110, 22));
    txtP = placed(new QLineEdit(Frame1), "txtP", QRect(120, 50, 364, 22));
    lblFile1 = label("lblFile1", QStringLiteral("1"), QRect(8, 78, 234, 20));
    lblFile2 = label("lblFile2", QStringLiteral("2"), QRect(250, 78, 234, 20));
    for (QLabel* l : {lblFile1, lblFile2})
        paintBack(l, FileLabelColour);
    Label1 = label("Label1", QStringLiteral("Щелчок левой - маленький круг, +SHIFT = большой"),
                   QRect(8, 106, 300, 30));
    Label1->setWordWrap(true);
    cmdPrer = placed(new QPushButton(QStringLiteral("Прервать"), Frame1), "cmdPrer", QRect(314, 106, 82, 28));
    cmdEnd = placed(new QPushButton(QStringLiteral("Выход"), Frame1), "cmdEnd", QRect(402, 106, 82, 28));

    // The canvas may be larger than the window (a rotated photograph); the area scrolls then.
    Pic1Area = placed(new QScrollArea(client), "Pic1Area", QRect(0, CanvasTop, DesignSize.width(), 200));
    Pic1Area->setFrameShape(QFrame::NoFrame);
    Pic1Area->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Pic1 = named(new CanvasBox, QStringLiteral("Pic1"));
    QFont canvasFont;
    canvasFont.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                            QStringLiteral("DejaVu Serif")});
    canvasFont.setStyleHint(QFont::Serif);
    canvasFont.setPointSizeF(8.25);
    Pic1->setFont(canvasFont);
    Pic1->resize(0, 0);
    Pic1Area->setWidget(Pic1);
    Pic1Area->setWidgetResizable(false);
}

void frmPicCopy::connectHandlers() {
    const auto onClick = connector(this, &QPushButton::clicked);
    onClick(cmdPrer, &frmPicCopy::cmdPrer_Click);
    onClick(cmdEnd, &frmPicCopy::cmdEnd_Click);
    connect(SaveFile, &QAction::triggered, this, guard([this] { SaveFile_Click(); }));
    connect(Label2, &ClickLabel::clicked, this, guard([this] { Label2_Click(); }));
    connect(Pic1, &CanvasBox::mouseDown, this,
            guard([this](int b, int s, float x, float y) { Pic1_MouseDown(b, s, x, y); }));
}

void frmPicCopy::setOuterSize(QSize size) {
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(size - frame);
}

void frmPicCopy::clearCanvas() {
    Pic1->clear();
}

void frmPicCopy::beginRun(const QString& file1Text, const QString& file2Text) {
    show();
    Pic1->hide();
    Pic1->clear();
    showFiles(file1Text, file2Text);
}

void frmPicCopy::showFiles(const QString& file1Text, const QString& file2Text) {
    if (!file1Text.isNull()) lblFile1->setText(file1Text);
    if (!file2Text.isNull()) lblFile2->setText(file2Text);
}

void frmPicCopy::showProgress(const QString& text) {
    txtP->setText(text);
}

void frmPicCopy::finishRun(QImage canvas, bool showCanvas) {
    Pic1->setImage(canvas);
    canvas = QImage(); // the canvas box alone holds the pixels, so drawing on them never copies them
    Pic1->setVisible(showCanvas);
    setWindowTitle(restingCaption());
}

// 12 points are 16 pixels at the 96 dpi the window was designed for.
void frmPicCopy::printCaption(const QString& text, int top) {
    QFont font = Pic1->font();
    font.setPixelSize(16);
    QPainter p(&Pic1->image());
    p.setFont(font);
    p.setPen(Label2->backColor());
    p.drawText(QPoint(0, top + QFontMetrics(font).ascent()), text);
    p.end();
    Pic1->update();
}

void frmPicCopy::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    const QWidget* client = centralWidget();
    Pic1Area->setGeometry(0, CanvasTop, client->width(), std::max(0, client->height() - CanvasTop));
}

void frmPicCopy::Pic1_MouseDown(int button, int shift, float x, float y) {
    if (button != LeftButton || (shift != NoShift && shift != ShiftKey) || Pic1->image().isNull()) return;
    SharedState& s = State();
    const int block = canvasBlock(x, float(Pic1->image().width()), s.PictureCount);
    if (block == 0) return;
    const frmBl& main = MainForm();
    const double radius = circleRadius(shift == ShiftKey, block, s.DisplayScale(block), main.HScr1->value(),
                                       main.HScr2->value());
    QPainter p(&Pic1->image());
    p.setPen(QPen(Label2->backColor(), shift == ShiftKey ? 2 : 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(x, y), radius, radius);
    p.end();
    Pic1->update();
}

void frmPicCopy::Label2_Click() {
    const int colour = PickColour();
    if (colour != -1) Label2->setBackColor(QColor::fromRgb(QRgb(colour)));
}

int frmPicCopy::PickColour() {
    const QColor c = Prompter::instance().colour(this, Label2->backColor());
    return c.isValid() ? int(c.rgb() & 0xffffff) : -1;
}

// The main window's Pic1 is not a work picture here (the runs use the slots' pictures), so it is
// not shown: it would cover the picture area with the picture it shares with the shown slot.
void frmPicCopy::cmdPrer_Click() {
    MainForm().requestStop();
    Pic1->show();
    setWindowTitle(restingCaption());
}

void frmPicCopy::cmdEnd_Click() {
    hide();
    Pic1->hide();
    MainForm().Pic1->hide();
    setWindowTitle(restingCaption());
}

void frmPicCopy::SaveFile_Click() {
    Prompter& prompter = Prompter::instance();
    QString name;
    for (;;) {
        name = prompter.saveFileName(this, QStringLiteral("Запись в файл *.bmp"),
                                     qtFileFilter(QStringLiteral("(*.bmp)|*.bmp")));
        if (name.isEmpty()) return;
        if (!QFileInfo(name).isFile()) break;
        const QString question =
            QStringLiteral("Файл с таким именем уже есть.\r\n-----------------------------\r\n"
                           "Произвести запись нового на место старого ?");
        if (prompter.question(this, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) ==
            QMessageBox::Yes)
            break;
    }
    const Outcome<void> written = writeBmp24(Pic1->image(), name);
    if (!written.ok())
        prompter.message(this, QStringLiteral("Не удалось записать файл\n%1\n%2").arg(name, written.reason()),
                         QMessageBox::Critical);
}

frmPicCopy& PicCopyForm() {
    return ownedWindow(s_form);
}

bool PicCopyFormExists() {
    return !s_form.isNull();
}

} // namespace vorlan
