// The program set up in a given scene, for screenshots under a virtual X server.
//   vorlan_demo            the empty main window
//   vorlan_demo blink [1|2]
//       two star fields of the same sky (the second shifted, with a moving object and a variable
//       star) in slots 1 and 2, both reference points marked, overlaid, zoomed, blinking with the
//       marker box around the moving object. With 1 or 2 the timer stops after a real tick has
//       reached that phase, so a screenshot taken later shows that phase for sure.
//   vorlan_demo cutout
//       the same two pictures overlaid, Shift + click on the moving object: the comparison strip
//       with its caption and a ring around the object in each picture.
//   vorlan_demo rotation
//       picture 2 turned by 25 degrees against picture 1, both stars marked, rotated onto picture
//       1 from the menu and shown with "Прервать".
//   vorlan_demo gif FILE
//       the same two pictures overlaid at scale 1, blinking at 0.6 s with the marker box round the
//       moving object and the variable star; after two ticks "Файл" -> "Записать мигание в GIF..."
//       writes the box into FILE (the README's docs/blink.gif; a full path, since the program
//       works in its own folder) and the program ends.
//   vorlan_demo filemenu
//       the blink scene with the "Файл" menu opened after two seconds (which stops the blink) and
//       "Записать мигание в GIF..." under the mouse.
//   vorlan_demo fits
//       a linear 16-bit FITS star field (sky 1000 counts, stars to 60000) opened from the
//       command line into slot 1, stretched.

#include "cutout/canvasbox.h"
#include "cutout/frmpiccopy.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/panbar.h"
#include "shell/sharedstate.h"
#include "shell/start.h"
#include "support/fixture.h"
#include "support/linearsky.h"
#include "view/imageframe.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QTimer>
#include <cmath>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr int PicW = 1600;
constexpr int PicH = 1000;
// Where the second exposure's camera pointed differently.
const QPointF Shift(37, 21);
// Two bright stars to register on, the asteroid in each exposure, and the variable star.
const QPointF StarA(250, 200);
const QPointF StarB(1250, 750);
const QPointF Mover1(600, 330);
const QPointF Mover2(628, 342);
const QPointF Variable(450, 420);

/// Where a point of the picture lies when the camera was turned: clockwise on the screen by
/// degrees about the picture's centre.
QPointF turnedOnSky(QPointF p, double degrees) {
    const double a = degrees / 57.2957795130823;
    const QPointF c(PicW / 2.0, PicH / 2.0), d = p - c;
    return c + QPointF(d.x() * std::cos(a) - d.y() * std::sin(a), d.x() * std::sin(a) + d.y() * std::cos(a));
}

QImage sky(int exposure, double turnDegrees = 0) {
    QRandomGenerator rng(7);
    QVector<Star> stars;
    for (int i = 0; i < 260; ++i)
        stars.push_back({rng.bounded(double(PicW)), rng.bounded(double(PicH)), 1.2 + rng.bounded(3.0),
                         90 + int(rng.bounded(166))});
    stars.push_back({StarA.x(), StarA.y(), 6, 255});
    stars.push_back({StarB.x(), StarB.y(), 6, 255});
    stars.push_back(exposure == 1 ? Star{Variable.x(), Variable.y(), 4.5, 255}
                                  : Star{Variable.x(), Variable.y(), 2.5, 120});
    const QPointF shift = exposure == 1 ? QPointF() : Shift;
    for (Star& s : stars) {
        s.x += shift.x();
        s.y += shift.y();
    }
    // The asteroid moved against the stars; its place is given in the picture it is in.
    const QPointF mover = exposure == 1 ? Mover1 : Mover2 + shift;
    stars.push_back({mover.x(), mover.y(), 3, 230});
    for (Star& s : stars) {
        const QPointF p = turnedOnSky(QPointF(s.x, s.y), turnDegrees);
        s.x = p.x();
        s.y = p.y();
    }
    QImage img = starField(PicW, PicH, stars);
    QRandomGenerator noise(100 + exposure);
    for (int y = 0; y < PicH; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < PicW; ++x) {
            const int n = int(noise.bounded(14));
            const QRgb c = line[x];
            line[x] =
                qRgb(std::min(255, qRed(c) + n), std::min(255, qGreen(c) + n), std::min(255, qBlue(c) + n));
        }
    }
    return img;
}

/// A left click on slot k at picture pixel p, as the frame reports it (twips of the shown image),
/// with the shift mask given (1 Shift).
void clickPicture(frmBl& f, int k, QPointF p, int shift = 0) {
    const float scale = State().DisplayScale(k);
    f.Img_MouseDown(k, 1, shift, float(p.x() * scale * 15.0), float(p.y() * scale * 15.0));
}

/// Both exposures loaded, the two stars marked on both; picture 2 turned by turnDegrees.
void markedPair(frmBl& f, ScriptedPrompter& prompter, const QTemporaryDir& dir, double turnDegrees = 0) {
    loadSlot(f, prompter, 1, savePicture(dir, QStringLiteral("sky1.jpg"), sky(1)));
    loadSlot(f, prompter, 2, savePicture(dir, QStringLiteral("sky2.jpg"), sky(2, turnDegrees)));
    emit f.lblVvod1->clicked();
    clickPicture(f, 1, StarA);
    clickPicture(f, 2, turnedOnSky(StarA + Shift, turnDegrees));
    emit f.lblVvod2->clicked();
    clickPicture(f, 1, StarB);
    clickPicture(f, 2, turnedOnSky(StarB + Shift, turnDegrees));
}

/// The cut-out window beside the main window, large enough to show what it holds.
frmPicCopy& placedCutOutWindow(QSize size) {
    frmPicCopy& w = PicCopyForm();
    w.move(640, 260);
    w.setOuterSize(size);
    return w;
}

void cutoutScene(frmBl& f, ScriptedPrompter& prompter, const QTemporaryDir& dir) {
    markedPair(f, prompter, dir);
    f.CmdSovm->click();
    // What the sky readout would have left after the mouse last crossed picture 1.
    State().CoordText = QStringLiteral("05h 34,5m  +22°01'");
    frmPicCopy& w = placedCutOutWindow(QSize(500, 430));
    w.txtP->setText(QStringLiteral("астероид?"));
    const QPointF spot = (Mover1 + Mover2) / 2;
    clickPicture(f, 1, spot, 1);
    jobEnds(f);
    // Ring the asteroid in both blocks: the region is centred on the spot.
    const QPointF centre(100, 100);
    w.Pic1_MouseDown(1, 0, float(centre.x() + Mover1.x() - spot.x()),
                     float(centre.y() + Mover1.y() - spot.y()));
    w.Pic1_MouseDown(1, 0, float(215 + centre.x() + Mover2.x() - spot.x()),
                     float(centre.y() + Mover2.y() - spot.y()));
}

void rotationScene(frmBl& f, ScriptedPrompter& prompter, const QTemporaryDir& dir) {
    markedPair(f, prompter, dir, 25);
    frmPicCopy& w = placedCutOutWindow(QSize(640, 540));
    w.move(620, 200);
    f.mnuVirovnjat->trigger();
    jobEnds(f);
    // The run ends with the canvas hidden; "Прервать" shows it.
    w.cmdPrer->click();
    // Picture 2's turned top-left corner, where the turn shows against the grey.
    w.Pic1Area->ensureVisible(0, 660, 50, 200);
}

void blinkScene(frmBl& f, ScriptedPrompter& prompter, const QTemporaryDir& dir, int holdPhase) {
    markedPair(f, prompter, dir);
    f.CmdSovm->click();
    f.HScrOb->setValue(1400);

    f.HScrTime->setValue(600);
    f.CmdStart->click();
    // No point is armed once blinking starts, so a click on the picture places the box.
    clickPicture(f, 1, (Mover1 + Mover2) / 2);
    f.mnuRamka->trigger();

    if (holdPhase == 1 || holdPhase == 2) {
        auto ticks = std::make_shared<int>(0);
        // Connected after the window's own handler, so it sees the phase that tick has shown.
        QObject::connect(f.Timer1, &QTimer::timeout, &f, [&f, ticks, holdPhase] {
            if (++*ticks >= 2 && f.BlinkPhase == holdPhase) f.Timer1->stop();
        });
    }
    const SharedState& s = State();
    std::fprintf(
        stderr,
        "blink: scales %.2f %.2f, frame 1 at (%.0f, %.0f), frame 2 at (%.0f, %.0f), box at (%.0f, %.0f)\n",
        s.DisplayScale1, s.DisplayScale2, f.Img1->Left(), f.Img1->Top(), f.Img2->Left(), f.Img2->Top(),
        s.BoxCentreX, s.BoxCentreY);
    for (const QString& m : prompter.messages)
        std::fprintf(stderr, "message: %s\n", qPrintable(m));
}

/// The blink with the box round the moving object and the variable star, written as a GIF once the
/// box is drawn; the program then ends.
void gifScene(frmBl& f, ScriptedPrompter& prompter, const QTemporaryDir& dir, const QString& path) {
    markedPair(f, prompter, dir);
    f.CmdSovm->click();
    f.HScrTime->setValue(600);
    f.CmdStart->click();
    // Midway between the outermost of the three, so that all fit into the 200 pixels of the box.
    clickPicture(f, 1, QPointF((Variable.x() + Mover2.x()) / 2, (Mover1.y() + Variable.y()) / 2));
    f.mnuRamka->trigger();
    prompter.saveNames.enqueue(path);
    // The file is written off the GUI thread; the program ends when that is done.
    QObject::connect(&f.jobs(), &JobRunner::finished, &f, [&prompter] {
        for (const QString& m : prompter.messages)
            std::fprintf(stderr, "message: %s\n", qPrintable(m));
        QCoreApplication::exit(prompter.messages.isEmpty() ? 0 : 1);
    });
    QTimer::singleShot(1500, &f, [&f] {
        emit f.mnuFile->aboutToShow();
        f.mnuFileGif->trigger();
    });
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlan"));
    const QString scene = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int holdPhase = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
    ScriptedPrompter prompter;
    QTemporaryDir dir;
    QStringList files;
    if (scene == QLatin1String("fits")) {
        files << dir.filePath(QStringLiteral("m45-linear.fits"));
        writeFits(files[0], linearStarField(PicW, PicH, 900, 1000, 30, 60000, 45), {});
    }
    Main(files);
    frmBl& f = MainForm();
    if (scene == QLatin1String("blink")) {
        blinkScene(f, prompter, dir, holdPhase);
    } else if (scene == QLatin1String("filemenu")) {
        blinkScene(f, prompter, dir, 0);
        QTimer::singleShot(2000, &f, [&f] {
            f.menuBar()->setActiveAction(f.mnuFile->menuAction());
            f.mnuFile->setActiveAction(f.mnuFileGif);
        });
    } else if (scene == QLatin1String("gif") && argc > 2) {
        gifScene(f, prompter, dir, QString::fromLocal8Bit(argv[2]));
    } else if (scene == QLatin1String("cutout")) {
        QLocale::setDefault(QLocale(QLocale::Russian));
        cutoutScene(f, prompter, dir);
    } else if (scene == QLatin1String("rotation")) {
        QLocale::setDefault(QLocale(QLocale::Russian));
        rotationScene(f, prompter, dir);
    } else if (!scene.isEmpty() && files.isEmpty()) {
        std::fprintf(stderr, "unknown scene %s (known: blink, filemenu, gif FILE, cutout, rotation, fits)\n", qPrintable(scene));
        return 2;
    }
    return app.exec();
}
